#include "unwrap/view_setup.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace hv {

namespace {

constexpr double kPi = std::numbers::pi;

int32_t RoundEven(double v) {
    return static_cast<int32_t>(std::lrint(v));
}

// Brings a column computed from a table angle into 0 .. Ws - 1. One turn is
// enough for every angle the tables hold; the loops only guard odd sizes.
int32_t WrapColumn(int32_t c, int32_t Ws) {
    if (c < 0) c += Ws;
    if (c >= Ws) c -= Ws;
    while (c < 0) c += Ws;
    while (c >= Ws) c -= Ws;
    return c;
}

// The design's view size for a source of Hs rows.
void DerivedViewSize(int32_t Hs, int32_t& Wout, int32_t& Hout) {
    if (Hs < 400) {
        Hout = Hs;
        const int32_t w = RoundEven(static_cast<double>(1.777f) * Hs);
        Wout = 4 * RoundEven(w / 4.0);
    } else {
        Wout = 600;
        Hout = 400;
    }
}

// The values derived from Wout x Hout. Every product stays inside 32 bits
// up to kMaxFileViewSide per side (biSizeImage below 2^29).
void BuildViewSize(ViewSetup& s) {
    s.pixScale = static_cast<float>(2.0 / s.Wout);
    s.aspect = static_cast<float>(static_cast<double>(s.Hout) / s.Wout);
    s.colStart = -((s.Wout - 1) >> 1);
    s.colEnd = s.Wout - 1 - ((s.Wout - 1) >> 1);
    s.rowStart = -(s.Hout >> 1);
    s.rowEnd = s.Hout - 1 - (s.Hout >> 1);
    s.pixelCount = s.Wout * s.Hout;
    s.header.biWidth = s.Wout;
    s.header.biHeight = s.Hout;
    s.header.biSizeImage = 4 * s.Wout * s.Hout;
}

void BuildTables(ViewSetup& s) {
    ViewTables& T = s.tables;
    const int32_t N = kViewTableSteps;
    const int32_t lenOne = 1 << kLenFracBits;
    const int32_t angleOne = 1 << kAngleFracBits;  // one panorama column
    const double k = s.k;
    for (int32_t i = 0; i < N; ++i) {
        const double t = (i + 1) / static_cast<double>(N);
        T.LEN[i] = RoundEven(lenOne * std::sqrt(1 + t * t));
    }
    T.LEN[N] = RoundEven(lenOne * std::sqrt(2.0));
    for (int32_t a = 0; a < 256; ++a) {
        for (int32_t b = 0; b < 256; ++b) T.PROD[a][b] = a * b;
    }
    const int32_t halfHs = RoundEven(s.Hs / 2.0);
    const int32_t halfWs = RoundEven(s.Ws / 2.0);
    for (int32_t i = 0; i <= N; ++i) {
        if (i < N) {
            const double t = (i + 1) / static_cast<double>(N);
            // At t = 1 the ratio t / (1 - t) is infinite: a right angle.
            const double angle = (i + 1 < N) ? std::atan(t / (1 - t)) : kPi / 2;
            T.A[i] = RoundEven(angle * k + 0.5);
            T.ANG8[i] = RoundEven(angle * k * angleOne + 0.5);
        } else {
            T.A[i] = RoundEven(kPi * k / 2 + 0.5);
            T.ANG8[i] = RoundEven(kPi * k / 2 * angleOne + 0.5);
        }
        const int32_t a = T.A[i];
        T.COLQ4[i] = a;
        T.ROWUP[i] = std::clamp(halfHs + a, 0, s.Hs - 1);
        T.ROWDN[i] = std::clamp(halfHs - a + 1, 1, s.Hs);
        T.COLQ1[i] = WrapColumn(halfWs + a, s.Ws);
        T.COLQ2[i] = WrapColumn(halfWs - a, s.Ws);
        T.COLQ3[i] = WrapColumn(s.Ws - a, s.Ws);
        T.COLQ4[i] = WrapColumn(a, s.Ws);
    }
    const int32_t maxRow = std::max(*std::max_element(T.ROWUP.begin(), T.ROWUP.end()),
                                    *std::max_element(T.ROWDN.begin(), T.ROWDN.end()));
    s.sourceRowsRead = std::max(s.Hs, maxRow + 1);
    for (int32_t i = 0; i <= N; ++i) {
        s.colQuadrants[i] = T.COLQ1[i];
        s.colQuadrants[(N + 1) + i] = T.COLQ2[i];
        s.colQuadrants[2 * (N + 1) + i] = T.COLQ3[i];
        s.colQuadrants[3 * (N + 1) + i] = T.COLQ4[i];
    }
    T.quarter = angleOne / 4 * s.Ws;
    T.halfTurn = angleOne / 2 * s.Ws;
}

// Starting view: tilt limits that keep the view inside a panorama that does
// not reach the poles, and a field of view whose vertical extent fits them.
ViewState StartingView(const ViewSetup& s) {
    ViewState v;
    v.minTilt = -90;
    v.maxTilt = 90;
    v.fov = 120;
    v.minFov = 24;
    v.maxFov = 120;
    const float vext = static_cast<float>(180.0 * s.Hs / s.Ws);
    if (vext < 90) v.maxTilt = vext;
    if (-vext > -90) v.minTilt = -vext;
    HalfVerticalFov halfVerticalFov(s.aspect);
    float h = vext;
    bool reduced = false;
    while (2.0 * h >= static_cast<double>(v.maxTilt) - v.minTilt) {
        v.fov = static_cast<float>(v.fov / 1.01);
        h = halfVerticalFov(v.fov);
        reduced = true;
    }
    if (reduced) v.maxFov = v.fov;
    v.tilt = 0;
    v.pan = -90;
    return v;
}

}  // namespace

