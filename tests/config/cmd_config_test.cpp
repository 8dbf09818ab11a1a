// hvtool config, run as its own process.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "config/configuration.h"
#include "config_test_util.h"
#include "process_runner.h"
#include "read_only_folder.h"

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

TEST(HvtoolConfig, WithoutFileShowsWhichFilesTheProgramsUse) {
    TempFolder program, config;
    const std::string tool = hvtest::PlaceProgramIn(HVTOOL_PATH, program.path());
    ASSERT_FALSE(tool.empty());
    const char* oldXdg = std::getenv("XDG_CONFIG_HOME");
    const std::string keptXdg = oldXdg ? oldXdg : "";
    ::setenv("XDG_CONFIG_HOME", config.path().c_str(), 1);
    auto has = [](const ToolRun& r, const std::string& line) {
        return r.out.find(line + "\n") != std::string::npos;
    };

    // A writable program folder: the files lie beside the programs.
    ToolRun r = hvtest::RunProcess(tool, {"config"});
    EXPECT_EQ(r.exitCode, 0) << r.err;
    const std::string beside = (program / "CamSetup.xml").string();
    EXPECT_TRUE(has(r, "settings_folder=" + program.path().string())) << r.out;
    EXPECT_TRUE(has(r, "player=" + beside)) << r.out;
    EXPECT_TRUE(has(r, "setup=" + beside)) << r.out;
    EXPECT_TRUE(has(r, "player.exists=0")) << r.out;
    EXPECT_TRUE(has(r, "volume=" + (program / "hvplayer.aud").string())) << r.out;
    EXPECT_FALSE(std::filesystem::exists(beside)) << "looking must not create the file";
    WriteBytes(beside, "x");
    EXPECT_TRUE(has(hvtest::RunProcess(tool, {"config"}), "player.exists=1"));

    // Read-only (as installed for root): the user's configuration folder.
    {
        hvtest::ReadOnlyFolder readOnly(program.path());
        if (readOnly.Active()) {
            r = hvtest::RunProcess(tool, {"config"});
            const std::string user = (config / "halvora360").string();
            EXPECT_TRUE(has(r, "program_folder_writable=0")) << r.out;
            EXPECT_TRUE(has(r, "settings_folder=" + user)) << r.out;
            EXPECT_TRUE(has(r, "player=" + user + "/CamSetup.xml")) << r.out;
            EXPECT_TRUE(has(r, "setup=" + user + "/CamSetup.xml")) << r.out;
            EXPECT_TRUE(has(r, "volume=" + user + "/hvplayer.aud")) << r.out;
        } else {
            std::fprintf(stderr, "note: cannot make a folder read-only here; part skipped\n");
        }
    }
    ::setenv("XDG_CONFIG_HOME", keptXdg.c_str(), 1);
}

TEST(HvtoolConfig, UsageErrors) {
    EXPECT_NE(Hvtool({"config", "--setup"}).exitCode, 0) << "a program flag needs a FILE";
    EXPECT_NE(Hvtool({"config", "a.xml", "b.xml"}).exitCode, 0);
    EXPECT_NE(Hvtool({"config", "a.xml", "--bogus"}).exitCode, 0);
    EXPECT_NE(Hvtool({"config", "a.xml", "--player", "--setup"}).exitCode, 0);
    EXPECT_EQ(Hvtool({"config", "a.xml", "--bogus"}).out, "") << "errors go to stderr";
}

}  // namespace
