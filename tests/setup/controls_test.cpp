// How the controls look: the flip boxes' ticks can be seen, texts are not
// clipped in the font in use, and a geometry the preview cannot unwrap says
// why instead of leaving the preview blank.
#include <gtest/gtest.h>

#include <QCheckBox>
#include <QLabel>
#include <algorithm>

#include "setup/preview_renderer.h"
#include "setup/setup_help_window.h"
#include "setup/setup_main_window.h"
#include "setup_test_util.h"

namespace hv::setup {
namespace {

int Luminance(QRgb c) {
    return (qRed(c) * 299 + qGreen(c) * 587 + qBlue(c) * 114) / 1000;
}

TEST(SetupControls, FlipTicksStandOutFromTheirBoxes) {
    test::TempFolder dir;
    SetupMainWindow w(SetupPaths::ForFolder(dir.path()), SetupStartupDefaults(""));
    w.show();
    for (const char* name : {"ctl805", "ctl806"}) {
        auto* box = w.centralWidget()->findChild<QCheckBox*>(QString::fromLatin1(name));
        ASSERT_NE(box, nullptr) << name;
        box->setChecked(false);
        const QImage off = box->grab().toImage();
        box->setChecked(true);
        const QImage on = box->grab().toImage();
        ASSERT_EQ(on.size(), off.size());
        // The tick is what checking changes; its darkest pixel must differ
        // clearly from the white box it is drawn on.
        int darkest = 255, changed = 0;
        for (int y = 0; y < on.height(); ++y)
            for (int x = 0; x < on.width(); ++x)
                if (on.pixel(x, y) != off.pixel(x, y)) {
                    ++changed;
                    darkest = std::min(darkest, Luminance(on.pixel(x, y)));
                }
        EXPECT_GT(changed, 4) << name << ": checking draws a tick";
        EXPECT_LT(darkest, 128) << name << ": the tick is too pale to see";
    }
}

TEST(SetupControls, TextsFitTheirControls) {
    test::TempFolder dir;
    SetupMainWindow w(SetupPaths::ForFolder(dir.path()), SetupStartupDefaults(""));
    QWidget* c = w.centralWidget();
    for (const char* name : {"ctl204", "ctl205"}) {
        auto* l = c->findChild<QLabel*>(QString::fromLatin1(name));
        ASSERT_NE(l, nullptr) << name;
        EXPECT_GE(l->contentsRect().width(), l->fontMetrics().horizontalAdvance(l->text()))
            << name << " \"" << l->text().toStdString() << "\" is clipped";
    }
    // The value fields stay right of their captions and before the buttons.
    auto* caption = c->findChild<QLabel*>(QStringLiteral("ctl205"));
    auto* value = c->findChild<QLabel*>(QStringLiteral("ctl305"));
    EXPECT_GT(value->x(), caption->geometry().right());
    EXPECT_LE(value->geometry().right(), 781);
    EXPECT_GE(value->width(), 60) << "room for \"25.00 FPS\"";
    for (const char* name : {"ctl805", "ctl806"}) {
        auto* box = c->findChild<QCheckBox*>(QString::fromLatin1(name));
        ASSERT_NE(box, nullptr) << name;
        EXPECT_GE(box->width(), box->sizeHint().width())
            << name << " \"" << box->text().toStdString() << "\" is clipped";
    }

    SetupAboutWindow about(&w);
    auto* version = about.findChild<QLabel*>(QStringLiteral("ctlVersion"));
    ASSERT_NE(version, nullptr);
    EXPECT_EQ(version->text(), QStringLiteral(" Build 007.00"));
    const QFontMetrics fm(version->font());
    EXPECT_GE(version->width(), fm.horizontalAdvance(version->text()));
    EXPECT_GE(version->height(), fm.height());
    EXPECT_TRUE(about.rect().contains(version->geometry())) << "inside the About window";
}

TEST(SetupControls, ImpossibleGeometryShowsTheReasonInThePreview) {
    FrameBuffer frame;
    frame.Allocate(640, 480);
    for (auto& p : frame.pixels) p = 0xFF808080u;
    GeometrySnapshot s;
    s.geometry.innerRadius = 200;  // RSIZE_1 200: the inner circle swallows the ring
    PreviewRenderer renderer;
    const SetupPictures pics = renderer.Render(s, frame);
    ASSERT_FALSE(renderer.RingUsable());
    EXPECT_FALSE(renderer.RingError().empty());
    // Text below the caption line, where the strip would be.
    int light = 0;
    for (int y = 36; y < pics.preview.height(); ++y)
        for (int x = 0; x < pics.preview.width(); ++x)
            if (Luminance(pics.preview.pixel(x, y)) > 200) ++light;
    EXPECT_GT(light, 50) << "the reason is written into the preview";

    // A usable geometry writes nothing there but the strip.
    s.geometry = kStartupGeometry;
    renderer.Render(s, frame);
    EXPECT_TRUE(renderer.RingUsable());
    EXPECT_TRUE(renderer.RingError().empty());
}

}  // namespace
}  // namespace hv::setup
