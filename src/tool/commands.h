// hvtool sub-commands. Each returns the process exit code; errors go to
// stderr with a non-zero code.
#pragma once

namespace hvtool {

int RunGeometry(int argc, char** argv);   // hvtool geometry --frame WxH ...
int RunUnwrap(int argc, char** argv);     // hvtool unwrap INPUT ... --out PANO.png
int RunConfig(int argc, char** argv);     // hvtool config FILE [--player|--setup]
int RunView(int argc, char** argv);       // hvtool view INPUT ... --out VIEW.png
int RunInfo(int argc, char** argv);       // hvtool info VIDEO
int RunMakeVideo(int argc, char** argv);  // hvtool make-video ...
int RunMakeSample(int argc, char** argv); // hvtool make-sample --out PICTURE.png
int RunDetect(int argc, char** argv);     // hvtool detect VIDEO [--frames N] [--out FILE]
int RunExport(int argc, char** argv);     // hvtool export VIDEO... --mode MODE --out FILE

}  // namespace hvtool
