// The unwrap straight from the decoder's planes against GStreamer's own
// conversion: "convert the frame with videoconvert, then gather" is the
// reference. Real files made by the test-video maker (SD: BT.601, HD:
// BT.709), and the converter on decoded and synthetic planes for each
// matrix and range, I420 and NV12, odd sizes and a ring partly outside the
// frame (I420 bit-identical: the unwrap repeats the converter's arithmetic;
// NV12, whose chroma the converter interpolates, within 2 levels). Also: the
// kept sample is mapped, shared and released exactly once.
#include <gst/app/gstappsink.h>
#include <gst/gst.h>
#include <gst/video/video.h>
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <random>
#include <vector>

#include "config/doughnut_geometry.h"
#include "unwrap/planar_gather.h"
#include "unwrap/ring_geometry.h"
#include "unwrap/unwrap_engine.h"
#include "video/gst_frame_source.h"
#include "video_test_util.h"

namespace {

using hv::PlanarLayout;
using hv::PlanarPicture;
using hv::YuvColour;

constexpr YuvColour kBt601Full{0.299, 0.114, true};
constexpr YuvColour kBt709Full{0.2126, 0.0722, true};

// Planes owned by the test, described by `picture`.
struct OwnedPlanes {
    std::vector<uint8_t> y, u, v;
    PlanarPicture picture;
};

OwnedPlanes CopyPlanes(const PlanarPicture& p) {
    OwnedPlanes o;
    o.picture = p;
    const int32_t cw = hv::ChromaWidth(p.width), ch = hv::ChromaHeight(p.height);
    const bool nv12 = p.layout == PlanarLayout::NV12;
    o.y.resize(size_t(p.strides[0]) * p.height);
    std::memcpy(o.y.data(), p.planes[0], o.y.size());
    o.u.resize(size_t(p.strides[1]) * ch);
    std::memcpy(o.u.data(), p.planes[1], o.u.size());
    o.picture.planes[0] = o.y.data();
    o.picture.planes[1] = o.u.data();
    if (!nv12) {
        o.v.resize(size_t(p.strides[2]) * ch);
        std::memcpy(o.v.data(), p.planes[2], o.v.size());
        o.picture.planes[2] = o.v.data();
    }
    (void)cw;
    return o;
}

// The same picture as NV12 (interleaved chroma, its own strides).
OwnedPlanes ToNv12(const PlanarPicture& p) {
    OwnedPlanes o;
    const int32_t cw = hv::ChromaWidth(p.width), ch = hv::ChromaHeight(p.height);
    o.picture = p;
    o.picture.layout = PlanarLayout::NV12;
    o.picture.strides[0] = p.width + 5;  // a stride wider than the row
    o.picture.strides[1] = 2 * cw + 3;
    o.picture.strides[2] = 0;
    o.y.assign(size_t(o.picture.strides[0]) * p.height, 0);
    o.u.assign(size_t(o.picture.strides[1]) * ch, 0);
    for (int32_t r = 0; r < p.height; ++r)
        std::memcpy(&o.y[size_t(r) * o.picture.strides[0]], p.planes[0] + size_t(r) * p.strides[0],
                    size_t(p.width));
    for (int32_t r = 0; r < ch; ++r)
        for (int32_t c = 0; c < cw; ++c) {
            o.u[size_t(r) * o.picture.strides[1] + 2 * c] =
                p.planes[1][size_t(r) * p.strides[1] + c];
            o.u[size_t(r) * o.picture.strides[1] + 2 * c + 1] =
                p.planes[2][size_t(r) * p.strides[2] + c];
        }
    o.picture.planes[0] = o.y.data();
    o.picture.planes[1] = o.u.data();
    o.picture.planes[2] = nullptr;
    return o;
}

// Smooth scenery with some detail and noise, I420 at any size.
OwnedPlanes SyntheticI420(int32_t w, int32_t h, uint32_t seed) {
    OwnedPlanes o;
    const int32_t cw = hv::ChromaWidth(w), ch = hv::ChromaHeight(h);
    std::mt19937 rng(seed);
    std::uniform_int_distribution<int> noise(-6, 6);
    auto clamp = [](int v) { return uint8_t(std::clamp(v, 0, 255)); };
    o.y.resize(size_t(w) * h);
    o.u.resize(size_t(cw) * ch);
    o.v.resize(size_t(cw) * ch);
    for (int32_t r = 0; r < h; ++r)
        for (int32_t c = 0; c < w; ++c)
            o.y[size_t(r) * w + c] =
                clamp(16 + (c * 219) / w + int(20 * std::sin(r * 0.05)) + noise(rng));
    for (int32_t r = 0; r < ch; ++r)
        for (int32_t c = 0; c < cw; ++c) {
            o.u[size_t(r) * cw + c] = clamp(128 + int(90 * std::sin(c * 0.02 + r * 0.01)));
            o.v[size_t(r) * cw + c] = clamp(128 + int(90 * std::cos(r * 0.015)) + noise(rng));
        }
    PlanarPicture& p = o.picture;
    p.layout = PlanarLayout::I420;
    p.width = w;
    p.height = h;
    p.planes[0] = o.y.data();
    p.planes[1] = o.u.data();
    p.planes[2] = o.v.data();
    p.strides[0] = w;
    p.strides[1] = p.strides[2] = cw;
    return o;
}

// GStreamer's converter (videoconvert's engine, its default options) on the
// picture: top-down BGRx rows, 4 * width bytes each.
std::vector<uint32_t> ConvertWithGst(const PlanarPicture& p, GstVideoChromaSite site) {
    const bool nv12 = p.layout == PlanarLayout::NV12;
    GstVideoInfo in;
    gst_video_info_set_format(&in, nv12 ? GST_VIDEO_FORMAT_NV12 : GST_VIDEO_FORMAT_I420, p.width,
                              p.height);
    in.chroma_site = site;
    in.colorimetry.range =
        p.colour.fullRange ? GST_VIDEO_COLOR_RANGE_0_255 : GST_VIDEO_COLOR_RANGE_16_235;
    in.colorimetry.matrix =
        p.colour.kr == 0.299 ? GST_VIDEO_COLOR_MATRIX_BT601 : GST_VIDEO_COLOR_MATRIX_BT709;
    // Our planes as one buffer with the picture's strides and offsets.
    const int32_t ch = hv::ChromaHeight(p.height);
    const size_t sizes[3] = {size_t(p.strides[0]) * p.height, size_t(p.strides[1]) * ch,
                             nv12 ? 0 : size_t(p.strides[2]) * ch};
    std::vector<uint8_t> bytes;
    for (int i = 0; i < (nv12 ? 2 : 3); ++i) {
        in.offset[i] = bytes.size();
        in.stride[i] = p.strides[i];
        bytes.insert(bytes.end(), p.planes[i], p.planes[i] + sizes[i]);
    }
    in.size = bytes.size();
    GstBuffer* inBuffer = gst_buffer_new_memdup(bytes.data(), bytes.size());
    GstVideoInfo out;
    gst_video_info_set_format(&out, GST_VIDEO_FORMAT_BGRx, p.width, p.height);
    GstBuffer* outBuffer = gst_buffer_new_allocate(nullptr, out.size, nullptr);
    GstVideoFrame inFrame, outFrame;
    std::vector<uint32_t> result(size_t(p.width) * p.height);
    if (gst_video_frame_map(&inFrame, &in, inBuffer, GST_MAP_READ) &&
        gst_video_frame_map(&outFrame, &out, outBuffer, GST_MAP_WRITE)) {
        GstVideoConverter* conv = gst_video_converter_new(&in, &out, nullptr);
        gst_video_converter_frame(conv, &inFrame, &outFrame);
        gst_video_converter_free(conv);
        for (int32_t r = 0; r < p.height; ++r)
            std::memcpy(&result[size_t(r) * p.width],
                        static_cast<uint8_t*>(GST_VIDEO_FRAME_PLANE_DATA(&outFrame, 0)) +
                            size_t(r) * GST_VIDEO_FRAME_PLANE_STRIDE(&outFrame, 0),
                        size_t(4) * p.width);
        gst_video_frame_unmap(&outFrame);
        gst_video_frame_unmap(&inFrame);
    } else {
        ADD_FAILURE() << "cannot map the converter's frames";
    }
    gst_buffer_unref(inBuffer);
    gst_buffer_unref(outBuffer);
    return result;
}

// The reference panorama: the top-down BGRx picture gathered through the
// table (memory row m is picture line H - 1 - m; row H is black).
std::vector<uint32_t> GatherBgrx(const hv::RingGeometry& ring, const hv::UnwrapTable& table,
                                 const std::vector<uint32_t>& topDown) {
    std::vector<uint32_t> pano(size_t(ring.PanoramaPixels()));
    for (size_t i = 0; i < pano.size(); ++i) {
        const int32_t m = table.srcRow[i];
        pano[i] = m >= ring.frameH
                      ? 0u
                      : topDown[size_t(ring.frameH - 1 - m) * ring.frameW + table.srcX[i]];
    }
    return pano;
}

struct Agreement {
    double within2 = 0;  // share of pixels whose channels all differ by <= 2
    double psnr = 0;     // dB over the three colour channels
    int maxDiff = 0;
};

Agreement Compare(const std::vector<uint32_t>& a, const std::vector<uint32_t>& b) {
    Agreement r;
    size_t close = 0;
    double sq = 0;
    for (size_t i = 0; i < a.size(); ++i) {
        int worst = 0;
        for (int s = 0; s < 24; s += 8) {
            const int d = int((a[i] >> s) & 0xff) - int((b[i] >> s) & 0xff);
            worst = std::max(worst, std::abs(d));
            sq += double(d) * d;
        }
        if ((a[i] >> 24) != (b[i] >> 24)) worst = 255;  // the X byte must agree
        r.maxDiff = std::max(r.maxDiff, worst);
        if (worst <= 2) ++close;
    }
    r.within2 = double(close) / double(a.size());
    const double mse = sq / (3.0 * double(a.size()));
    r.psnr = mse == 0 ? 99.0 : 10.0 * std::log10(255.0 * 255.0 / mse);
    return r;
}

void ExpectClose(const Agreement& a, const std::string& what) {
    EXPECT_GE(a.within2, 0.99) << what << " (worst " << a.maxDiff << ")";
    EXPECT_GE(a.psnr, 40.0) << what;
    if (std::getenv("HV_PLANAR_REPORT") != nullptr)
        std::fprintf(stderr, "%s: within 2 %.4f, PSNR %.1f dB, worst %d\n", what.c_str(), a.within2,
                     a.psnr, a.maxDiff);
}

// I420 takes the converter's direct path, whose arithmetic the unwrap
// repeats: the panoramas are identical.
void ExpectIdentical(const Agreement& a, const std::string& what) {
    ExpectClose(a, what);
    EXPECT_EQ(a.maxDiff, 0) << what;
}

// Unwraps `picture` with every copy path of the engine, checks that they
// agree exactly, and returns the panorama.
std::vector<uint32_t> UnwrapAllPaths(const hv::RingGeometry& ring, const PlanarPicture& picture) {
    std::vector<uint32_t> first;
    for (auto path : {hv::UnwrapEngine::CopyPath::Reference, hv::UnwrapEngine::CopyPath::Fast,
                      hv::UnwrapEngine::CopyPath::FastThreads}) {
        hv::UnwrapEngine engine;
        EXPECT_TRUE(engine.Configure(ring));
        engine.SetCopyPath(path);
        EXPECT_TRUE(engine.UnwrapPicture(picture));  // builds the table
        EXPECT_TRUE(engine.UnwrapPicture(picture));
        const hv::PanoramaView view = engine.AcquireReady();
        EXPECT_TRUE(view);
        if (!view) return {};
        std::vector<uint32_t> pano(view.Pixels(), view.Pixels() + ring.PanoramaPixels());
        if (first.empty()) {
            first = pano;
        } else {
            EXPECT_EQ(pano, first) << "copy path " << int(path);
        }
    }
    return first;
}

hv::RingGeometry RingFor(int32_t w, int32_t h, const hv::DoughnutGeometry& g) {
    const hv::RingGeometryResult r = hv::BuildRingGeometry(g, w, h);
    EXPECT_TRUE(r.ok);
    return r.ring;
}

// A ring centred in the frame that fills most of it.
hv::DoughnutGeometry CentredRing(int32_t w, int32_t h) {
    hv::DoughnutGeometry g;
    const int32_t d = std::min(w, h) * 9 / 10;
    g.left = (w - d) / 2;
    g.top = (h - d) / 2;
    g.width = g.height = d;
    g.innerRadius = d / 8;
    return g;
}

// Checks `picture` against the converter, as I420 and as NV12.
void CheckAgainstConverter(const PlanarPicture& picture, const hv::DoughnutGeometry& g,
                           const std::string& what) {
    const hv::RingGeometry ring = RingFor(picture.width, picture.height, g);
    hv::UnwrapTable table;
    hv::BuildUnwrapTable(ring, 0, table);
    const auto reference =
        GatherBgrx(ring, table, ConvertWithGst(picture, GST_VIDEO_CHROMA_SITE_MPEG2));
    ExpectIdentical(Compare(UnwrapAllPaths(ring, picture), reference), what + " I420");
    const OwnedPlanes nv12 = ToNv12(picture);
    const auto nv12Reference =
        GatherBgrx(ring, table, ConvertWithGst(nv12.picture, GST_VIDEO_CHROMA_SITE_MPEG2));
    ExpectClose(Compare(UnwrapAllPaths(ring, nv12.picture), nv12Reference), what + " NV12");
}

class PlanarUnwrap : public ::testing::Test {
  protected:
    void SetUp() override { ASSERT_TRUE(hv::EnsureGstInitialised()); }

