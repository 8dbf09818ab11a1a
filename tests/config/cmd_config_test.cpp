// hvtool config, run as its own process.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "config/configuration.h"
#include "config_test_util.h"
#include "process_runner.h"

namespace {

using hvtest::TempFolder;
using hvtest::WriteBytes;

using ToolRun = hvtest::ProcessResult;

// Runs hvtool; the tests read its stdout.
ToolRun Hvtool(const std::vector<std::string>& args) {
    return hvtest::RunProcess(HVTOOL_PATH, args);
}

TEST(HvtoolConfig, PrintsWhatEachProgramReads) {
    TempFolder dir;
    const auto file = dir / "CamSetup.xml";
    hv::SetupConfigState s = hv::SetupStartupDefaults("/data/clips");
    s.geometry = {100, 20, 400, 390, 50, 1, 1};
    s.settings = {"/data/clips", 5, 6, 7, 8, 9};
    ASSERT_TRUE(hv::WriteConfiguration(file, s).ok);

    ToolRun r = Hvtool({"config", file});
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_EQ(r.out,
              "program=player\nsource=file\nX1_1=100\nY1_1=20\nX2_1=400\nY2_1=390\n"
              "RSIZE_1=50\nFlipMode=3\nOPATH=/data/clips\n");
    EXPECT_EQ(Hvtool({"config", "--player", file}).out, r.out);

    r = Hvtool({"config", file, "--setup"});
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_EQ(r.out,
              "program=setup\nsource=file\nX1_1=100\nY1_1=20\nX2_1=400\nY2_1=390\n"
              "RSIZE_1=50\nFLIP_1=1\nFLIP_V=1\nOPATH=/data/clips\nPOPUP_X=5\nPOPUP_Y=6\n"
              "MAIN_X=7\nMAIN_Y=8\nSHIFTERECT=9\n");
}

TEST(HvtoolConfig, FallbackAndDefaults) {
    TempFolder dir;
    const auto file = dir / "broken.xml";
    WriteBytes(file, "<X1_1>1</X1_1>");
    ToolRun r = Hvtool({"config", file});
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_EQ(r.out,
              "program=player\nsource=fallback\nX1_1=115\nY1_1=35\nX2_1=390\nY2_1=380\n"
              "RSIZE_1=35\nFlipMode=0\nOPATH=\n");

    const auto missing = dir / "missing.xml";
    r = Hvtool({"config", missing});
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_EQ(r.out,
              "program=player\nsource=defaults\nX1_1=111\nY1_1=111\nX2_1=390\nY2_1=380\n"
              "RSIZE_1=36\nFlipMode=0\nOPATH=\n");
    EXPECT_FALSE(std::filesystem::exists(missing)) << "looking must not create the file";

    // The setup utility starts with its working directory as the last folder.
    r = Hvtool({"config", "--setup", missing});
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_NE(r.out.find("source=defaults\n"), std::string::npos);
    EXPECT_NE(r.out.find("OPATH=" + std::filesystem::current_path().string() + "\n"),
              std::string::npos)
        << r.out;
    EXPECT_NE(r.out.find("POPUP_Y=0\n"), std::string::npos);
}

TEST(HvtoolConfig, UsageErrors) {
    EXPECT_NE(Hvtool({"config"}).exitCode, 0);
    EXPECT_NE(Hvtool({"config", "a.xml", "b.xml"}).exitCode, 0);
    EXPECT_NE(Hvtool({"config", "a.xml", "--bogus"}).exitCode, 0);
    EXPECT_NE(Hvtool({"config", "a.xml", "--player", "--setup"}).exitCode, 0);
    EXPECT_EQ(Hvtool({"config", "a.xml", "--bogus"}).out, "") << "errors go to stderr";
}

}  // namespace
