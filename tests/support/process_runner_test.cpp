// The process runner the hvtool suites stand on: exit status, the two
// streams apart or merged, output larger than a pipe holds, a program that
// is not there, one killed by a signal and one that hangs.
#include "process_runner.h"

#include <gtest/gtest.h>

#include <string>

namespace {

const std::string kShell = "/bin/sh";

TEST(ProcessRunner, StatusAndStreams) {
    hvtest::ProcessResult r = hvtest::RunProcess(kShell, {"-c", "echo out; echo err >&2; exit 3"});
    EXPECT_EQ(r.exitCode, 3);
    EXPECT_FALSE(r.timedOut);
    EXPECT_EQ(r.out, "out\n");
    EXPECT_EQ(r.err, "err\n");

    hvtest::ProcessOptions merged;
    merged.mergeStderr = true;
    r = hvtest::RunProcess(kShell, {"-c", "echo one; echo two >&2; echo three"}, merged);
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_EQ(r.out, "one\ntwo\nthree\n");
    EXPECT_EQ(r.err, "");

    // Arguments arrive as they are: no shell reads them on the way.
    r = hvtest::RunProcess(kShell, {"-c", "printf '%s|' \"$@\"", "sh", "a b", "'q'", "$HOME", ";"});
    EXPECT_EQ(r.out, "a b|'q'|$HOME|;|");

    // More than a pipe buffers, on both streams at once, and nothing on stdin.
    r = hvtest::RunProcess(
        kShell, {"-c", "head -c 300000 /dev/zero; head -c 200000 /dev/zero >&2; cat; exit 0"});
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_EQ(r.out.size(), 300000u);
    EXPECT_EQ(r.err.size(), 200000u);
}

TEST(ProcessRunner, ProgramsThatDoNotFinishWell) {
    hvtest::ProcessResult r = hvtest::RunProcess("/nonexistent/hvtool", {"info"});
    EXPECT_EQ(r.exitCode, -1);
    EXPECT_NE(r.err.find("/nonexistent/hvtool"), std::string::npos) << r.err;

    r = hvtest::RunProcess(kShell, {"-c", "kill -9 $$"});
    EXPECT_EQ(r.exitCode, -1);
    EXPECT_FALSE(r.timedOut);

    hvtest::ProcessOptions brief;
    brief.timeout = std::chrono::seconds(1);
    r = hvtest::RunProcess(kShell, {"-c", "echo started; exec sleep 600"}, brief);
    EXPECT_TRUE(r.timedOut);
    EXPECT_EQ(r.exitCode, -1);
    EXPECT_EQ(r.out, "started\n");
}

}  // namespace