namespace {

ViewSetupResult BuildSetup(int32_t Ws, int32_t Hs, bool sizeGiven, int32_t Wout, int32_t Hout) {
    ViewSetupResult r;
    if (Hs <= 0) {
        r.error = "The inner circle reaches the outer circle: the panorama has no rows to view.";
        return r;
    }
    if (Hs < 2 || Ws < 4) {
        r.error = "The panorama (" + std::to_string(Ws) + "x" + std::to_string(Hs) +
                  ") is too small to give a view.";
        return r;
    }
    if (Ws > kMaxViewSourceWidth || Hs > kMaxViewSourceWidth) {
        r.error = "The panorama (" + std::to_string(Ws) + "x" + std::to_string(Hs) +
                  ") is too large for the view engine.";
        return r;
    }
    auto s = std::make_shared<ViewSetup>();
    s->Ws = Ws;
    s->Hs = Hs;
    s->degToRad = static_cast<float>(kPi / 180);
    s->keyStep = 15;
    s->k = static_cast<float>(Ws / (2 * kPi));
    if (sizeGiven) {
        s->Wout = Wout;
        s->Hout = Hout;
    } else {
        DerivedViewSize(Hs, s->Wout, s->Hout);
    }
    BuildViewSize(*s);
    BuildTables(*s);
    r.start = StartingView(*s);
    r.setup = std::move(s);
    r.ok = true;
    return r;
}

}  // namespace

ViewSetupResult InitViewEngine(int32_t Ws, int32_t Hs) {
    return BuildSetup(Ws, Hs, false, 0, 0);
}

ViewSetupResult InitViewEngine(int32_t Ws, int32_t Hs, int32_t Wout, int32_t Hout,
                               ViewSizeCap cap) {
    const int32_t maxW = cap == ViewSizeCap::File ? kMaxFileViewSide : kMaxViewWidth;
    const int32_t maxH = cap == ViewSizeCap::File ? kMaxFileViewSide : kMaxViewHeight;
    if (Wout < 1 || Hout < 1 || Wout > maxW || Hout > maxH) {
        ViewSetupResult r;
        r.error = "The view size " + std::to_string(Wout) + "x" + std::to_string(Hout) +
                  " is outside 1x1 .. " + std::to_string(maxW) + "x" + std::to_string(maxH) + ".";
        return r;
    }
    return BuildSetup(Ws, Hs, true, Wout, Hout);
}

}  // namespace hv
