// libFuzzer target: arbitrary bytes opened as a video through the real
// GStreamer frame source, as the player and the setup utility open a chosen
// file. The first byte picks the file's extension and the options; the rest
// is the file.
//
// Whatever the bytes, Open must return a build step (never crash or hang
// past its preroll bound); an opened source must report a valid frame size,
// hand out a picture of exactly that size and close cleanly.
#include <unistd.h>

#include <array>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "video/frame_source.h"
#include "video/gst_frame_source.h"

namespace {

constexpr std::array<const char*, 8> kExtensions = {"mp4",  "mkv", "avi", "ogv",
                                                    "webm", "mpg", "ts",  "flv"};

void Check(bool ok) {
    if (!ok) std::abort();
}

std::string TempPath(const char* ext) {
    static const std::string dir = [] {
        const char* t = std::getenv("TMPDIR");
        return std::string(t && *t ? t : "/tmp");
    }();
    return dir + "/hv-fuzz-video-" + std::to_string(getpid()) + "." + ext;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 1) return 0;
    const uint8_t control = data[0];
    const std::string path = TempPath(kExtensions[control % kExtensions.size()]);
    {
        FILE* f = std::fopen(path.c_str(), "wb");
        if (!f) return 0;
        if (size > 1) std::fwrite(data + 1, 1, size - 1, f);
        std::fclose(f);
    }

    auto source = hv::CreateGstFrameSource();
    hv::FrameSourceOptions options;
    options.withAudio = (control & 0x08) != 0;
    options.syncToClock = (control & 0x10) == 0;
    options.prerollTimeoutMs = 3000;
    const hv::BuildStep step = source->Open(path, options);
    if (step == hv::BuildStep::None) {
        const hv::VideoFormat& f = source->Format();
        Check(hv::ValidFrameSize(f.width, f.height));
        Check(f.sampleSize == 4 * f.width * f.height);
        hv::FrameBuffer fb;
        Check(fb.Allocate(f.width, f.height));
        int32_t bytes = fb.PictureBytes();
        if (source->CurrentFrame(fb.data(), &bytes)) Check(bytes == fb.PictureBytes());
        // The spare row stays black whatever the file holds.
        for (int32_t x = 0; x < f.width; ++x)
            Check(fb.pixels[static_cast<size_t>(f.height) * f.width + x] == 0);
        if (control & 0x20) {
            source->Seek(f.duration / 2);
            source->WaitForState();
        }
        source->Position();
        source->Pause();
        source->WaitForState();
    }
    source->Close();
    // Every operation stays safe after Close.
    int32_t none = 0;
    Check(!source->CurrentFrame(nullptr, &none));
    source.reset();
    std::remove(path.c_str());
    return 0;
}
