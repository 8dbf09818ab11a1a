#include "setup/preview_renderer.h"

#include <QPainter>

#include "setup/overlay.h"

namespace hv::setup {
namespace {

// A geometry the preview cannot unwrap leaves the strip empty; the reason
// stands in its place, under the caption, so the user knows what to change.
void DrawRefusal(QImage& preview, const std::string& reason) {
    QPainter p(&preview);
    p.setPen(Qt::white);
    const QString text = QStringLiteral("The preview cannot be drawn with this geometry:\n%1")
                             .arg(QString::fromStdString(reason));
    p.drawText(QRect(10, 40, preview.width() - 20, preview.height() - 50),
               Qt::AlignLeft | Qt::AlignTop | Qt::TextWordWrap, text);
}

}  // namespace

void PreviewRenderer::Reset() {
    cached_ = false;
}

void PreviewRenderer::UpdateGeometry(const GeometrySnapshot& snapshot, int32_t frameW,
                                     int32_t frameH) {
    // Everything the mapping depends on is compared, not only left, top and
    // the inner radius: a change of size, seam rotation or flips shows from
    // the next frame on, whatever order the values were changed in.
    if (cached_ && snapshot == cachedSnapshot_ && frameW == cachedW_ && frameH == cachedH_) return;
    cached_ = true;
    cachedSnapshot_ = snapshot;
    cachedW_ = frameW;
    cachedH_ = frameH;
    ++geometryBuilds_;

    const DoughnutGeometry& g = snapshot.geometry;
    const RingGeometryResult r = BuildPreviewGeometry(g, snapshot.shiftRect, frameW, frameH);
    ringOk_ = r.ok;
    ringError_ = r.ok ? std::string() : r.error;
    if (ringOk_) {
        unwrapper_.SetMapping(r.ring, FlipModeOf(g.flipH, g.flipV));
    } else {
        unwrapper_ = PreviewUnwrapper();
        strip_ = PreviewImage();
    }
}

SetupPictures PreviewRenderer::Render(const GeometrySnapshot& snapshot, const FrameBuffer& frame) {
    SetupPictures out;
    const bool haveFrame =
        frame.width > 0 && frame.height > 0 &&
        frame.pixels.size() >= static_cast<size_t>(frame.width) * (frame.height + 1);
    if (!haveFrame) {
        out.doughnut = DrawDoughnutPicture(nullptr, 0, 0, snapshot.geometry);
        out.preview = DrawPreviewPicture({}, 0, 0);
        return out;
    }
    UpdateGeometry(snapshot, frame.width, frame.height);
    QImage shown;
    if (ringOk_ && unwrapper_.Unwrap(frame, strip_)) shown = StripForDisplay(strip_);
    const RingGeometry& ring = unwrapper_.Geometry();
    out.preview = DrawPreviewPicture(shown, ring.Wp, ring.Hp);
    if (!ringOk_) DrawRefusal(out.preview, ringError_);
    out.doughnut = DrawDoughnutPicture(frame.data(), frame.width, frame.height, snapshot.geometry);
    return out;
}

}  // namespace hv::setup
