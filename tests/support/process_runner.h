// Runs a program as its own process the way a user would, for the tests that
// drive hvtool from outside: argv is handed over as it is (no shell, so paths
// need no quoting), stdin is /dev/null, stdout and stderr are captured.
#pragma once

#include <chrono>
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

}  // namespace hvtest
