// CamSetup.xml under faults: unreadable, truncated, huge or binary files on
// the read side; a folder that cannot take the file, a full disk and a file
// size limit on the write side. Reads end in the file's values or the
// fallback; failed writes are reported and never destroy the previous save.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <random>

#include "config/configuration.h"
#include "hardening_util.h"

namespace hvhard {
namespace {

hv::SetupConfigState SavedState() {
    hv::SetupConfigState s = hv::SetupStartupDefaults("/videos/doughnut");
    s.geometry = hv::DoughnutGeometry{120, 40, 380, 370, 30, 1, 0};
    s.settings.mainX = 17;
    s.settings.shiftRect = 42;
    return s;
}

class ConfigFault : public ::testing::Test {
  protected:
    TempFolder dir{"config"};
    std::filesystem::path file = dir / "CamSetup.xml";
};

// The player keeps the flips as its flip mode, outside the geometry.
hv::DoughnutGeometry WithoutFlips(hv::DoughnutGeometry g) {
    g.flipH = g.flipV = 0;
    return g;
}

// Every prefix of a saved file reads as either the saved values or the
// fallback, in both programs; never a mixture, never a crash.
TEST_F(ConfigFault, TruncatedAtEveryByteGivesTheFileOrTheFallback) {
    hv::SetupConfigState saved = SavedState();
    ASSERT_TRUE(hv::WriteConfiguration(file, saved).ok);
    const std::string full = ReadFile(file);
    ASSERT_GT(full.size(), 100u);
    int fromFile = 0;
    for (size_t n = 0; n <= full.size(); ++n) {
        WriteFile(file, full.substr(0, n));
        hv::PlayerConfigState p = hv::PlayerStartupDefaults();
        const hv::ReadOutcome po = hv::ReadConfiguration(file, p);
        hv::SetupConfigState s = hv::SetupStartupDefaults("/start");
        const hv::ReadOutcome so = hv::ReadConfiguration(file, s);
        EXPECT_EQ(po, so) << n;
        if (so == hv::ReadOutcome::FromFile) {
            ++fromFile;
            EXPECT_EQ(s.geometry, saved.geometry) << n;
            EXPECT_EQ(p.geometry, WithoutFlips(saved.geometry)) << n;
            EXPECT_EQ(p.flipMode, saved.geometry.flipH + 2 * saved.geometry.flipV) << n;
        } else {
            EXPECT_EQ(s.geometry, hv::kFallbackGeometry) << n;
            EXPECT_EQ(p.geometry, hv::kFallbackGeometry) << n;
            EXPECT_EQ(p.flipMode, 0) << n;
        }
    }
    EXPECT_GT(fromFile, 0);
}

TEST_F(ConfigFault, UnreadableFileGivesTheFallback) {
    // A folder where the file should be (root reads any file, so permission
    // bits would not make it unreadable).
    std::filesystem::create_directory(file);
    hv::PlayerConfigState p = hv::PlayerStartupDefaults();
    EXPECT_EQ(hv::ReadConfiguration(file, p), hv::ReadOutcome::Fallback);
    EXPECT_EQ(p.geometry, hv::kFallbackGeometry);
    // A FIFO with no writer must not stall the reader.
    std::filesystem::remove(file);
    ASSERT_EQ(::mkfifo(file.c_str(), 0600), 0);
    hv::SetupConfigState s = hv::SetupStartupDefaults("/start");
    EXPECT_EQ(hv::ReadConfiguration(file, s), hv::ReadOutcome::Fallback);
    EXPECT_EQ(s.settings.lastFolder, "/start");
    // A dangling symbolic link: the reader may create the target empty.
    std::filesystem::remove(file);
    std::filesystem::create_symlink(dir / "missing" / "CamSetup.xml", file);
    EXPECT_EQ(hv::ReadConfiguration(file, p), hv::ReadOutcome::Fallback);
}

TEST_F(ConfigFault, BinaryAndHugeFilesGiveTheFallback) {
    std::mt19937 rng(7);
    std::string binary(64 * 1024, '\0');
    for (char& c : binary) c = static_cast<char>(rng());
    WriteFile(file, binary);
    hv::PlayerConfigState p = hv::PlayerStartupDefaults();
    EXPECT_EQ(hv::ReadConfiguration(file, p), hv::ReadOutcome::Fallback);
    EXPECT_EQ(p.geometry, hv::kFallbackGeometry);

    // 64 MB: only the first megabyte is read, whose tags are found; the
    // rest costs nothing.
    hv::SetupConfigState saved = SavedState();
    std::string huge = hv::ConfigurationText(saved);
    huge.resize(64u << 20, '\xFF');
    WriteFile(file, huge);
    hv::SetupConfigState s = hv::SetupStartupDefaults("/start");
    EXPECT_EQ(hv::ReadConfiguration(file, s), hv::ReadOutcome::FromFile);
    EXPECT_EQ(s.geometry, saved.geometry);
    // A huge file of zero bytes and values beyond 32 bits.
    std::string zeros(8u << 20, '\0');
    zeros += "<X1_1>99999999999999999999</X1_1>";
    WriteFile(file, zeros);
    EXPECT_EQ(hv::ReadConfiguration(file, s), hv::ReadOutcome::Fallback);
}

TEST_F(ConfigFault, FolderThatCannotTakeTheFileIsReported) {
    // The program folder is a file: neither reading nor writing can work.
    WriteFile(dir / "notafolder", "x");
    const std::filesystem::path inFile = dir / "notafolder" / "CamSetup.xml";
    hv::SetupConfigState s = SavedState();
    const hv::WriteResult r = hv::WriteConfiguration(inFile, s);
    EXPECT_FALSE(r.ok);
    EXPECT_NE(r.error.find("CamSetup.xml"), std::string::npos) << r.error;
    EXPECT_EQ(s.geometry, SavedState().geometry);  // the record is unchanged
    hv::PlayerConfigState p = hv::PlayerStartupDefaults();
    EXPECT_EQ(hv::ReadConfiguration(inFile, p), hv::ReadOutcome::Fallback);
}

TEST_F(ConfigFault, FullDeviceIsReported) {
    hv::SetupConfigState s = SavedState();
    const hv::WriteResult r = hv::WriteConfiguration("/dev/full", s);
    EXPECT_FALSE(r.ok);
    EXPECT_FALSE(r.error.empty());
}

// A disk that fills up during "Save Parameters": the save fails with a
// message and the file still holds the previous save, complete.
TEST_F(ConfigFault, FullDiskKeepsThePreviousSave) {
    hv::SetupConfigState first = SavedState();
    ASSERT_TRUE(hv::WriteConfiguration(file, first).ok);
    const std::string before = ReadFile(file);

    hv::SetupConfigState second = first;
    second.geometry.left = 150;
    second.settings.lastFolder = std::string(200, 'd');  // a longer file
    hv::WriteResult r;
    {
        ScopedFileSizeLimit limit(before.size() + 16);
        r = hv::WriteConfiguration(file, second);
    }
    EXPECT_FALSE(r.ok);
    EXPECT_FALSE(r.error.empty());
    EXPECT_EQ(ReadFile(file), before);
    hv::SetupConfigState back = hv::SetupStartupDefaults("/start");
    EXPECT_EQ(hv::ReadConfiguration(file, back), hv::ReadOutcome::FromFile);
    EXPECT_EQ(back.geometry, first.geometry);

    // Without the limit the same save goes through.
    EXPECT_TRUE(hv::WriteConfiguration(file, second).ok);
    EXPECT_EQ(hv::ReadConfiguration(file, back), hv::ReadOutcome::FromFile);
    EXPECT_EQ(back.geometry.left, 150);
}

}  // namespace
}  // namespace hvhard
