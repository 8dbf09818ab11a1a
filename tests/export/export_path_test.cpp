// View paths: the strict JSON reader's refusals, easing and the shortest
// way round for pan, and the ffmpeg sendcmd form both ways.
#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include "export/view_path.h"

namespace {

hv::ViewPath Parse(const std::string& json) {
    hv::ViewPath path;
    std::string error;
    EXPECT_TRUE(hv::ParseViewPathJson(json, &path, &error)) << error << "\n" << json;
    return path;
}

std::string Refusal(const std::string& json) {
    hv::ViewPath path;
    std::string error;
    EXPECT_FALSE(hv::ParseViewPathJson(json, &path, &error)) << json;
    EXPECT_FALSE(error.empty());
    return error;
}

TEST(ViewPath, PanTakesTheShortWayRoundThrough180) {
    const hv::ViewPath path = Parse(
        R"({"version":1,"keyframes":[{"t":0,"pan":170,"tilt":0,"fov":90,"ease":"linear"},
                                      {"t":2,"pan":-170,"tilt":0,"fov":90}]})");
    EXPECT_NEAR(std::fabs(path.At(1.0).pan), 180.0, 1e-4);
    for (double t = 0; t <= 2.0; t += 0.1) {
        EXPECT_GE(std::fabs(path.At(t).pan), 170.0 - 1e-3) << t;  // never near 0
    }
    EXPECT_NEAR(path.At(0.5).pan, 175.0, 1e-4);
    EXPECT_NEAR(path.At(1.5).pan, -175.0, 1e-4);
}

TEST(ViewPath, SmoothEasingAndHoldsBeyondTheEnds) {
    const hv::ViewPath path = Parse(
        R"({"version": 1, "keyframes": [{"t": 1.0, "pan": -90, "tilt": 10, "fov": 100},
                                        {"t": 3.0, "pan": 90, "tilt": -10, "fov": 60}]})");
    EXPECT_FLOAT_EQ(path.At(0).pan, -90);    // before the first keyframe
    EXPECT_FLOAT_EQ(path.At(9).fov, 60);     // after the last
    EXPECT_NEAR(path.At(2.0).pan, 0, 1e-4);  // halfway is halfway
    EXPECT_NEAR(path.At(2.0).fov, 80, 1e-4);
    // Smooth: a quarter of the time covers 15.6 % of the way (3u^2 - 2u^3).
    EXPECT_NEAR(path.At(1.5).pan, -90 + 180 * 0.15625, 1e-3);
    EXPECT_NEAR(path.At(1.5).tilt, 10 - 20 * 0.15625, 1e-4);
}

TEST(ViewPath, JsonRoundTrip) {
    const hv::ViewPath path = Parse(
        R"({"version":1,"keyframes":[{"t":0,"pan":-90,"tilt":0,"fov":100,"ease":"smooth"},
                                      {"t":1.5,"pan":45.5,"tilt":-20,"fov":70,"ease":"linear"}]})");
    const hv::ViewPath back = Parse(hv::ViewPathToJson(path));
    ASSERT_EQ(back.keyframes().size(), 2u);
    EXPECT_EQ(back.keyframes()[1].ease, hv::ViewEase::Linear);
    EXPECT_FLOAT_EQ(back.keyframes()[1].pan, 45.5f);
    EXPECT_DOUBLE_EQ(back.keyframes()[1].t, 1.5);

    // Every digit survives: a recording hours long keeps keyframes a few
    // milliseconds apart, and the angles stay as they were.
    const hv::ViewPath late = Parse(
        R"({"version":1,"keyframes":[{"t":10000.001,"pan":12.345678,"tilt":-0.1,"fov":99.99},
                                      {"t":10000.002,"pan":-179.99998}]})");
    const hv::ViewPath lateBack = Parse(hv::ViewPathToJson(late));
    ASSERT_EQ(lateBack.keyframes().size(), 2u);
    for (size_t i = 0; i < 2; ++i) {
        EXPECT_EQ(lateBack.keyframes()[i].t, late.keyframes()[i].t);
        EXPECT_EQ(lateBack.keyframes()[i].pan, late.keyframes()[i].pan);
        EXPECT_EQ(lateBack.keyframes()[i].tilt, late.keyframes()[i].tilt);
        EXPECT_EQ(lateBack.keyframes()[i].fov, late.keyframes()[i].fov);
    }
}

