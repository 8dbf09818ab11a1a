// The per-frame unwrap job: table builds, copies, flips, refusals, and the
// panoramas the renderer pins.
#include "unwrap/unwrap_engine.h"

#include <gtest/gtest.h>

#include <algorithm>

#include "unwrap_test_util.h"

namespace {

using hv::PanoramaView;
using hv::RingGeometry;
using hv::UnwrapEngine;

// The ring rows of a pinned panorama (without the spare rows).
std::vector<uint32_t> RingPixels(const PanoramaView& v) {
    const RingGeometry& r = v.Geometry();
    return {v.Pixels(), v.Pixels() + size_t(r.Wp) * r.Hp};
}

bool SpareRowsZero(const PanoramaView& v) {
    const RingGeometry& r = v.Geometry();
    const uint32_t* p = v.Pixels() + size_t(r.Wp) * r.Hp;
    return std::all_of(p, p + size_t(r.Wp) * hv::kPanoramaSpareRows,
                       [](uint32_t x) { return x == 0; });
}

// `base` mirrored the way flip mode m stores it.
std::vector<uint32_t> Mirrored(const std::vector<uint32_t>& base, const RingGeometry& r, int m) {
    std::vector<uint32_t> out(base.size());
    for (int32_t row = 0; row < r.Hp; ++row)
        for (int32_t c = 0; c < r.Wp; ++c)
            out[hv::PanoramaIndex(r, m, row, c)] = base[size_t(row) * r.Wp + c];
    return out;
}

TEST(UnwrapEngine, FirstFrameBuildsTheTableThenEveryPixelComesFromItsEntry) {
    const RingGeometry r = hvtest::ExampleRing();
    UnwrapEngine engine;
    ASSERT_TRUE(engine.Configure(r));
    EXPECT_FALSE(engine.TableValid());
    {
        const PanoramaView v = engine.AcquireReady();
        ASSERT_TRUE(v);
        EXPECT_EQ(v.Sequence(), 0u);
        EXPECT_EQ(v.Geometry(), r);
        const auto px = RingPixels(v);
        EXPECT_TRUE(std::all_of(px.begin(), px.end(), [](uint32_t x) { return x == 0; }));
    }
    hv::FrameBuffer fb;
    fb.Allocate(640, 480);
    hvtest::StillSource source(hvtest::CodedFrame(640, 480));

    EXPECT_TRUE(engine.UnwrapFrame(fb, source.Fill()));  // builds, copies nothing
    EXPECT_TRUE(engine.TableValid());
    EXPECT_EQ(engine.TableBuilds(), 1u);
    EXPECT_EQ(source.CurrentFrameCalls(), 1);
    {
        const PanoramaView v = engine.AcquireReady();
        EXPECT_EQ(v.Sequence(), 0u);
        const auto px = RingPixels(v);
        EXPECT_TRUE(std::all_of(px.begin(), px.end(), [](uint32_t x) { return x == 0; }));
    }

    EXPECT_TRUE(engine.UnwrapFrame(fb, source.Fill()));
    EXPECT_EQ(engine.TableBuilds(), 1u);
    const PanoramaView v = engine.AcquireReady();
    EXPECT_EQ(v.Sequence(), 1u);
    EXPECT_EQ(v.Mode(), 0);
    hv::UnwrapTable t;
    hv::BuildUnwrapTable(r, 0, t);
    const auto px = RingPixels(v);
    for (size_t i = 0; i < px.size(); ++i)
        ASSERT_EQ(px[i], hvtest::Code(t.srcRow[i], t.srcX[i])) << "pixel " << i;
    EXPECT_TRUE(SpareRowsZero(v));
    EXPECT_EQ(v.ViewSource(), v.Pixels() + size_t(r.inner) * r.Wp);
    EXPECT_EQ(v.Ws(), 380);
    EXPECT_EQ(v.Hs(), 116);
}

TEST(UnwrapEngine, EachFlipCostsOneFrameAndFourFlipsReturnToTheFirstMapping) {
    const RingGeometry r = hvtest::ExampleRing();  // the whole ring lies in the frame
    UnwrapEngine engine;
    ASSERT_TRUE(engine.Configure(r));
    const hv::FrameBuffer frame = hvtest::CodedFrame(640, 480);
    engine.UnwrapFrame(frame);
    engine.UnwrapFrame(frame);
    const std::vector<uint32_t> first = RingPixels(engine.AcquireReady());

    std::vector<uint32_t> previous = first;
    for (int press = 1; press <= 4; ++press) {
        const hv::FlipMode mode = engine.AdvanceFlipMode();
        EXPECT_EQ(mode, press % 4);
        EXPECT_FALSE(engine.TableValid());
        const uint64_t seq = engine.AcquireReady().Sequence();
        EXPECT_TRUE(engine.UnwrapFrame(frame));  // rebuild: no new picture
        {
            const PanoramaView v = engine.AcquireReady();
            EXPECT_EQ(v.Sequence(), seq);
            EXPECT_EQ(v.Mode(), (press - 1) % 4);
            EXPECT_EQ(RingPixels(v), previous) << "press " << press;
        }
        EXPECT_TRUE(engine.UnwrapFrame(frame));
        const PanoramaView v = engine.AcquireReady();
        EXPECT_EQ(v.Sequence(), seq + 1);
        EXPECT_EQ(v.Mode(), mode);
        previous = RingPixels(v);
        EXPECT_EQ(previous, Mirrored(first, r, mode)) << "mode " << mode;
        EXPECT_EQ(v.ViewSource(), v.Pixels() + (mode >= 2 ? 0 : size_t(r.inner) * r.Wp));
        EXPECT_TRUE(SpareRowsZero(v));
    }
    EXPECT_EQ(previous, first);
    EXPECT_EQ(engine.TableBuilds(), 5u);
}

TEST(UnwrapEngine, RingPartlyOutsideShowsPixelZeroThenTheOldMapping) {
    hv::DoughnutGeometry g = hvtest::kExampleGeometry;
    g.left = 400;
    g.top = -5;  // out at the right and at the top
    const RingGeometry r = hv::BuildRingGeometry(g, 640, 480).ring;
    const hv::FrameBuffer frame = hvtest::CodedFrame(640, 480);
    UnwrapEngine engine;
    ASSERT_TRUE(engine.Configure(r));
    engine.UnwrapFrame(frame);
    engine.UnwrapFrame(frame);

    hv::UnwrapTable t;
    t.Allocate(r);
    hv::BuildUnwrapTable(r, 0, t);
    std::vector<uint32_t> want(size_t(r.Wp) * r.Hp);
    hv::UnwrapReference(r, t, frame.data(), want.data());
    EXPECT_EQ(RingPixels(engine.AcquireReady()), want);
    EXPECT_GT(std::count(want.begin(), want.end(), hvtest::Code(0, 0)), 1000);
    EXPECT_GT(std::count(want.begin(), want.end(), 0u), 0);  // the spare row

    engine.SetFlipMode(3);
    engine.UnwrapFrame(frame);
    engine.UnwrapFrame(frame);
    hv::BuildUnwrapTable(r, 3, t);  // on top of mode 0's entries
    hv::UnwrapReference(r, t, frame.data(), want.data());
    EXPECT_EQ(RingPixels(engine.AcquireReady()), want);
}

TEST(UnwrapEngine, AllCopyPathsGiveTheSamePanorama) {
    const hv::DoughnutGeometry g{150, 0, 300, 600, 50, 0, 0};  // fills the height
    const RingGeometry r = hv::BuildRingGeometry(g, 1280, 720).ring;
    UnwrapEngine engines[3];
    const UnwrapEngine::CopyPath paths[3] = {UnwrapEngine::CopyPath::Reference,
                                             UnwrapEngine::CopyPath::Fast,
                                             UnwrapEngine::CopyPath::FastThreads};
    for (int e = 0; e < 3; ++e) {
        engines[e].SetCopyPath(paths[e]);
        ASSERT_TRUE(engines[e].Configure(r));
    }
    for (hv::FlipMode m : {0, 1, 2, 3}) {
        const hv::FrameBuffer frame = hvtest::NoiseFrame(1280, 720, uint32_t(m + 7));
        std::vector<uint32_t> out[3];
        for (int e = 0; e < 3; ++e) {
            engines[e].SetFlipMode(m);
            engines[e].UnwrapFrame(frame);
            ASSERT_TRUE(engines[e].UnwrapFrame(frame));
            out[e] = RingPixels(engines[e].AcquireReady());
        }
        EXPECT_EQ(out[1], out[0]) << "mode " << m;
        EXPECT_EQ(out[2], out[0]) << "mode " << m;
    }
}

TEST(UnwrapEngine, RefusesWhatItCannotUnwrap) {
    UnwrapEngine engine;
    hv::FrameBuffer fb;
    fb.Allocate(640, 480);
    hvtest::StillSource source(fb);
    EXPECT_FALSE(engine.UnwrapFrame(fb, source.Fill()));  // nothing configured
    EXPECT_FALSE(engine.AcquireReady());

    RingGeometry bad = hvtest::ExampleRing();
    bad.inner = bad.Hp;
    std::string error;
    EXPECT_FALSE(engine.Configure(bad, &error));
    EXPECT_FALSE(error.empty());
    bad = hvtest::ExampleRing();
    bad.Wp = 1 << 20;
    bad.Hp = 1 << 20;
    EXPECT_FALSE(engine.Configure(bad, &error));

    ASSERT_TRUE(engine.Configure(hvtest::ExampleRing()));
    EXPECT_FALSE(engine.UnwrapFrame(fb, nullptr));  // no source open
    EXPECT_EQ(engine.TableBuilds(), 0u);
    hv::FrameBuffer other;
    other.Allocate(480, 640);
    EXPECT_FALSE(engine.UnwrapFrame(other, source.Fill()));  // another frame size
    EXPECT_FALSE(engine.UnwrapFrame(hv::FrameBuffer{}));
    EXPECT_EQ(source.CurrentFrameCalls(), 0);
    EXPECT_TRUE(engine.UnwrapFrame(fb, source.Fill()));

    // Frame buffers refuse absurd sizes outright.
    for (auto [w, h] :
         {std::pair{0, 1}, {-1, 5}, {16385, 2}, {INT32_MAX, INT32_MAX}, {12000, 12000}}) {
        hv::FrameBuffer f;
        EXPECT_FALSE(f.Allocate(w, h)) << w << "x" << h;
        EXPECT_EQ(f.width, 0);
        EXPECT_TRUE(f.pixels.empty());
    }
}

TEST(UnwrapEngine, PinnedPanoramasOutliveANewStream) {
    UnwrapEngine engine;
    ASSERT_TRUE(engine.Configure(hvtest::ExampleRing()));
    const hv::FrameBuffer frame = hvtest::UniformFrame(640, 480, 0xabcdef);
    engine.UnwrapFrame(frame);
    engine.UnwrapFrame(frame);
    const PanoramaView old = engine.AcquireReady();

    const RingGeometry next = hv::BuildRingGeometry(hv::kStartupGeometry, 320, 240).ring;
    ASSERT_TRUE(engine.Configure(next));
    EXPECT_EQ(engine.Geometry(), next);
    EXPECT_FALSE(engine.TableValid());
    EXPECT_EQ(engine.AcquireReady().Geometry(), next);
    engine.Release();
    EXPECT_FALSE(engine.AcquireReady());
    EXPECT_FALSE(engine.Configured());

    // Still the old stream's last panorama, all of it readable.
    const auto px = RingPixels(old);
    EXPECT_TRUE(std::all_of(px.begin(), px.end(), [](uint32_t x) { return x == 0xabcdef; }));
    EXPECT_TRUE(SpareRowsZero(old));
}

}  // namespace

