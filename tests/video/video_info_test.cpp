// The stream information text and its number forms.
#include "video/video_info.h"

#include <gtest/gtest.h>

namespace {

hv::VideoFormat Format(int32_t w, int32_t h, int64_t avg, int64_t duration) {
    hv::VideoFormat f;
    f.width = w;
    f.height = h;
    f.sampleSize = 4 * w * h;
    f.avgTimePerFrame = avg;
    f.duration = duration;
    f.durationSeconds = duration / 1e7;
    f.frameCount = hv::FrameCountOf(duration, avg);
    return f;
}

TEST(VideoInfo, GeneralFormRoundsTo15SignificantDigits) {
    EXPECT_EQ(hv::FormatGeneral(1e7 / 333667), "29.97000002997");
    EXPECT_EQ(hv::FormatGeneral(1e7 / 400000), "25");
    EXPECT_EQ(hv::FormatGeneral(640), "640");
    EXPECT_EQ(hv::FormatGeneral(0), "0");
    EXPECT_EQ(hv::FormatGeneral(-2.5), "-2.5");
    EXPECT_EQ(hv::FormatGeneral(0.1), "0.1");            // not 0.100000000000000006
    EXPECT_EQ(hv::FormatGeneral(0.000125), "0.000125");  // no exponent
    EXPECT_EQ(hv::FormatGeneral(1e20), "100000000000000000000");
    EXPECT_EQ(hv::FormatGeneral(123456789012345678.0), "123456789012346000");
    EXPECT_EQ(hv::FormatGeneral(2147483647), "2147483647");
}

TEST(VideoInfo, MaskFormPadsAndRoundsHalfToEven) {
    EXPECT_EQ(hv::FormatMask(1e7 / 333667, 2, 2), "29.97");
    EXPECT_EQ(hv::FormatMask(25, 2, 2), "25.00");
    EXPECT_EQ(hv::FormatMask(5, 2, 2), "05.00");
    EXPECT_EQ(hv::FormatMask(120.5, 2, 2), "120.50");
    EXPECT_EQ(hv::FormatMask(0.125, 2, 2), "00.12");  // exact binary half: to even
    EXPECT_EQ(hv::FormatMask(0.375, 2, 2), "00.38");
    EXPECT_EQ(hv::FormatMask(7, 3, 0), "007");
    EXPECT_EQ(hv::FormatMask(100, 2, 0), "100");
}

TEST(VideoInfo, FormatDurationExamples) {
    EXPECT_EQ(hv::FormatDuration(60), "00:01:00.000");
    EXPECT_EQ(hv::FormatDuration(59.5), "00:00:59.500");
    EXPECT_EQ(hv::FormatDuration(0.25), "00:00:00.250");
    EXPECT_EQ(hv::FormatDuration(3725.5), "01:02:05.500");
    EXPECT_EQ(hv::FormatDuration(10), "00:00:10.000");
    EXPECT_EQ(hv::FormatDuration(360000), "100:00:00.000");
    EXPECT_EQ(hv::FormatDuration(0), "00:00:00.000");
    // A fraction that rounds to a whole second carries instead of "1000".
    EXPECT_EQ(hv::FormatDuration(59.9996), "00:01:00.000");
    EXPECT_EQ(hv::FormatDuration(3599.9999), "01:00:00.000");
    EXPECT_EQ(hv::FormatDuration(-3), "00:00:00.000");
    EXPECT_EQ(hv::FormatDuration(99766333 / 1e7), "00:00:09.977");
}

TEST(VideoInfo, FrameRateAndFrameCountArithmetic) {
    EXPECT_EQ(hv::AvgTimePerFrameFromRate(30000, 1001), 333667);
    EXPECT_EQ(hv::AvgTimePerFrameFromRate(25, 1), 400000);
    EXPECT_EQ(hv::AvgTimePerFrameFromRate(24000, 1001), 417083);
    EXPECT_EQ(hv::AvgTimePerFrameFromRate(60000, 1001), 166833);  // 166833.33
    EXPECT_EQ(hv::AvgTimePerFrameFromRate(3, 1), 3333333);
    EXPECT_EQ(hv::AvgTimePerFrameFromRate(0, 1), 0);  // variable rate: unusable
    EXPECT_EQ(hv::AvgTimePerFrameFromRate(25, 0), 0);
    EXPECT_EQ(hv::AvgTimePerFrameFromRate(-25, 1), 0);
    EXPECT_EQ(hv::AvgTimePerFrameFromRate(1, 2147483647), 21474836470000000);
    EXPECT_EQ(hv::AvgTimePerFrameFromRate(20000000, 1), 0);  // 0.5: half to even

    EXPECT_EQ(hv::FrameCountOf(100'000'000, 333667), 299);     // 10 s at 29.97
    EXPECT_EQ(hv::FrameCountOf(1'000'000'000, 400000), 2500);  // 100 s at 25
    EXPECT_EQ(hv::FrameCountOf(1'000'000'000, 0), 0);          // never a division by 0
    EXPECT_EQ(hv::FrameCountOf(0, 400000), 0);
    EXPECT_EQ(hv::FrameCountOf(INT64_MAX, 1), INT32_MAX);
}

TEST(VideoInfo, PlayerTextForTheTenSecondExample) {
    const hv::VideoFormat f = Format(640, 480, 400000, 100'000'000);
    EXPECT_EQ(hv::VideoInfoText("/home/user/videos/ring.avi", f, 380, 116),
              "Video file: ring.avi\r\n"
              "Frame size: 640x480\r\n"
              "Frames quantity: 250\r\n"
              "FPS: 25\r\n"
              "Duration: 00:00:10.000\r\n"
              "Doghnut frame: 380x116");
    EXPECT_EQ(hv::BeginVideoInfo("ring.avi"), "Video file: ring.avi\r\n");
    EXPECT_EQ(hv::BeginVideoInfo("/a b/ünïcode film.mp4"), "Video file: ünïcode film.mp4\r\n");
    EXPECT_EQ(hv::FileNameOf("/folder/"), "");
}

TEST(VideoInfo, SetupTextAndLabels) {
    const hv::VideoFormat f = Format(1920, 1080, 333667, 100'000'000);
    EXPECT_EQ(hv::SetupStreamLines(f),
              "Frame size: 1920x1080\r\n"
              "Frames quantity: 299\r\n"
              "FPS: 29.97000002997\r\n"
              "Video Setup: On");
    EXPECT_EQ(hv::FrameSizeLabel(f), "1920x1080");
    EXPECT_EQ(hv::FrameRateLabel(f), "29.97 FPS");
    EXPECT_EQ(hv::FrameRateLabel(Format(640, 480, 400000, 0)), "25.00 FPS");
    EXPECT_EQ(hv::FrameRateLabel(Format(640, 480, 0, 0)), "00.00 FPS");
    EXPECT_EQ(hv::PlayerStreamLines(Format(8, 8, 0, 0), 0, 0),
              "Frame size: 8x8\r\nFrames quantity: 0\r\nFPS: 0\r\nDuration: 00:00:00.000\r\n"
              "Doghnut frame: 0x0");
}

TEST(VideoInfo, TitlesAndBlankText) {
    EXPECT_EQ(hv::ResetTitle(), "Halvora 360 Doughnut Player");
    EXPECT_TRUE(hv::IsVideoInfoBlank(""));
    EXPECT_TRUE(hv::IsVideoInfoBlank("   "));
    EXPECT_FALSE(hv::IsVideoInfoBlank(" x "));
}

}  // namespace
