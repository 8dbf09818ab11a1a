// Fitting the ring by hand with a real 16:9 video: drags of each kind,
// the keys from either window, undo / redo / revert, and typed values.
#include <gtest/gtest.h>

#include <QApplication>
#include <QDialog>
#include <QDialogButtonBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSlider>
#include <QSpinBox>
#include <QTest>
#include <QUndoStack>
#include <QWheelEvent>
#include <cmath>

#include "setup/cut_keypad.h"
#include "setup/overlay.h"
#include "setup/picture_view.h"
#include "setup/ring_fitter.h"
#include "setup/setup_main_window.h"
#include "setup/transform_window.h"
#include "setup_test_util.h"
#include "video/test_video_maker.h"

namespace hv::setup {
namespace {

using test::TempFolder;
using test::WaitFor;

constexpr int kW = 960, kH = 540;  // 16:9: h 338, t 131

class SetupFitting : public testing::Test {
  protected:
    static void SetUpTestSuite() {
        folder_ = new TempFolder;
        TestVideoOptions clip;
        clip.path = (folder_->path() / "offcentre.avi").string();
        clip.width = kW;
        clip.height = kH;
        clip.frames = 50;
        clip.audio = false;
        clip.geometry = {200, 60, 300, 420, 60, 0, 0};  // right of centre, high
        ASSERT_EQ(MakeTestVideo(clip), "");
        video_ = QString::fromStdString(clip.path);
    }
    static void TearDownTestSuite() {
        delete folder_;
        folder_ = nullptr;
    }

    // A window with the video open and paused (the pump keeps showing it).
    void Open() {
        paths_ = SetupPaths::ForFolder(dir_.path());
        w_ = std::make_unique<SetupMainWindow>(paths_, LoadStartupConfiguration(paths_));
        w_->show();
        w_->Transform()->show();
        w_->OpenChosenVideo(video_);
        ASSERT_TRUE(WaitFor(
            [&] { return w_->StreamShown() && w_->DoughnutPicture()->PictureCount() > 3; }, 20000));
        w_->Command(kCmdStop);
    }
    void TearDown() override {
        if (w_) w_->StopPreview();
        w_.reset();
    }

    DoughnutGeometry G() const { return w_->Record().geometry; }
    OverlayLayout Layout() const { return ComputeOverlay(G(), kW, kH); }
    PictureView* Picture() const { return w_->DoughnutPicture(); }
    RingFitter* Fitter() const { return w_->Fitter(); }

    void Drag(QPointF from, QPointF to) {
        QTest::mouseMove(Picture(), from.toPoint());
        QTest::mousePress(Picture(), Qt::LeftButton, {}, from.toPoint());
        for (int i = 1; i <= 4; ++i)
            QTest::mouseMove(Picture(), (from + (to - from) * i / 4.0).toPoint());
        QTest::mouseRelease(Picture(), Qt::LeftButton, {}, to.toPoint());
    }
    void Wheel(QPointF at, int notches) {
        QWheelEvent e(at, Picture()->mapToGlobal(at), QPoint(), QPoint(0, 120 * notches),
                      Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase, false);
        QApplication::sendEvent(Picture(), &e);
    }
    void ActivateTransform() {
        w_->Transform()->activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(w_->Transform()));
    }