    // The first picture of `path` through the player's source, planar.
    static hv::PlanarPictureRef FirstPicture(const std::string& path,
                                             std::unique_ptr<hv::FrameSource>& source) {
        source = hv::CreateGstFrameSource();
        hv::FrameSourceOptions options;
        options.withAudio = false;
        options.mode = hv::FrameSourceMode::EveryFrame;
        options.planarPictures = true;
        if (source->Open(path, options) != hv::BuildStep::None) return nullptr;
        hv::PlanarPictureRef picture;
        hv::FrameBuffer unused;
        if (source->NextPicture(picture, unused, nullptr, 10'000) != hv::NextFrameResult::Frame)
            return nullptr;
        return picture;
    }

    // The first picture of `path` through videoconvert to BGRx: top-down.
    static std::vector<uint32_t> FirstPictureConverted(const std::string& path, int32_t w,
                                                       int32_t h) {
        const std::string launch = "filesrc location=\"" + path +
                                   "\" ! decodebin ! videoconvert ! "
                                   "video/x-raw,format=BGRx ! appsink name=out";
        GError* error = nullptr;
        GstElement* pipeline = gst_parse_launch(launch.c_str(), &error);
        if (error != nullptr) g_error_free(error);
        std::vector<uint32_t> result;
        if (pipeline == nullptr) return result;
        GstElement* sink = gst_bin_get_by_name(GST_BIN(pipeline), "out");
        gst_element_set_state(pipeline, GST_STATE_PAUSED);
        GstSample* sample = gst_app_sink_try_pull_preroll(GST_APP_SINK(sink), 10 * GST_SECOND);
        if (sample != nullptr) {
            GstVideoInfo info;
            GstVideoFrame frame;
            if (gst_video_info_from_caps(&info, gst_sample_get_caps(sample)) && info.width == w &&
                info.height == h &&
                gst_video_frame_map(&frame, &info, gst_sample_get_buffer(sample), GST_MAP_READ)) {
                result.resize(size_t(w) * h);
                for (int32_t r = 0; r < h; ++r)
                    std::memcpy(&result[size_t(r) * w],
                                static_cast<uint8_t*>(GST_VIDEO_FRAME_PLANE_DATA(&frame, 0)) +
                                    size_t(r) * GST_VIDEO_FRAME_PLANE_STRIDE(&frame, 0),
                                size_t(4) * w);
                gst_video_frame_unmap(&frame);
            }
            gst_sample_unref(sample);
        }
        gst_element_set_state(pipeline, GST_STATE_NULL);
        gst_object_unref(sink);
        gst_object_unref(pipeline);
        return result;
    }
};

TEST_F(PlanarUnwrap, MatchesVideoconvertThenGatherOnRealFiles) {
    struct Case {
        int32_t w, h;
        double kr;  // the matrix GStreamer picks for the stream
    };
    for (const Case c : {Case{320, 240, 0.299}, Case{1280, 720, 0.2126}}) {
        const std::string name = "planar_" + std::to_string(c.w) + ".mp4";
        const std::string path = hvtest::MakeVideo(name, c.w, c.h, 25, 1, 2, false);
        ASSERT_FALSE(path.empty());
        std::unique_ptr<hv::FrameSource> source;
        const hv::PlanarPictureRef picture = FirstPicture(path, source);
        ASSERT_NE(picture, nullptr) << name;
        EXPECT_NEAR(picture->colour.kr, c.kr, 1e-9) << name;
        EXPECT_FALSE(picture->colour.fullRange) << name;
        const std::vector<uint32_t> converted = FirstPictureConverted(path, c.w, c.h);
        ASSERT_EQ(converted.size(), size_t(c.w) * c.h) << name;

        const hv::RingGeometry ring = RingFor(c.w, c.h, CentredRing(c.w, c.h));
        hv::UnwrapTable table;
        hv::BuildUnwrapTable(ring, 0, table);
        ExpectIdentical(Compare(UnwrapAllPaths(ring, *picture), GatherBgrx(ring, table, converted)),
                        name);
    }
}

TEST_F(PlanarUnwrap, MatchesTheConverterForEachMatrixAndRange) {
    const std::string path = hvtest::MakeVideo("planar_colours.mp4", 320, 240, 25, 1, 2, false);
    ASSERT_FALSE(path.empty());
    std::unique_ptr<hv::FrameSource> source;
    const hv::PlanarPictureRef decoded = FirstPicture(path, source);
    ASSERT_NE(decoded, nullptr);
    OwnedPlanes planes = CopyPlanes(*decoded);
    for (const YuvColour colour : {hv::kBt601Limited, hv::kBt709Limited, kBt601Full, kBt709Full}) {
        planes.picture.colour = colour;
        CheckAgainstConverter(planes.picture, CentredRing(320, 240),
                              std::string("kr ") + std::to_string(colour.kr) +
                                  (colour.fullRange ? " full" : " limited"));
    }
}

TEST_F(PlanarUnwrap, OddSizesAndARingPartlyOutsideTheFrame) {
    OwnedPlanes odd = SyntheticI420(333, 251, 7);
    odd.picture.colour = hv::kBt709Limited;
    CheckAgainstConverter(odd.picture, CentredRing(333, 251), "333x251");

    // The ring's centre near the bottom-right corner: much of it lies
    // outside, and its top row reaches the black spare row.
    hv::DoughnutGeometry g;
    g.left = 150;
    g.top = 120;
    g.width = g.height = 200;
    g.innerRadius = 20;
    OwnedPlanes edge = SyntheticI420(301, 241, 11);
    edge.picture.colour = kBt601Full;
    CheckAgainstConverter(edge.picture, g, "ring partly outside");
}

TEST_F(PlanarUnwrap, TheKeptSampleIsReleasedExactlyOnce) {
    const std::string path = hvtest::MakeVideo("planar_hold.mp4", 320, 240, 25, 1, 10, false);
    ASSERT_FALSE(path.empty());
    const int64_t before = hv::LivePlanarPictures();
    std::unique_ptr<hv::FrameSource> source = hv::CreateGstFrameSource();
    hv::FrameSourceOptions options;
    options.withAudio = false;
    options.planarPictures = true;
    ASSERT_EQ(source->Open(path, options), hv::BuildStep::None);
    {
        hv::PlanarPictureRef a = source->CurrentPicture();
        ASSERT_NE(a, nullptr);
        hv::PlanarPictureRef b = a;  // sharing takes no new mapping
        EXPECT_EQ(hv::LivePlanarPictures(), before + 1);
        hv::PlanarPictureRef c = source->CurrentPicture();  // a second holder maps again
        ASSERT_NE(c, nullptr);
        EXPECT_EQ(hv::LivePlanarPictures(), before + 2);
        a.reset();
        EXPECT_EQ(hv::LivePlanarPictures(), before + 2);
        b.reset();
        EXPECT_EQ(hv::LivePlanarPictures(), before + 1);
    }
    EXPECT_EQ(hv::LivePlanarPictures(), before);

    // A picture held across Close stays readable and is released after it.
    hv::PlanarPictureRef held = source->CurrentPicture();
    ASSERT_NE(held, nullptr);
    const hv::RingGeometry ring = RingFor(320, 240, CentredRing(320, 240));
    source->Close();
    EXPECT_EQ(hv::LivePlanarPictures(), before + 1);
    hv::UnwrapEngine engine;
    ASSERT_TRUE(engine.Configure(ring));
    EXPECT_TRUE(engine.UnwrapPicture(*held));
    EXPECT_TRUE(engine.UnwrapPicture(*held));
    held.reset();
    EXPECT_EQ(hv::LivePlanarPictures(), before);

    // The whole-frame copy still works on a planar source (converted).
    ASSERT_EQ(source->Open(path, options), hv::BuildStep::None);
    hv::FrameBuffer fb;
    ASSERT_TRUE(fb.Allocate(320, 240));
    int32_t size = fb.PictureBytes();
    EXPECT_TRUE(source->CurrentFrame(fb.data(), &size));
    EXPECT_EQ(size, fb.PictureBytes());
    EXPECT_GE(hv::ReadFrameNumber(fb.data(), fb.width, fb.height), 0);
    source->Close();
    EXPECT_EQ(hv::LivePlanarPictures(), before);
}

}  // namespace
