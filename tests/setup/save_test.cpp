// "Save Parameters": the exact bytes, the reset of an empty cut area, a
// failing write reported to the user, and the player reading back exactly
// what was saved.
#include <gtest/gtest.h>

#include "config/configuration.h"
#include "config/settings_location.h"
#include "read_only_folder.h"
#include "setup/setup_help_window.h"
#include "setup/setup_main_window.h"
#include "setup/transform_window.h"
#include "setup_test_util.h"

namespace hv::setup {
namespace {

using test::BoxRecorder;
using test::ReadAll;
using test::TempFolder;

SetupConfigState KnownState() {
    SetupConfigState s = SetupStartupDefaults("  /home/user/videos ");
    s.geometry = {97, 103, 414, 396, -3, 1, 1};
    s.settings.popupX = 12;
    s.settings.popupY = 640;
    s.settings.mainX = -8;
    s.settings.mainY = 20;
    s.settings.shiftRect = 150;
    return s;
}

TEST(SetupSave, WritesExactBytesAndPlayerReadsThemBack) {
    TempFolder dir;
    const SetupPaths paths = SetupPaths::ForFolder(dir.path());
    SetupMainWindow w(paths, KnownState());
    // The constructor placed the windows; put the positions of the known
    // state back as a user's moves would have.
    w.move(-8, 20);
    w.Transform()->move(12, 640);
    BoxRecorder boxes;
    ASSERT_TRUE(w.SaveParameters());
    EXPECT_TRUE(boxes.boxes.empty());

    const std::string expected =
        "\xEF\xBB\xBF<?xml version=\"1.0\" encoding=\"utf-8\"?>\r\n"
        "<config>\r\n"
        "  <OPATH>/home/user/videos</OPATH>\r\n"
        "  <POPUP_X>12</POPUP_X>\r\n"
        "  <POPUP_Y>640</POPUP_Y>\r\n"
        "  <MAIN_X>-8</MAIN_X>\r\n"
        "  <MAIN_Y>20</MAIN_Y>\r\n"
        "  <SHIFTERECT>150</SHIFTERECT>\r\n"
        "<X1_1>97</X1_1>\r\n"
        "<Y1_1>103</Y1_1>\r\n"
        "<X2_1>414</X2_1>\r\n"
        "<Y2_1>396</Y2_1>\r\n"
        "<RSIZE_1>-3</RSIZE_1>\r\n"
        "<FLIP_1>1</FLIP_1>\r\n"
        "<FLIP_V>1</FLIP_V>\r\n"
        "</config>\r\n";
    EXPECT_EQ(ReadAll(paths.configFile), expected);

    // What the player's reader takes from the file.
    PlayerConfigState player = PlayerStartupDefaults();
    EXPECT_EQ(ReadConfiguration(paths.configFile, player), ReadOutcome::FromFile);
    EXPECT_EQ(player.geometry.left, 97);
    EXPECT_EQ(player.geometry.top, 103);
    EXPECT_EQ(player.geometry.width, 414);
    EXPECT_EQ(player.geometry.height, 396);
    EXPECT_EQ(player.geometry.innerRadius, -3);
    EXPECT_EQ(player.flipMode, 3);
    EXPECT_EQ(player.lastFolder, "/home/user/videos");

    // And the setup utility's own reader, for the next start.
    SetupConfigState again = SetupStartupDefaults("");
    ReadConfiguration(paths.configFile, again);
    EXPECT_EQ(again.geometry, KnownState().geometry);
    EXPECT_EQ(again.settings.shiftRect, 150);
    EXPECT_EQ(again.settings.mainX, -8);
}

TEST(SetupSave, EmptyCutAreaWritesAndKeepsTheDefaults) {
    TempFolder dir;
    const SetupPaths paths = SetupPaths::ForFolder(dir.path());
    SetupConfigState s = KnownState();
    s.geometry = {0, 50, 0, 60, 9, 1, 0};
    SetupMainWindow w(paths, s);
    ASSERT_TRUE(w.SaveParameters());
    const DoughnutGeometry expected{111, 111, 390, 380, 36, 1, 0};
    EXPECT_EQ(w.Record().geometry, expected) << "the reset stays in the program";
    PlayerConfigState player = PlayerStartupDefaults();
    ReadConfiguration(paths.configFile, player);
    EXPECT_EQ(player.geometry.left, 111);
    EXPECT_EQ(player.geometry.height, 380);
    EXPECT_EQ(player.geometry.innerRadius, 36);
}

TEST(SetupSave, FailedWriteIsReportedAndValuesStay) {
    TempFolder dir;
    // The program folder is a regular file: nothing can be created in it.
    test::WriteAll(dir.path() / "not-a-folder", "x");
    const SetupPaths paths = SetupPaths::ForFolder(dir.path() / "not-a-folder");
    const SetupConfigState s = KnownState();
    SetupMainWindow w(paths, s);
    BoxRecorder boxes;
    EXPECT_FALSE(w.SaveParameters());
    ASSERT_EQ(boxes.boxes.size(), 1u);
    EXPECT_EQ(boxes.boxes[0].caption, QStringLiteral("Save Parameters"));
    EXPECT_EQ(boxes.boxes[0].icon, QMessageBox::Warning);
    EXPECT_TRUE(boxes.boxes[0].text.contains(QString::fromStdString(paths.configFile.string())))
        << boxes.boxes[0].text.toStdString();
    EXPECT_TRUE(boxes.boxes[0].text.contains(QStringLiteral("directory"), Qt::CaseInsensitive))
        << "says why: " << boxes.boxes[0].text.toStdString();
    EXPECT_EQ(w.Record().geometry, s.geometry);
    EXPECT_EQ(w.Record().settings.lastFolder, s.settings.lastFolder);
}

TEST(SetupSave, ReadOnlyProgramFolderSavesToUserFolderWherePlayerReads) {
    TempFolder program, config;
    const std::string oldXdg = std::getenv("XDG_CONFIG_HOME") ? std::getenv("XDG_CONFIG_HOME") : "";
    ::setenv("XDG_CONFIG_HOME", config.path().c_str(), 1);
    const std::filesystem::path userFile = config.path() / "halvora360" / "CamSetup.xml";

    // As installed under /usr/local: the program folder cannot be written.
    hvtest::ReadOnlyFolder readOnly(program.path());
    if (!readOnly.Active()) {
        ::setenv("XDG_CONFIG_HOME", oldXdg.c_str(), 1);
        GTEST_SKIP() << "cannot make a folder read-only here";
    }
    const SetupPaths paths = SetupPaths::ForProgramFolder(program.path());
    EXPECT_EQ(paths.configFile, userFile);
    {
        SetupMainWindow w(paths, KnownState());
        BoxRecorder boxes;
        ASSERT_TRUE(w.SaveParameters()) << "the user's folder is created on save";
        EXPECT_TRUE(boxes.boxes.empty());
    }
    EXPECT_FALSE(std::filesystem::exists(program.path() / "CamSetup.xml"));

    // The player, by the same rule for the same folder, reads what was saved.
    const std::filesystem::path playerFile =
        SettingsFolderFor(program.path()) / kConfigurationFileName;
    EXPECT_EQ(playerFile, userFile);
    PlayerConfigState player = PlayerStartupDefaults();
    EXPECT_EQ(ReadConfiguration(playerFile, player), ReadOutcome::FromFile);
    EXPECT_EQ(player.geometry.left, 97);
    EXPECT_EQ(player.flipMode, 3);

    // A writable program folder keeps the file beside the program.
    EXPECT_EQ(SetupPaths::ForProgramFolder(config.path()).configFile,
              config.path() / "CamSetup.xml");
    EXPECT_EQ(SetupPaths::ForProgramFolder(config.path(), [](auto&) { return false; }).configFile,
              userFile);
    ::setenv("XDG_CONFIG_HOME", oldXdg.c_str(), 1);
}

TEST(SetupHelp, TextsAndLegend) {
    const QString text = HelpInstructionText();
    EXPECT_EQ(text.count(QLatin1Char('\r')), 5);
    EXPECT_FALSE(text.contains(QLatin1Char('\n')));
    EXPECT_TRUE(text.startsWith(QStringLiteral(" 1. Load any format of doughnut video.\r")));
    EXPECT_TRUE(text.contains(
        QStringLiteral("\r 4. Use \"Cut controls\" for setup of \"doughnut circle\"\r")));
    EXPECT_TRUE(
        text.endsWith(QStringLiteral("\r You can changing/choosing video stream at any time.")));

    const ui::HelpLayout l = SetupHelpLayout();
    EXPECT_EQ(l.clientSize, QSize(690, 330));
    EXPECT_EQ(l.background, QColor(167, 167, 167));
    EXPECT_EQ(l.title.text, QStringLiteral("  Instruction:"));
    EXPECT_EQ(l.heading.rect, QRect(10, 150, 500, 24));
    ASSERT_EQ(l.legend.size(), 9u);
    EXPECT_EQ(l.legend[0].label.text, QStringLiteral(" Move the Cut area to the Left"));
    EXPECT_EQ(l.legend[0].pictureRect.topLeft(), QPoint(15, 191));
    EXPECT_EQ(l.legend[1].label.rect, QRect(380, 190, 295, 20));
    EXPECT_EQ(l.legend[8].label.text, QStringLiteral(" Reset parameters"));
    EXPECT_EQ(l.legend[8].label.rect.topLeft(), QPoint(45, 274));
    EXPECT_FALSE(l.legend[8].picture.isNull()) << "the keypad's own bitmaps";
    EXPECT_EQ(l.exitButtonRect, QRect(625, 300, 50, 20));
}

}  // namespace
}  // namespace hv::setup
