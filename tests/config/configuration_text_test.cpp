// The reader's passes and the writer's bytes, on text in memory.
#include <gtest/gtest.h>

#include <string>

#include "config/configuration.h"
#include "config_test_util.h"

namespace {

using hv::ApplyConfigurationText;
using hv::DoughnutGeometry;
using hv::PlayerConfigState;
using hv::ReadOutcome;
using hv::SetupConfigState;

constexpr DoughnutGeometry kFallback{115, 35, 390, 380, 35, 0, 0};
constexpr DoughnutGeometry kStartup{111, 111, 390, 380, 36, 0, 0};

SetupConfigState SampleSetup() {
    SetupConfigState s = hv::SetupStartupDefaults("/home/anna/Videos/Dome cam");
    s.geometry = {100, 20, 400, 390, 50, 1, 0};
    s.settings.popupX = -12;
    s.settings.popupY = 300;
    s.settings.mainX = 1920;
    s.settings.mainY = 45;
    s.settings.shiftRect = 200;
    return s;
}

// A complete file with the given X1_1 .. FLIP_V values, one tag per line.
std::string FileWith(const std::string& body) {
    return "\xEF\xBB\xBF<?xml version=\"1.0\" encoding=\"utf-8\"?>\r\n<config>\r\n" + body +
           "</config>\r\n";
}

TEST(ConfigurationText, WriterProducesTheSixteenLinesByteForByte) {
    const std::string expected =
        "\xEF\xBB\xBF<?xml version=\"1.0\" encoding=\"utf-8\"?>\r\n"
        "<config>\r\n"
        "  <OPATH>/home/anna/Videos/Dome cam</OPATH>\r\n"
        "  <POPUP_X>-12</POPUP_X>\r\n"
        "  <POPUP_Y>300</POPUP_Y>\r\n"
        "  <MAIN_X>1920</MAIN_X>\r\n"
        "  <MAIN_Y>45</MAIN_Y>\r\n"
        "  <SHIFTERECT>200</SHIFTERECT>\r\n"
        "<X1_1>100</X1_1>\r\n"
        "<Y1_1>20</Y1_1>\r\n"
        "<X2_1>400</X2_1>\r\n"
        "<Y2_1>390</Y2_1>\r\n"
        "<RSIZE_1>50</RSIZE_1>\r\n"
        "<FLIP_1>1</FLIP_1>\r\n"
        "<FLIP_V>0</FLIP_V>\r\n"
        "</config>\r\n";
    EXPECT_EQ(hv::ConfigurationText(SampleSetup()), expected);
}

TEST(ConfigurationText, DefaultsAndInnerRadiusConstant) {
    EXPECT_EQ(hv::DefaultInnerRadius(111, 390), 36);
    EXPECT_EQ(hv::DefaultInnerRadius(115, 390), 35);
    EXPECT_EQ(hv::DefaultInnerRadius(0, 0), 0);
    EXPECT_EQ(hv::DefaultInnerRadius(INT32_MIN, INT32_MAX), 546632395);  // no overflow
    EXPECT_EQ(hv::kStartupGeometry, kStartup);
    EXPECT_EQ(hv::kFallbackGeometry, kFallback);

    const PlayerConfigState p = hv::PlayerStartupDefaults();
    EXPECT_EQ(p.geometry, kStartup);
    EXPECT_EQ(p.flipMode, 0);
    EXPECT_EQ(p.lastFolder, "");
    const SetupConfigState s = hv::SetupStartupDefaults("/work");
    EXPECT_EQ(s.geometry, kStartup);
    EXPECT_EQ(s.settings, (hv::SetupSettings{"/work", 0, 0, 0, 0, 0}));
}

TEST(ConfigurationText, WrittenTextReadsBackInBothPrograms) {
    const SetupConfigState written = SampleSetup();
    const std::string text = hv::ConfigurationText(written);

    SetupConfigState setup = hv::SetupStartupDefaults("/elsewhere");
    EXPECT_EQ(ApplyConfigurationText(text, setup), ReadOutcome::FromFile);
    EXPECT_EQ(setup.geometry, written.geometry);
    EXPECT_EQ(setup.settings, written.settings);

    PlayerConfigState player = hv::PlayerStartupDefaults();
    EXPECT_EQ(ApplyConfigurationText(text, player), ReadOutcome::FromFile);
    DoughnutGeometry expected = written.geometry;
    expected.flipH = expected.flipV = 0;  // the player keeps its mirroring in flipMode
    EXPECT_EQ(player.geometry, expected);
    EXPECT_EQ(player.flipMode, 1);
    EXPECT_EQ(player.lastFolder, "/home/anna/Videos/Dome cam");
}

TEST(ConfigurationText, PlayerFoldsFlagsIntoFlipMode) {
    const struct {
        const char* h;
        const char* v;
        int32_t expected;
    } cases[] = {{"0", "0", 0},  {"1", "0", 1},   {"0", "1", 2},   {"1", "1", 3},
                 {"2", "0", 77}, {"1", "-1", 77}, {"0.6", "0", 1}, {"&B1", "&H1", 3}};
    for (const auto& c : cases) {
        PlayerConfigState p;
        p.flipMode = 77;
        const std::string text = FileWith(std::string("<X1_1>1<X1_1><Y1_1>2<Y1_1><X2_1>3<X2_1>") +
                                          "<Y2_1>4<Y2_1><RSIZE_1>5<RSIZE_1><FLIP_1>" + c.h +
                                          "<FLIP_1><FLIP_V>" + c.v + "<FLIP_V><OPATH> <OPATH>");
        EXPECT_EQ(ApplyConfigurationText(text, p), ReadOutcome::FromFile);
        EXPECT_EQ(p.flipMode, c.expected) << "FLIP_1=" << c.h << " FLIP_V=" << c.v;
    }
}

TEST(ConfigurationText, MissingFlipVGivesWholeFallbackInBothPrograms) {
    std::string text = hv::ConfigurationText(SampleSetup());
    text.erase(text.find("<FLIP_V>"), std::string("<FLIP_V>0</FLIP_V>\r\n").size());

    SetupConfigState setup = hv::SetupStartupDefaults("/kept");
    setup.geometry.flipV = 1;
    setup.settings = {"/kept", 7, 8, 9, 10, 11};
    EXPECT_EQ(ApplyConfigurationText(text, setup), ReadOutcome::Fallback);
    EXPECT_EQ(setup.geometry, kFallback) << "earlier tags must be overwritten, flips cleared";
    EXPECT_EQ(setup.settings, (hv::SetupSettings{"/kept", 7, 8, 9, 10, 11}))
        << "folder, positions and seam rotation keep their values";

    PlayerConfigState player;
    player.flipMode = 3;
    player.lastFolder = "/kept";
    EXPECT_EQ(ApplyConfigurationText(text, player), ReadOutcome::Fallback);
    EXPECT_EQ(player.geometry, kFallback);
    EXPECT_EQ(player.flipMode, 0);
    EXPECT_EQ(player.lastFolder, "/kept");
}

TEST(ConfigurationText, AnyMissingOrEmptyRequiredTagFallsBack) {
    const std::string full = hv::ConfigurationText(SampleSetup());
    for (const char* tag :
         {"X1_1", "Y1_1", "X2_1", "Y2_1", "RSIZE_1", "FLIP_1", "FLIP_V", "OPATH"}) {
        const std::string open = std::string("<") + tag + ">";
        const std::string close = std::string("</") + tag + ">";
        const size_t a = full.find(open) + open.size();
        const size_t b = full.find(close);
        // Empty value: "<TAG></TAG>".
        std::string emptied = full;
        emptied.erase(a, b - a);
        // Misspelt tag, opening and closing: the reader never finds it. (A
        // closing tag alone still counts: it folds into an opening tag.)
        std::string renamed = full;
        renamed.replace(renamed.find(close), close.size(), "</NOPE>");
        renamed.replace(renamed.find(open), open.size(), "<NOPE>");

        for (const std::string& text : {emptied, renamed}) {
            SetupConfigState s = SampleSetup();
            EXPECT_EQ(ApplyConfigurationText(text, s), ReadOutcome::Fallback) << tag;
            EXPECT_EQ(s.geometry, kFallback) << tag;
            EXPECT_EQ(s.settings, SampleSetup().settings) << tag;
            PlayerConfigState p;
            EXPECT_EQ(ApplyConfigurationText(text, p), ReadOutcome::Fallback) << tag;
            EXPECT_EQ(p.geometry, kFallback) << tag;
        }
    }
    for (const char* text : {"", "\xEF\xBB\xBF", "<config></config>", "garbage"}) {
        SetupConfigState s;
        EXPECT_EQ(ApplyConfigurationText(text, s), ReadOutcome::Fallback);
        EXPECT_EQ(s.geometry, kFallback);
    }
}

TEST(ConfigurationText, TagsInAnyOrderLayoutAndClosingForm) {
    // No declaration, no <config>, mixed lines and indentation, LF-only line
    // ends, closing tags written as second opening tags, blanks around values.
    const std::string text =
        "<FLIP_V>1<FLIP_V>   <RSIZE_1> 40 </RSIZE_1>\n"
        "\t\t<OPATH>/media/cam<OPATH>\n"
        "<Y2_1>\r\n300\r\n</Y2_1><X2_1>350</X2_1><FLIP_1>0</FLIP_1>\n"
        "        <Y1_1>-5</Y1_1>\n"
        "<SHIFTERECT>17<SHIFTERECT><X1_1>60</X1_1>";
    SetupConfigState s = hv::SetupStartupDefaults("/start");
    EXPECT_EQ(ApplyConfigurationText(text, s), ReadOutcome::FromFile);
    EXPECT_EQ(s.geometry, (DoughnutGeometry{60, -5, 350, 300, 40, 0, 1}));
    EXPECT_EQ(s.settings.lastFolder, "/media/cam");
    EXPECT_EQ(s.settings.shiftRect, 17);

    PlayerConfigState p;
    EXPECT_EQ(ApplyConfigurationText(text, p), ReadOutcome::FromFile);
    EXPECT_EQ(p.flipMode, 2);
}

TEST(ConfigurationText, ValueRunningToEndOfText) {
    std::string text = hv::ConfigurationText(SampleSetup());
    text.erase(text.find("<X1_1>"), std::string("<X1_1>100</X1_1>\r\n").size());
    text += "<X1_1>42";
    SetupConfigState s;
    EXPECT_EQ(ApplyConfigurationText(text, s), ReadOutcome::FromFile);
    EXPECT_EQ(s.geometry.left, 42);

    // Only the first two occurrences matter; a third is ignored.
    const std::string extra = "<X1_1>7<X1_1>8<X1_1>9";
    EXPECT_EQ(hv::ExtractField(extra, "X1_1"), "7");
    EXPECT_EQ(hv::ExtractField("abc<X1_1> 5 \r\n", "X1_1"), " 5 \r\n");
    EXPECT_EQ(hv::ExtractField("abc", "X1_1"), "");
    EXPECT_EQ(hv::ExtractField("<x1_1>5", "X1_1"), "") << "tags are case-sensitive";
}

TEST(ConfigurationText, ClosingTagFoldingIsOnePass) {
    EXPECT_EQ(hv::FoldClosingTags("<a></a>"), "<a><a>");
    EXPECT_EQ(hv::FoldClosingTags("<//x"), "</x");
    EXPECT_EQ(hv::FoldClosingTags("/</"), "/<");
    EXPECT_EQ(hv::FoldClosingTags("<"), "<");
    // A "</" inside the folder is folded too, as the reader always has.
    SetupConfigState s = SampleSetup();
    s.settings.lastFolder = "/a</b";
    SetupConfigState back;
    EXPECT_EQ(ApplyConfigurationText(hv::ConfigurationText(s), back), ReadOutcome::FromFile);
    EXPECT_EQ(back.settings.lastFolder, "/a<b");
}

TEST(ConfigurationText, LastFolderTrimmingAndPresence) {
    const auto readPath = [](const std::string& field) {
        SetupConfigState s = SampleSetup();
        s.settings.lastFolder = "/before";
        std::string text = hv::ConfigurationText(SampleSetup());
        const size_t a = text.find("<OPATH>") + 7;
        text.replace(a, text.find("</OPATH>") - a, field);
        const ReadOutcome outcome = ApplyConfigurationText(text, s);
        EXPECT_EQ(outcome, ReadOutcome::FromFile) << "field \"" << field << '"';
        return s.settings.lastFolder;
    };
    EXPECT_EQ(readPath("   "), "") << "spaces only count as present";
    EXPECT_EQ(readPath("  /x y  "), "/x y");
    EXPECT_EQ(readPath(std::string("\0 /v \0", 6)), "/v");
    EXPECT_EQ(readPath("\t/v"), "\t/v") << "only spaces and NULs are trimmed";

    const std::string long300 = "/" + std::string(299, 'p');
    EXPECT_EQ(readPath(long300), long300.substr(0, 260));
    // The cut comes before the trim: leading spaces use up the 260 bytes.
    EXPECT_EQ(readPath("    " + long300), long300.substr(0, 256));
    // A two-byte character straddling the limit is dropped whole.
    EXPECT_EQ(readPath(std::string(259, 'a') + "\xC3\xA9" + "zz"), std::string(259, 'a'));
}

TEST(ConfigurationText, WriterCutsAndTrimsLastFolder) {
    SetupConfigState s = SampleSetup();
    s.settings.lastFolder = "  /" + std::string(400, 'q');
    const std::string text = hv::ConfigurationText(s);
    EXPECT_NE(text.find("  <OPATH>/" + std::string(257, 'q') + "</OPATH>\r\n"), std::string::npos);
    EXPECT_EQ(s.settings.lastFolder.size(), 403u) << "the held text is not changed";

    // An empty folder is saved as one space: an empty field would read back
    // as a missing OPATH and throw the saved geometry away.
    for (const char* folder : {"", "   "}) {
        s.settings.lastFolder = folder;
        const std::string text = hv::ConfigurationText(s);
        EXPECT_NE(text.find("  <OPATH> </OPATH>\r\n"), std::string::npos);
        SetupConfigState back = hv::SetupStartupDefaults("/old");
        EXPECT_EQ(ApplyConfigurationText(text, back), ReadOutcome::FromFile);
        EXPECT_EQ(back.geometry, s.geometry);
        EXPECT_EQ(back.settings.lastFolder, "");
    }
    EXPECT_EQ(hv::LastFolderForFile(" a "), "a");
    EXPECT_EQ(hv::LastFolderForFile(std::string(258, 'a') + "\xE2\x82\xAC"), std::string(258, 'a'));
}

TEST(ConfigurationText, SetupOptionalTags) {
    const std::string required =
        "<X1_1>1</X1_1><Y1_1>2</Y1_1><X2_1>3</X2_1><Y2_1>4</Y2_1><RSIZE_1>5</RSIZE_1>"
        "<FLIP_1>0</FLIP_1><FLIP_V>0</FLIP_V><OPATH>/p</OPATH>";
    SetupConfigState s = SampleSetup();
    EXPECT_EQ(ApplyConfigurationText(required, s), ReadOutcome::FromFile);
    EXPECT_EQ(s.settings, (hv::SetupSettings{"/p", 0, 300, 0, 300, 0}));

    s = SampleSetup();
    EXPECT_EQ(ApplyConfigurationText(required + "<POPUP_Y></POPUP_Y><SHIFTERECT></SHIFTERECT>"
                                                "<MAIN_X>abc</MAIN_X><POPUP_X>&H10</POPUP_X>",
                                     s),
              ReadOutcome::FromFile);
    EXPECT_EQ(s.settings, (hv::SetupSettings{"/p", 16, 300, 0, 300, 0}));

    // The player ignores them entirely.
    PlayerConfigState p;
    EXPECT_EQ(ApplyConfigurationText(required + "<POPUP_Y>9</POPUP_Y>", p), ReadOutcome::FromFile);
    EXPECT_EQ(p.geometry, (DoughnutGeometry{1, 2, 3, 4, 5, 0, 0}));
}

TEST(ConfigurationText, SavingZeroLeftAndWidthWritesStartupDefaults) {
    SetupConfigState s = SampleSetup();
    s.geometry = {0, 7, 0, 9, 11, 1, 1};
    const std::string text = hv::ConfigurationText(s);
    EXPECT_NE(text.find("<X1_1>111</X1_1>\r\n<Y1_1>111</Y1_1>\r\n<X2_1>390</X2_1>\r\n"
                        "<Y2_1>380</Y2_1>\r\n<RSIZE_1>36</RSIZE_1>\r\n<FLIP_1>1</FLIP_1>\r\n"
                        "<FLIP_V>1</FLIP_V>\r\n"),
              std::string::npos)
        << text;
    EXPECT_EQ(s.geometry, (DoughnutGeometry{0, 7, 0, 9, 11, 1, 1})) << "text only, no side effect";

    s.geometry = {0, 7, 5, 9, 11, 0, 0};  // only one of the two is 0: written as held
    EXPECT_NE(hv::ConfigurationText(s).find("<X1_1>0</X1_1>\r\n<Y1_1>7</Y1_1>\r\n<X2_1>5</X2_1>"),
              std::string::npos);
}

TEST(ConfigurationText, ExtremeValuesRoundTrip) {
    SetupConfigState s = SampleSetup();
    s.geometry = {INT32_MIN, INT32_MAX, -1, 0, -600, 5, -3};
    s.settings.mainX = INT32_MIN;
    SetupConfigState back;
    EXPECT_EQ(ApplyConfigurationText(hv::ConfigurationText(s), back), ReadOutcome::FromFile);
    EXPECT_EQ(back.geometry, s.geometry);
    EXPECT_EQ(back.settings, s.settings);
    EXPECT_NE(hv::ConfigurationText(s).find("<X1_1>-2147483648</X1_1>"), std::string::npos);
}

}  // namespace
