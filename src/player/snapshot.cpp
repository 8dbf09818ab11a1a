#include "player/snapshot.h"

#include <QDialog>
#include <QDialogButtonBox>
#include <QFileInfo>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QSpinBox>
#include <algorithm>
#include <cstring>
#include <thread>

#include "unwrap/view_buffer.h"
#include "unwrap/view_setup.h"

namespace hv::player {

QSize AskSnapshotSize(QWidget* owner, QSize proposed) {
    QDialog dialog(owner);
    dialog.setWindowTitle(QStringLiteral("Save snapshot at size"));
    auto* width = new QSpinBox(&dialog);
    auto* height = new QSpinBox(&dialog);
    width->setRange(16, kMaxViewWidth);
    height->setRange(16, kMaxViewHeight);
    width->setValue(std::clamp(proposed.width(), 16, kMaxViewWidth));
    height->setValue(std::clamp(proposed.height(), 16, kMaxViewHeight));
    auto* row = new QHBoxLayout;
    row->addWidget(width);
    row->addWidget(new QLabel(QStringLiteral("x"), &dialog));
    row->addWidget(height);
    auto* form = new QFormLayout(&dialog);
    form->addRow(QStringLiteral("Size"), row);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, &dialog);
    QObject::connect(buttons, &QDialogButtonBox::accepted, &dialog, &QDialog::accept);
    QObject::connect(buttons, &QDialogButtonBox::rejected, &dialog, &QDialog::reject);
    form->addRow(buttons);
    if (dialog.exec() != QDialog::Accepted) return QSize();
    return QSize(width->value(), height->value());
}

QImage RenderSnapshot(const UnwrapEngine& engine, const ViewState& view,
                      const RenderOptions& options, QSize size, std::string* error) {
    const auto fail = [error](const char* message) {
        if (error) *error = message;
        return QImage();
    };
    PanoramaView panorama = engine.AcquireReady();
    if (!panorama) return fail("there is no picture to save yet");
    const ViewSetupResult setup =
        size.isEmpty() ? InitViewEngine(panorama.Ws(), panorama.Hs())
                       : InitViewEngine(panorama.Ws(), panorama.Hs(), size.width(), size.height());
    if (!setup.ok) {
        if (error) *error = setup.error;
        return QImage();
    }
    const RingGeometry& ring = panorama.Geometry();
    const ViewSource source{panorama.ViewSource(), panorama.Ws(), panorama.Hs(),
                            ring.Hp + kPanoramaSpareRows - ring.ViewSourceRow(panorama.Mode())};
    ViewRenderer renderer(setup.setup);
    renderer.SetThreads(static_cast<int32_t>(std::thread::hardware_concurrency()));
    ViewBuffer buffer;
    buffer.Prepare(setup.setup->Wout, setup.setup->Hout);
    // A still view: the moving renderer of the Mixed quality is never used.
    if (!renderer.Render(source, view, false, options, buffer)) {
        return fail("this view cannot be rendered (field of view too wide for the panorama)");
    }
    panorama.Reset();

    const int w = setup.setup->Wout, h = setup.setup->Hout;
    QImage image(w, h, QImage::Format_RGB32);
    if (image.isNull()) return fail("the picture is too large");
    const auto* rows = reinterpret_cast<const uint8_t*>(buffer.data());
    for (int y = 0; y < h; ++y) {
        // Bottom-up in memory; the fourth byte of a pixel means nothing.
        const uint8_t* row = rows + size_t(h - 1 - y) * size_t(w) * 4;
        auto* dst = reinterpret_cast<uint32_t*>(image.scanLine(y));
        std::memcpy(dst, row, size_t(w) * 4);
        for (int x = 0; x < w; ++x) dst[x] |= 0xff000000u;
    }
    return image;
}

QString SnapshotFileName(const QString& videoFile, int64_t position) {
    const int64_t ms = position < 0 ? 0 : position / 10000;
    const QString stem =
        videoFile.isEmpty() ? QStringLiteral("snapshot") : QFileInfo(videoFile).completeBaseName();
    return QStringLiteral("%1-%2m%3.%4s.png")
        .arg(stem)
        .arg(ms / 60000, 2, 10, QLatin1Char('0'))
        .arg(ms / 1000 % 60, 2, 10, QLatin1Char('0'))
        .arg(ms % 1000, 3, 10, QLatin1Char('0'));
}

}  // namespace hv::player
