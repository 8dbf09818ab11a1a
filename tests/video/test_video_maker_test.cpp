// The test-video maker: its drawing, its frame-number code and its refusals.
#include "video/test_video_maker.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <vector>

#include "unwrap/ring_geometry.h"
#include "video_test_util.h"

namespace {

std::vector<uint32_t> BottomUp(const std::vector<uint32_t>& topDown, int32_t w, int32_t h) {
    std::vector<uint32_t> out(topDown.size());
    for (int32_t y = 0; y < h; ++y) {
        std::copy_n(topDown.begin() + static_cast<ptrdiff_t>(y) * w, w,
                    out.begin() + static_cast<ptrdiff_t>(h - 1 - y) * w);
    }
    return out;
}

TEST(TestVideoMaker, FrameNumberCodeRoundTripsAtSeveralSizes) {
    for (auto [w, h] : {std::pair{320, 240}, {321, 241}, {64, 48}, {1920, 1080}}) {
        hv::TestVideoOptions clip;
        clip.width = w;
        clip.height = h;
        std::vector<uint32_t> img(static_cast<size_t>(w) * h);
        for (int32_t n : {0, 1, 170, 4095, 65535}) {
            hv::RenderTestFrame(clip, n, img.data());
            EXPECT_EQ(hv::ReadFrameNumber(BottomUp(img, w, h).data(), w, h), n) << w << "x" << h;
        }
        // Read top-down, the corner holds no code: the reader depends on the
        // bottom-up order.
        hv::RenderTestFrame(clip, 5, img.data());
        EXPECT_EQ(hv::ReadFrameNumber(img.data(), w, h), -1) << w << "x" << h;
    }
    EXPECT_EQ(hv::CodeBlockSize(16, 16), 0);
    EXPECT_EQ(hv::ReadFrameNumber(nullptr, 320, 240), -1);
}

TEST(TestVideoMaker, SceneLiesInTheRingOfTheGeometry) {
    hv::TestVideoOptions clip;  // 640x480, the player's start-up geometry
    std::vector<uint32_t> img(640 * 480);
    hv::RenderTestFrame(clip, 0, img.data());
    // The player's mapping of the start-up geometry at 640x480.
    const hv::RingGeometryResult g = hv::BuildRingGeometry(clip.geometry, 640, 480);
    ASSERT_TRUE(g.ok);
    const int cx = g.ring.cx, cy = g.ring.cy;
    ASSERT_EQ(g.ring.D, 304);
    ASSERT_EQ(g.ring.inner, 38);
    auto at = [&](int x, int y) { return img[static_cast<size_t>(y) * 640 + x] & 0xffffffu; };
    EXPECT_EQ(at(cx, cy), 0x282828u) << "inside the inner circle";
    EXPECT_EQ(at(cx + 140, cy - 140), 0u) << "outside the ring";
    EXPECT_EQ(at(cx, cy + 60), 0xdc1e1eu) << "landmark straight below the centre";
    EXPECT_EQ(at(cx + 60, cy), 0xf0dc1eu) << "landmark at 90 degrees";
    const uint32_t sky = at(cx, cy - 140);
    EXPECT_GT(sky & 0xff, (sky >> 16) & 0xff) << "sky near the outer circle is blue";
}

TEST(TestVideoMaker, RefusesWhatItCannotMake) {
    hv::TestVideoOptions clip;
    clip.frames = 2;
    clip.path = (hvtest::TempFolder() / "x.xyz").string();
    EXPECT_NE(hv::MakeTestVideo(clip).find("unsupported"), std::string::npos);
    clip.path = (hvtest::TempFolder() / "noext").string();
    EXPECT_FALSE(hv::MakeTestVideo(clip).empty());
    clip.path = (hvtest::TempFolder() / "small.mp4").string();
    clip.width = 8;
    EXPECT_FALSE(hv::MakeTestVideo(clip).empty());
    clip.width = 64;
    clip.fpsNum = 0;
    EXPECT_FALSE(hv::MakeTestVideo(clip).empty());
    clip.fpsNum = 26;
    clip.path = (hvtest::TempFolder() / "odd-rate.mpg").string();
    EXPECT_NE(hv::MakeTestVideo(clip).find("MPEG-2"), std::string::npos);
    clip.fpsNum = 25;
    clip.path = (hvtest::TempFolder() / "no-such-folder" / "x.mkv").string();
    EXPECT_FALSE(hv::MakeTestVideo(clip).empty());
    EXPECT_FALSE(std::filesystem::exists(clip.path));
}

TEST(TestVideoMaker, FormatsAndPadding) {
    EXPECT_FALSE(hv::TestVideoFormatFor("doc").has_value());
    const auto mp4 = hv::TestVideoFormatFor("MP4");
    ASSERT_TRUE(mp4.has_value());
    int32_t w = 0, h = 0;
    hv::EncodedSize(*mp4, 321, 241, &w, &h);
    EXPECT_EQ(w, 322);
    EXPECT_EQ(h, 242);
    const auto webm = hv::TestVideoFormatFor("webm");
    ASSERT_TRUE(webm.has_value());
    hv::EncodedSize(*webm, 321, 241, &w, &h);
    EXPECT_EQ(w, 321);
    EXPECT_EQ(h, 241);
    EXPECT_GE(hv::TestVideoExtensions().size(), 10u);
}

}  // namespace