    static TempFolder* folder_;
    static QString video_;
    TempFolder dir_;
    SetupPaths paths_;
    std::unique_ptr<SetupMainWindow> w_;
};
TempFolder* SetupFitting::folder_ = nullptr;
QString SetupFitting::video_;

TEST_F(SetupFitting, DragsOfEachKindChangeTheRecordAndThePicture) {
    ASSERT_NO_FATAL_FAILURE(Open());
    const DoughnutGeometry g0 = G();
    OverlayLayout o = Layout();
    ASSERT_TRUE(o.ring);
    const QPointF c = o.centre;
    const double mid = (o.innerRadius + o.outerRadius) / 2;

    // The pointer tells what a drag will take.
    QTest::mouseMove(Picture(), (c + QPointF(mid, 0)).toPoint());
    EXPECT_EQ(Picture()->cursor().shape(), Qt::SizeAllCursor);
    QTest::mouseMove(Picture(), (c + QPointF(o.outerRadius, 0)).toPoint());
    EXPECT_EQ(Picture()->cursor().shape(), Qt::SizeFDiagCursor);
    QTest::mouseMove(Picture(), (c - QPointF(o.innerRadius, 0)).toPoint());
    EXPECT_EQ(Picture()->cursor().shape(), Qt::SizeBDiagCursor);

    // Inside the ring: moves the cut area, x one unit per pixel, y 600 / h;
    // the magnifier shows the full-size frame meanwhile; one undo step.
    const int steps = Fitter()->UndoStack()->count();
    const QPointF from = c + QPointF(-mid, 0);
    QTest::mousePress(Picture(), Qt::LeftButton, {}, from.toPoint());
    QTest::mouseMove(Picture(), (from + QPointF(10, 5)).toPoint());
    EXPECT_TRUE(Fitter()->MagnifierShown());
    EXPECT_TRUE(WaitFor([&] { return Fitter()->MagnifierFrameSize() == QSize(kW, kH); }, 3000));
    QTest::mouseMove(Picture(), (from + QPointF(30, 15)).toPoint());
    QTest::mouseRelease(Picture(), Qt::LeftButton, {}, (from + QPointF(30, 15)).toPoint());
    EXPECT_FALSE(Fitter()->MagnifierShown());
    DoughnutGeometry g = G();
    EXPECT_EQ(g.left, g0.left + 30);
    EXPECT_EQ(g.top, g0.top + 27);  // round(15 * 600 / 338)
    EXPECT_EQ(g.width, g0.width);
    EXPECT_EQ(g.height, g0.height);
    EXPECT_EQ(g.innerRadius, g0.innerRadius);
    EXPECT_EQ(Fitter()->UndoStack()->count(), steps + 1) << "a drag is one step";

    // The red edge: the outer circle passes through the pointer, centre kept.
    o = Layout();
    const DoughnutGeometry g1 = G();
    Drag(o.centre + QPointF(o.outerRadius, 0), o.centre + QPointF(o.outerRadius + 20, 0));
    g = G();
    const double wanted = 2.0 * (o.outerRadius + 20) * 600 / o.h;
    EXPECT_NEAR(g.height, wanted, 2.5);
    EXPECT_EQ(2 * g.left + g.width, 2 * g1.left + g1.width);
    EXPECT_EQ(2 * g.top + g.height, 2 * g1.top + g1.height);
    EXPECT_EQ(g.width - g.height, g1.width - g1.height);
    EXPECT_EQ(g.innerRadius, g1.innerRadius);
    o = Layout();
    EXPECT_NEAR(o.outerRadius, g1.height * 338.0 / 1200 + 20, 1.5);

    // The yellow edge: the inner radius follows the pointer.
    const DoughnutGeometry g2 = G();
    Drag(o.centre + QPointF(0, -o.innerRadius * o.sy / o.sx),
         o.centre + QPointF(0, -(o.innerRadius + 12) * o.sy / o.sx));
    g = G();
    EXPECT_NEAR(g.innerRadius, g2.innerRadius + 12, 1);
    EXPECT_EQ(g.height, g2.height);
    EXPECT_EQ(g.left, g2.left);

    // The wheel over the ring grows the outer circle by a keypad step, over
    // the inner disc the inner circle by one.
    o = Layout();
    const DoughnutGeometry g3 = G();
    Wheel(o.centre + QPointF(mid, 0), 2);
    EXPECT_EQ(G().height, g3.height + 8);
    EXPECT_EQ(G().left, g3.left - 4);
    Wheel(o.centre, -1);
    EXPECT_EQ(G().innerRadius, g3.innerRadius - 1);
    EXPECT_EQ(Fitter()->UndoStack()->count(), steps + 5);  // a wheel event is one step

    // The next pumped frame draws the red circle at the new place.
    o = Layout();
    const QPoint redLeft = (o.centre - QPointF(o.outerRadius, 0)).toPoint();
    EXPECT_TRUE(WaitFor(
        [&] {
            const QImage img = Picture()->Picture();
            for (int dy = -3; dy <= 3; ++dy)
                for (int dx = -1; dx <= 1; ++dx)
                    if ((img.pixel(redLeft.x() + dx, redLeft.y() + dy) & 0xFFFFFF) == 0xFF0000)
                        return true;
            return false;
        },
        3000));
}

TEST_F(SetupFitting, KeysWorkFromEitherWindow) {
    ASSERT_NO_FATAL_FAILURE(Open());
    ActivateTransform();
    QWidget* t = w_->Transform();
    const DoughnutGeometry g0 = G();
    QTest::keyClick(t, Qt::Key_Left);
    EXPECT_EQ(G().left, g0.left - 2);
    QTest::keyClick(t, Qt::Key_Down, Qt::ShiftModifier);
    EXPECT_EQ(G().top, g0.top + 10);
    QTest::keyClick(t, Qt::Key_Plus);
    EXPECT_EQ(G().height, g0.height + 4);
    EXPECT_EQ(G().left, g0.left - 4);
    QTest::keyClick(t, Qt::Key_Minus, Qt::ShiftModifier);
    EXPECT_EQ(G().height, g0.height - 16);
    QTest::keyClick(t, Qt::Key_BracketRight);
    EXPECT_EQ(G().innerRadius, g0.innerRadius + 1);
    QTest::keyClick(t, Qt::Key_BracketLeft, Qt::ShiftModifier);
    EXPECT_EQ(G().innerRadius, g0.innerRadius - 4);
    EXPECT_EQ(QString::fromStdString(std::to_string(G().innerRadius)),
              w_->centralWidget()->findChild<QLabel*>(QStringLiteral("ctl322"))->text());

    // The accelerators answer there too: Ctrl+Z takes back the last step,
    // Ctrl+S saves.
    QTest::keyClick(t, Qt::Key_Z, Qt::ControlModifier);
    EXPECT_EQ(G().innerRadius, g0.innerRadius + 1);
    QTest::keyClick(t, Qt::Key_S, Qt::ControlModifier);
    EXPECT_TRUE(std::filesystem::exists(paths_.configFile));

    // After the seam slider was used, the arrows still move the cut area and
    // leave the slider alone.
    w_->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(w_.get()));
    auto* slider = w_->centralWidget()->findChild<QSlider*>(QStringLiteral("ctl680"));
    QTest::mouseClick(slider, Qt::LeftButton, {}, QPoint(300, 9));
    const int seam = slider->value();
    const int left = G().left;
    QWidget* focus = QApplication::focusWidget() ? QApplication::focusWidget() : w_.get();
    QTest::keyClick(focus, Qt::Key_Right);
    EXPECT_EQ(slider->value(), seam);
    EXPECT_EQ(G().left, left + 2);
}

