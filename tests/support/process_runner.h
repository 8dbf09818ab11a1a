// Runs a program as its own process the way a user would, for the tests that
// drive hvtool from outside: argv is handed over as it is (no shell, so paths
// need no quoting), stdin is /dev/null, stdout and stderr are captured.
#pragma once

#include <chrono>
#include <filesystem>
#include <string>
#include <vector>

namespace hvtest {

struct ProcessResult {
    // The program's exit status; -1 when it could not start, was killed by a
    // signal or ran out of time.
    int exitCode = -1;
    bool timedOut = false;
    std::string out;  // stdout, and stderr too under ProcessOptions::mergeStderr
    std::string err;  // stderr; why the program could not start, when it could not
};

struct ProcessOptions {
    // A guard against a hung program, not a measurement: past it the program
    // is killed and the result says timedOut.
    std::chrono::seconds timeout{300};
    // stderr goes into `out`, interleaved as written (a shell's 2>&1).
    bool mergeStderr = false;
};

// Runs `program` (a path; not looked up in PATH) with `args` and waits for it.
// Safe to call from several threads at once.
ProcessResult RunProcess(const std::string& program, const std::vector<std::string>& args,
                         const ProcessOptions& options = {});

// Places `program` in `folder` (a hard link, or a copy where linking fails)
// and returns the new path. Run from there, the program takes `folder` as its
// own folder: the settings location rule then looks for CamSetup.xml there,
// not beside the build's programs. Empty when it cannot be placed.
std::string PlaceProgramIn(const std::string& program, const std::filesystem::path& folder);

// A temporary folder (removed with the object) holding `program` placed by
// PlaceProgramIn and, when `camSetup` is not empty, a CamSetup.xml with that
// text: the program's own settings, fixed for a test.
class ProgramFolder {
  public:
    ProgramFolder(const std::string& program, const std::string& camSetup);
    ~ProgramFolder();
    ProgramFolder(const ProgramFolder&) = delete;
    ProgramFolder& operator=(const ProgramFolder&) = delete;

    const std::string& Program() const { return program_; }
    const std::filesystem::path& Folder() const { return folder_; }

  private:
    std::filesystem::path folder_;
    std::string program_;
};

// CamSetup.xml text holding the start-up geometry (111, 111, 390, 380, 36, no
// flips), which the sample picture and many pinned numbers are made for.
inline constexpr const char* kStartupCamSetup =
    "<X1_1>111</X1_1><Y1_1>111</Y1_1><X2_1>390</X2_1><Y2_1>380</Y2_1><RSIZE_1>36</RSIZE_1>"
    "<FLIP_1>0</FLIP_1><FLIP_V>0</FLIP_V><OPATH> </OPATH>";

}  // namespace hvtest