TEST(ViewPath, ReaderRefusesWhatIsNotAPath) {
    const std::string key = R"({"t":0,"pan":0,"tilt":0,"fov":90})";
    EXPECT_NE(Refusal(R"({"version":1,"keyframes":[]})").find("no keyframes"), std::string::npos);
    EXPECT_NE(Refusal(R"({"version":1,"keyframes":[{"t":1},{"t":0.5}]})").find("increase"),
              std::string::npos);
    EXPECT_NE(Refusal(R"({"version":1,"keyframes":[{"t":1},{"t":1}]})").find("increase"),
              std::string::npos);
    EXPECT_NE(Refusal(R"({"version":1,"keyframes":[{"t":NaN}]})").find("NaN"), std::string::npos);
    EXPECT_NE(Refusal(R"({"version":1,"keyframes":[{"t":Infinity}]})").find("byte"),
              std::string::npos);
    EXPECT_NE(Refusal(R"({"version":1,"keyframes":[{"t":1e400}]})").find("range"),
              std::string::npos);
    EXPECT_NE(Refusal(R"({"version":1,"keyframes":[{"t":12345678901}]})").find("range"),
              std::string::npos);
    EXPECT_NE(Refusal(R"({"version":1,"keyframes":[{"t":[[[[[[0]]]]]]}]})").find("deep"),
              std::string::npos);
    EXPECT_NE(Refusal(std::string(100000, '[') + std::string(100000, ']')).find("deep"),
              std::string::npos);
    EXPECT_NE(Refusal(R"({"version":1,"version":1,"keyframes":[)" + key + "]}").find("duplicate"),
              std::string::npos);
    EXPECT_NE(Refusal(R"({"version":2,"keyframes":[)" + key + "]}").find("version"),
              std::string::npos);
    EXPECT_NE(Refusal(R"({"version":1,"keyframes":[{"t":0,"tilt":95}]})").find("tilt"),
              std::string::npos);
    EXPECT_NE(Refusal(R"({"version":1,"keyframes":[{"t":0,"fov":0}]})").find("fov"),
              std::string::npos);
    EXPECT_NE(Refusal(R"({"version":1,"keyframes":[{"pan":0}]})").find("\"t\""), std::string::npos);
    EXPECT_NE(Refusal(R"({"version":1,"keyframes":[{"t":0,"ease":"bounce"}]})").find("ease"),
              std::string::npos);
    EXPECT_NE(Refusal(R"({"version":1,"keyframes":[)" + key + "]} x").find("after"),
              std::string::npos);
    Refusal(R"({"version":1,"keyframes":[)" + key + ",]}");  // trailing comma
    Refusal(R"({"version":1,"keyframes":[{"t":01}]})");      // leading zero
    Refusal("");
}

TEST(ViewPath, SendCmdBothWays) {
    const hv::ViewPath path = Parse(
        R"({"version":1,"keyframes":[{"t":0,"pan":170,"tilt":5,"fov":90},
                                      {"t":1,"pan":-170,"tilt":-5,"fov":60}]})");
    const double aspect = 9.0 / 16.0;
    const std::string cmd = hv::ViewPathToSendCmd(path, 1.0, 25, aspect);
    EXPECT_EQ(cmd.substr(0, cmd.find('\n')),
              "0.0000 v360 yaw 170.0000, v360 pitch -5.0000, v360 v_fov 58.7155;");
    hv::ViewPath back;
    std::string error;
    ASSERT_TRUE(hv::ParseSendCmd(cmd, aspect, &back, &error)) << error;
    ASSERT_EQ(back.keyframes().size(), 25u);
    for (const double t : {0.0, 0.32, 0.52, 0.96}) {
        EXPECT_NEAR(back.At(t).pan, path.At(t).pan, 0.01) << t;
        EXPECT_NEAR(back.At(t).tilt, path.At(t).tilt, 0.01) << t;
        EXPECT_NEAR(back.At(t).fov, path.At(t).fov, 0.01) << t;
    }
    // A path at the fov limits reads back (v_fov's four decimals convert
    // to just past them).
    const hv::ViewPath limits =
        Parse(R"({"version":1,"keyframes":[{"t":0,"fov":1},{"t":1,"fov":150}]})");
    ASSERT_TRUE(
        hv::ParseSendCmd(hv::ViewPathToSendCmd(limits, 1.04, 25, aspect), aspect, &back, &error))
        << error;
    ASSERT_EQ(back.keyframes().size(), 26u);
    EXPECT_NEAR(back.keyframes().front().fov, 1, 1e-3);
    EXPECT_NEAR(back.keyframes().back().fov, 150, 1e-3);
    // Other tools' files: comments, interval ends, other filters, h_fov.
    ASSERT_TRUE(
        hv::ParseSendCmd("# a path\n0.0-1.0 [enter] v360 yaw 10, drawtext text x;\n"
                         "2 v360@view h_fov 80, v360 pitch -20;\n",
                         aspect, &back, &error))
        << error;
    ASSERT_EQ(back.keyframes().size(), 2u);
    EXPECT_FLOAT_EQ(back.keyframes()[1].pan, 10);
    EXPECT_FLOAT_EQ(back.keyframes()[1].tilt, 20);
    EXPECT_FLOAT_EQ(back.keyframes()[1].fov, 80);
    // Expressions and broken entries are refused.
    EXPECT_FALSE(hv::ParseSendCmd("0 [expr] v360 yaw 't*10';\n", aspect, &back, &error));
    EXPECT_FALSE(hv::ParseSendCmd("0 v360 yaw ten;\n", aspect, &back, &error));
    EXPECT_FALSE(hv::ParseSendCmd("1 v360 yaw 1;\n0 v360 yaw 2;\n", aspect, &back, &error));
    EXPECT_FALSE(hv::ParseSendCmd("0 v360 yaw 1\n", aspect, &back, &error));
}

}  // namespace