TEST_F(SetupFitting, UndoRedoAndRevertToSaved) {
    ASSERT_NO_FATAL_FAILURE(Open());
    const DoughnutGeometry saved = G();
    w_->Keypad()->Key(kKeyGrowOuter)->click();
    const DoughnutGeometry afterKeypad = G();
    const OverlayLayout o = Layout();
    Drag(o.centre + QPointF((o.innerRadius + o.outerRadius) / 2, 0),
         o.centre + QPointF((o.innerRadius + o.outerRadius) / 2 - 40, 0));
    const DoughnutGeometry afterDrag = G();
    EXPECT_EQ(afterDrag.left, afterKeypad.left - 40);

    Fitter()->Undo();
    EXPECT_EQ(G(), afterKeypad);
    Fitter()->Undo();
    EXPECT_EQ(G(), saved) << "the keypad step is undone too";
    Fitter()->Redo();
    Fitter()->Redo();
    EXPECT_EQ(G(), afterDrag);

    // Revert: the values the record was read with, as one undoable step.
    Fitter()->RevertToSaved();
    EXPECT_EQ(G(), saved);
    Fitter()->Undo();
    EXPECT_EQ(G(), afterDrag);

    // After a save, revert goes back to what was saved; the flips stay.
    w_->Command(kCmdSave);
    w_->Keypad()->Key(kKeyRight)->click();
    w_->Command(kCmdFlipH);
    Fitter()->RevertToSaved();
    EXPECT_EQ(G().left, afterDrag.left);
    EXPECT_EQ(G().flipH, 1);
    EXPECT_TRUE(WaitFor([&] { return Picture()->PictureCount() > 0; }, 1000));
}

TEST_F(SetupFitting, TypedValuesApplyLiveAndBadInputIsRefused) {
    ASSERT_NO_FATAL_FAILURE(Open());
    const DoughnutGeometry g0 = G();
    QDialog* d = Fitter()->OpenGeometryDialog();
    ASSERT_NE(d, nullptr);
    auto* left = d->findChild<QSpinBox*>(QStringLiteral("fitLeft"));
    auto* inner = d->findChild<QSpinBox*>(QStringLiteral("fitInner"));
    auto* problem = d->findChild<QLabel*>(QStringLiteral("fitProblem"));
    ASSERT_TRUE(left && inner && problem);
    QLineEdit* edit = left->findChild<QLineEdit*>();
    ASSERT_NE(edit, nullptr);

    // Letters and out-of-range numbers are refused by the field.
    edit->selectAll();
    QTest::keyClicks(edit, QStringLiteral("abc"));
    EXPECT_EQ(G().left, g0.left);
    edit->selectAll();
    QTest::keyClicks(edit, QStringLiteral("99999999"));
    EXPECT_LE(left->value(), kFitPositionMax);
    EXPECT_LE(G().left, kFitPositionMax);

    // A number applies at once; the fitting keys (here '-') type into the
    // field while the dialog is up.
    edit->selectAll();
    QTest::keyClicks(edit, QStringLiteral("-50"));
    EXPECT_EQ(G().left, -50);
    EXPECT_EQ(G().height, g0.height);
    edit->selectAll();
    QTest::keyClicks(edit, QStringLiteral("140"));
    EXPECT_EQ(G().left, 140);
    // A ring that cannot be unwrapped says why, and nothing breaks.
    inner->setValue(400);
    EXPECT_EQ(G().innerRadius, 400);
    EXPECT_FALSE(problem->text().isEmpty());
    EXPECT_TRUE(WaitFor([&] { return Picture()->PictureCount() > 0; }, 500));
    inner->setValue(50);
    EXPECT_TRUE(problem->text().isEmpty()) << problem->text().toStdString();

    // Cancel puts everything back.
    d->reject();
    EXPECT_EQ(G(), g0);

    // OK keeps the values as one undo step.
    d = Fitter()->OpenGeometryDialog();
    d->findChild<QSpinBox*>(QStringLiteral("fitTop"))->setValue(70);
    d->findChild<QSpinBox*>(QStringLiteral("fitHeight"))->setValue(300);
    d->accept();
    EXPECT_EQ(G().top, 70);
    EXPECT_EQ(G().height, 300);
    Fitter()->Undo();
    EXPECT_EQ(G(), g0);
}

}  // namespace
}  // namespace hv::setup
