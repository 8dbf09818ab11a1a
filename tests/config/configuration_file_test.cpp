// Reading and writing CamSetup.xml on disk.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <random>
#include <string>

#include "config/configuration.h"
#include "config_test_util.h"

namespace {

namespace fs = std::filesystem;
using hv::DoughnutGeometry;
using hv::PlayerConfigState;
using hv::ReadOutcome;
using hv::SetupConfigState;
using hvtest::ReadBytes;
using hvtest::TempFolder;
using hvtest::WriteBytes;

constexpr DoughnutGeometry kFallback{115, 35, 390, 380, 35, 0, 0};

SetupConfigState SampleSetup() {
    SetupConfigState s = hv::SetupStartupDefaults("/srv/video");
    s.geometry = {90, 30, 420, 410, 44, 0, 1};
    s.settings.popupX = 640;
    s.settings.popupY = 480;
    s.settings.mainX = 3;
    s.settings.mainY = 4;
    s.settings.shiftRect = 55;
    return s;
}

TEST(ConfigurationFile, WriteThenReadInBothPrograms) {
    TempFolder dir;
    const fs::path file = dir / "CamSetup.xml";
    SetupConfigState written = SampleSetup();
    const hv::WriteResult w = hv::WriteConfiguration(file, written);
    ASSERT_TRUE(w.ok) << w.error;
    EXPECT_EQ(ReadBytes(file), hv::ConfigurationText(written));
    EXPECT_TRUE(hv::ConfigurationExists(file));

    SetupConfigState setup = hv::SetupStartupDefaults("/other");
    EXPECT_EQ(hv::ReadConfiguration(file, setup), ReadOutcome::FromFile);
    EXPECT_EQ(setup.geometry, written.geometry);
    EXPECT_EQ(setup.settings, written.settings);

    PlayerConfigState player = hv::PlayerStartupDefaults();
    EXPECT_EQ(hv::ReadConfiguration(file, player), ReadOutcome::FromFile);
    EXPECT_EQ(player.geometry, (DoughnutGeometry{90, 30, 420, 410, 44, 0, 0}));
    EXPECT_EQ(player.flipMode, 2);
    EXPECT_EQ(player.lastFolder, "/srv/video");
    EXPECT_EQ(ReadBytes(file), hv::ConfigurationText(written)) << "reading leaves the file alone";
}

TEST(ConfigurationFile, WriteReplacesLongerFileAndAppliesReset) {
    TempFolder dir;
    const fs::path file = dir / "CamSetup.xml";
    WriteBytes(file, std::string(5000, 'z'));
    SetupConfigState s = SampleSetup();
    s.geometry = {0, 1, 0, 2, 3, 1, 0};
    ASSERT_TRUE(hv::WriteConfiguration(file, s).ok);
    EXPECT_EQ(s.geometry, (DoughnutGeometry{111, 111, 390, 380, 36, 1, 0}))
        << "the reset stays in effect in memory";
    EXPECT_EQ(ReadBytes(file), hv::ConfigurationText(s));
}

TEST(ConfigurationFile, WriteFailureIsReportedAndStateUnchanged) {
    TempFolder dir;
    const fs::path notAFolder = dir / "plain";
    WriteBytes(notAFolder, "x");
    SetupConfigState s = SampleSetup();
    s.geometry = {0, 1, 0, 2, 3, 0, 0};
    const SetupConfigState before = s;

    hv::WriteResult r = hv::WriteConfiguration(notAFolder / "CamSetup.xml", s);
    EXPECT_FALSE(r.ok);
    EXPECT_NE(r.error.find("Not a directory"), std::string::npos) << r.error;
    EXPECT_NE(r.error.find("CamSetup.xml"), std::string::npos) << r.error;
    EXPECT_EQ(s.geometry, before.geometry);

    r = hv::WriteConfiguration(dir / "missing" / "CamSetup.xml", s);
    EXPECT_FALSE(r.ok);
    EXPECT_NE(r.error.find("No such file or directory"), std::string::npos) << r.error;

    r = hv::WriteConfiguration(dir.path(), s);  // a folder in the file's place
    EXPECT_FALSE(r.ok);
    EXPECT_NE(r.error.find("directory"), std::string::npos) << r.error;

    if (fs::exists("/dev/full")) {
        r = hv::WriteConfiguration("/dev/full", s);
        EXPECT_FALSE(r.ok);
        EXPECT_NE(r.error.find("No space left on device"), std::string::npos) << r.error;
        EXPECT_EQ(s.geometry, before.geometry);
    }
}

TEST(ConfigurationFile, ReaderAndWriterRespectAnotherProgramsLock) {
    TempFolder dir;
    const fs::path file = dir / "CamSetup.xml";
    SetupConfigState s = SampleSetup();
    ASSERT_TRUE(hv::WriteConfiguration(file, s).ok);

    // Another program holding the file: the reader falls back, the writer
    // reports, and the file is left intact.
    const int holder = ::open(file.c_str(), O_RDONLY | O_CLOEXEC);
    ASSERT_GE(holder, 0);
    ASSERT_EQ(::flock(holder, LOCK_EX), 0);
    PlayerConfigState p;
    EXPECT_EQ(hv::ReadConfiguration(file, p), ReadOutcome::Fallback);
    SetupConfigState changed = SampleSetup();
    changed.geometry.left = 1;
    const hv::WriteResult r = hv::WriteConfiguration(file, changed);
    EXPECT_FALSE(r.ok);
    EXPECT_FALSE(r.error.empty());
    ::close(holder);
    EXPECT_EQ(ReadBytes(file), hv::ConfigurationText(s));
    EXPECT_EQ(hv::ReadConfiguration(file, p), ReadOutcome::FromFile);
}

TEST(ConfigurationFile, PlayerReReadCreatesMissingFileEmpty) {
    TempFolder dir;
    const fs::path file = dir / "CamSetup.xml";
    EXPECT_FALSE(hv::ConfigurationExists(file));
    PlayerConfigState p = hv::PlayerStartupDefaults();
    p.flipMode = 3;
    p.lastFolder = "/kept";
    EXPECT_EQ(hv::ReadConfiguration(file, p), ReadOutcome::Fallback);
    EXPECT_EQ(p.geometry, kFallback);
    EXPECT_EQ(p.flipMode, 0);
    EXPECT_EQ(p.lastFolder, "/kept");
    ASSERT_TRUE(fs::is_regular_file(file));
    EXPECT_EQ(fs::file_size(file), 0u);

    // A folder that does not exist: nothing is created, still the fallback.
    PlayerConfigState q;
    EXPECT_EQ(hv::ReadConfiguration(dir / "gone" / "CamSetup.xml", q), ReadOutcome::Fallback);
    EXPECT_EQ(q.geometry, kFallback);
    EXPECT_FALSE(fs::exists(dir / "gone"));
}

TEST(ConfigurationFile, ReadOnlyFileIsStillRead) {
    TempFolder dir;
    const fs::path file = dir / "CamSetup.xml";
    SetupConfigState s = SampleSetup();
    ASSERT_TRUE(hv::WriteConfiguration(file, s).ok);
    fs::permissions(file, fs::perms::owner_read | fs::perms::group_read);
    SetupConfigState back;
    EXPECT_EQ(hv::ReadConfiguration(file, back), ReadOutcome::FromFile);
    EXPECT_EQ(back.geometry, s.geometry);
}

TEST(ConfigurationFile, OddFilesGiveFallbackWithoutHanging) {
    TempFolder dir;
    // A folder where the file should be.
    SetupConfigState s = SampleSetup();
    EXPECT_EQ(hv::ReadConfiguration(dir.path(), s), ReadOutcome::Fallback);
    EXPECT_EQ(s.geometry, kFallback);
    EXPECT_EQ(s.settings, SampleSetup().settings);

    // A FIFO with no writer must not block the reader.
    const fs::path fifo = dir / "fifo.xml";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    PlayerConfigState p;
    EXPECT_EQ(hv::ReadConfiguration(fifo, p), ReadOutcome::Fallback);

    // A device.
    EXPECT_EQ(hv::ReadConfiguration("/dev/zero", p), ReadOutcome::Fallback);

    // Random binary content, NULs included.
    std::mt19937 rng(12345);
    std::string noise(64 * 1024, '\0');
    for (char& c : noise) c = static_cast<char>(rng());
    const fs::path binary = dir / "binary.xml";
    WriteBytes(binary, noise);
    SetupConfigState b;
    hv::ReadConfiguration(binary, b);  // any outcome, no crash
    EXPECT_EQ(ReadBytes(binary), noise);

    // Tags surrounded by binary noise and NULs are still found.
    const std::string embedded = noise.substr(0, 100) + std::string(10, '\0') +
                                 hv::ConfigurationText(SampleSetup()) + noise.substr(100, 100);
    WriteBytes(binary, embedded);
    EXPECT_EQ(hv::ReadConfiguration(binary, b), ReadOutcome::FromFile);
    EXPECT_EQ(b.geometry, SampleSetup().geometry);
}

TEST(ConfigurationFile, OnlyTheFirstMebibyteIsLookedAt) {
    TempFolder dir;
    const fs::path file = dir / "CamSetup.xml";
    const std::string text = hv::ConfigurationText(SampleSetup());
    const std::string filler(hv::kConfigurationReadLimit, ' ');

    WriteBytes(file, text + filler);  // values first, then 1 MiB of blanks
    SetupConfigState s;
    EXPECT_EQ(hv::ReadConfiguration(file, s), ReadOutcome::FromFile);
    EXPECT_EQ(s.geometry, SampleSetup().geometry);

    WriteBytes(file, filler + text);  // values beyond the limit
    EXPECT_EQ(hv::ReadConfiguration(file, s), ReadOutcome::Fallback);

    // A value cut at the limit runs to the end of what was read.
    std::string cut = text;
    cut.erase(cut.find("<X1_1>"), std::string("<X1_1>90</X1_1>\r\n").size());
    cut += std::string(hv::kConfigurationReadLimit - cut.size() - 8, ' ') + "<X1_1>77";
    WriteBytes(file, cut + "9</X1_1>");
    EXPECT_EQ(hv::ReadConfiguration(file, s), ReadOutcome::FromFile);
    EXPECT_EQ(s.geometry.left, 77);
}

TEST(ConfigurationFile, ProgramLocation) {
    const fs::path exe = fs::read_symlink("/proc/self/exe");
    EXPECT_EQ(hv::ProgramDirectory(), exe.parent_path());
    EXPECT_EQ(hv::ConfigurationPath(), exe.parent_path() / "CamSetup.xml");
}

}  // namespace