namespace {

// An I420 picture of pseudo-random samples, with padded strides.
struct Planes {
    hv::PlanarPicture picture;
    std::vector<uint8_t> bytes[3];
};
Planes NoisePlanes(int32_t w, int32_t h, uint32_t seed) {
    Planes p;
    p.picture.layout = hv::PlanarLayout::I420;
    p.picture.width = w;
    p.picture.height = h;
    p.picture.strides[0] = w + 5;
    p.picture.strides[1] = p.picture.strides[2] = hv::ChromaWidth(w) + 3;
    uint32_t x = seed * 2654435761u + 1;
    for (int i = 0; i < 3; ++i) {
        p.bytes[i].resize(size_t(p.picture.strides[i]) * (i == 0 ? h : hv::ChromaHeight(h)));
        for (uint8_t& b : p.bytes[i]) b = uint8_t((x = x * 1664525u + 1013904223u) >> 24);
        p.picture.planes[i] = p.bytes[i].data();
    }
    return p;
}

TEST(UnwrapEngine, ADemandFillsItsTilesAndTheRestKeepsAnOlderFrameOfTheSameTable) {
    const hv::DoughnutGeometry g{150, 0, 300, 600, 50, 0, 0};
    const RingGeometry r = hv::BuildRingGeometry(g, 1280, 720).ring;
    Planes pictures[5];
    std::vector<uint32_t> whole[5];
    UnwrapEngine reference;
    ASSERT_TRUE(reference.Configure(r));
    for (uint32_t i = 0; i < 5; ++i) {
        pictures[i] = NoisePlanes(1280, 720, i + 1);
        reference.UnwrapPicture(pictures[i].picture);
        ASSERT_TRUE(reference.UnwrapPicture(pictures[i].picture));
        whole[i] = RingPixels(reference.AcquireReady());
    }
    hv::PanoramaRegion demand;
    demand.whole = false;
    demand.tilesAround = hv::TileColumns(r.Wp);
    demand.bandBegin = 1, demand.bandEnd = 3;
    demand.tileBegin = demand.tilesAround - 2, demand.tileCount = 4;  // across the seam
    const auto inDemand = [&](size_t i) {
        const int32_t band = int32_t(i / size_t(r.Wp)) / hv::GatherPlan::kTileRows;
        return band >= 1 && band < 3 &&
               demand.HasTile(int32_t(i % size_t(r.Wp)) / hv::GatherPlan::kTileCols);
    };

    for (const auto path : {UnwrapEngine::CopyPath::Fast, UnwrapEngine::CopyPath::FastThreads}) {
        UnwrapEngine engine;
        engine.SetCopyPath(path);
        ASSERT_TRUE(engine.Configure(r));
        engine.SetDemand(demand);
        engine.UnwrapPicture(pictures[0].picture);  // builds the table
        // Each buffer the job writes (two of the three, with no reader) is
        // filled whole once before it holds a part.
        for (int i = 0; i < 2; ++i) {
            ASSERT_TRUE(engine.UnwrapPicture(pictures[i].picture));
            EXPECT_TRUE(engine.AcquireReady().Complete());
            EXPECT_EQ(RingPixels(engine.AcquireReady()), whole[i]);
        }
        ASSERT_TRUE(engine.UnwrapPicture(pictures[3].picture));
        {
            const PanoramaView v = engine.AcquireReady();
            EXPECT_EQ(v.Region(), demand);
            const std::vector<uint32_t> got = RingPixels(v);
            int older = -1;
            for (int k = 0; k < 2; ++k)
                if (got[0] == whole[k][0]) older = k;
            ASSERT_GE(older, 0) << "outside the demand: an older frame";
            size_t inside = 0;
            for (size_t i = 0; i < got.size(); ++i) {
                const bool in = inDemand(i);
                inside += in;
                ASSERT_EQ(got[i], in ? whole[3][i] : whole[older][i]) << i;
            }
            EXPECT_GT(inside, 0u);
        }
        // Asked for, or asked for with a region of another panorama: whole.
        engine.RequestWhole();
        ASSERT_TRUE(engine.UnwrapPicture(pictures[4].picture));
        EXPECT_TRUE(engine.AcquireReady().Complete());
        EXPECT_EQ(RingPixels(engine.AcquireReady()), whole[4]);
        hv::PanoramaRegion foreign = demand;
        foreign.tilesAround += 1;
        engine.SetDemand(foreign);
        ASSERT_TRUE(engine.UnwrapPicture(pictures[3].picture));
        EXPECT_TRUE(engine.AcquireReady().Complete());
        // A flip: the new table fills every buffer whole once more.
        engine.SetDemand(demand);
        engine.SetFlipMode(1);
        engine.UnwrapPicture(pictures[0].picture);  // builds the table
        for (int i = 0; i < 2; ++i) {
            ASSERT_TRUE(engine.UnwrapPicture(pictures[0].picture));
            EXPECT_TRUE(engine.AcquireReady().Complete()) << i;
        }
        ASSERT_TRUE(engine.UnwrapPicture(pictures[0].picture));
        EXPECT_FALSE(engine.AcquireReady().Complete());
    }
}

}  // namespace
