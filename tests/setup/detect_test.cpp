// "Detect circles" on real videos: an off-centre 16:9 ring is fitted as one
// undo step, a video without a ring leaves the geometry alone and says why,
// and a job cancelled from its dialog, by a new video or by the window
// going away ends cleanly.
#include <gtest/gtest.h>

#include <QAction>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QProgressDialog>
#include <QPushButton>
#include <QTest>
#include <QUndoStack>
#include <cstdlib>

#include "detect/ring_config.h"
#include "setup/detect_command.h"
#include "setup/ring_fitter.h"
#include "setup/ring_fitting.h"
#include "setup/setup_main_window.h"
#include "setup/transform_window.h"
#include "setup_test_util.h"
#include "video/test_video_maker.h"
#include "video/video_writer.h"

namespace hv::setup {
namespace {

using test::TempFolder;
using test::WaitFor;

constexpr int kW = 1280, kH = 720;
const DoughnutGeometry kMade = {220, 50, 320, 440, 70, 0, 0};  // right of centre, high

class SetupDetect : public testing::Test {
  protected:
    static void SetUpTestSuite() {
        folder_ = new TempFolder;
        TestVideoOptions clip;
        clip.path = (folder_->path() / "offcentre.avi").string();
        clip.width = kW;
        clip.height = kH;
        clip.frames = 16;
        clip.audio = false;
        clip.geometry = kMade;
        ASSERT_EQ(MakeTestVideo(clip), "");
        ring_ = QString::fromStdString(clip.path);

        // A plain scene without a ring: a soft grey gradient edge to edge.
        VideoWriterSettings s;
        s.path = (folder_->path() / "plain.avi").string();
        s.width = 640;
        s.height = 360;
        std::string error;
        std::unique_ptr<VideoWriter> writer = VideoWriter::Open(s, &error);
        ASSERT_TRUE(writer) << error;
        FrameBuffer fb;
        ASSERT_TRUE(fb.Allocate(s.width, s.height));
        for (int f = 0; f < 16; ++f) {
            for (int y = 0; y < s.height; ++y) {
                for (int x = 0; x < s.width; ++x) {
                    const uint32_t v = 90 + (x + y + 4 * f) % 80;
                    fb.pixels[size_t(y) * s.width + x] = (v << 16) | (v << 8) | v;
                }
            }
            ASSERT_TRUE(writer->Write(fb, &error)) << error;
        }
        ASSERT_TRUE(writer->Finish(&error)) << error;
        plain_ = QString::fromStdString(s.path);
    }
    static void TearDownTestSuite() {
        delete folder_;
        folder_ = nullptr;
    }

    void Open(const QString& video) {
        paths_ = SetupPaths::ForFolder(dir_.path());
        w_ = std::make_unique<SetupMainWindow>(paths_, LoadStartupConfiguration(paths_));
        w_->show();
        EXPECT_FALSE(Detector()->Button()->isEnabled());  // no stream yet
        EXPECT_FALSE(Detector()->Action()->isEnabled());
        w_->OpenChosenVideo(video);
        ASSERT_TRUE(WaitFor(
            [&] {
                return Detector()->Button()->isEnabled() &&
                       w_->DoughnutPicture()->PictureCount() > 2;
            },
            20000));
        w_->Command(kCmdStop);
    }
    void TearDown() override {
        if (w_) w_->StopPreview();
        w_.reset();
    }

    DoughnutGeometry G() const { return w_->Record().geometry; }
    DetectCommand* Detector() const { return w_->Detector(); }
    bool WaitDone() {
        return WaitFor([&] { return !Detector()->Running(); }, 60000);
    }

    static TempFolder* folder_;
    static QString ring_, plain_;
    TempFolder dir_;
    SetupPaths paths_;
    std::unique_ptr<SetupMainWindow> w_;
};
TempFolder* SetupDetect::folder_ = nullptr;
QString SetupDetect::ring_;
QString SetupDetect::plain_;

TEST_F(SetupDetect, FitsTheRingAsOneUndoStep) {
    ASSERT_NO_FATAL_FAILURE(Open(ring_));
    // Where the command lives: the Edit menu with Ctrl+D, and the button.
    QAction* action = Detector()->Action();
    EXPECT_EQ(action->shortcut(), QKeySequence(Qt::CTRL | Qt::Key_D));
    bool inEdit = false;
    for (QAction* m : w_->menuBar()->actions()) {
        if (m->menu() && m->text() == QStringLiteral("&Edit"))
            inEdit = m->menu()->actions().contains(action);
    }
    EXPECT_TRUE(inEdit);

    // Flips are the user's: set one and see it survive.
    w_->Command(kCmdFlipH);
    const DoughnutGeometry before = G();
    ASSERT_FALSE(SameFittedValues(before, kMade));
    const int steps = w_->Fitter()->UndoStack()->count();

    QTest::mouseClick(Detector()->Button(), Qt::LeftButton);
    ASSERT_TRUE(Detector()->Running());
    EXPECT_FALSE(Detector()->Button()->isEnabled());  // one job at a time
    ASSERT_NE(Detector()->Progress(), nullptr);
    EXPECT_TRUE(Detector()->Progress()->isVisible());
    ASSERT_TRUE(WaitDone());
    EXPECT_EQ(Detector()->Progress(), nullptr);
    EXPECT_TRUE(Detector()->Button()->isEnabled());

    ASSERT_TRUE(Detector()->LastApplied()) << Detector()->LastMessage().toStdString();
    EXPECT_TRUE(Detector()->LastMessage().contains(QStringLiteral("confidence")));
    const QLabel* note = w_->findChild<QLabel*>(QStringLiteral("detectNote"));
    ASSERT_NE(note, nullptr);
    EXPECT_TRUE(note->isVisible());

    // The fitted values unwrap to the ring the video was made with.
    const DoughnutGeometry after = G();
    const MappedRing truth = MapGeometry(kMade, kW, kH);
    const MappedRing found = MapGeometry(after, kW, kH);
    ASSERT_TRUE(truth.ok && found.ok);
    EXPECT_LE(std::abs(found.cx - truth.cx), 2);
    EXPECT_LE(std::abs(found.cy - truth.cy), 2);
    EXPECT_LE(std::abs(found.D - truth.D), 4);
    EXPECT_LE(std::abs(found.inner - truth.inner), 4);
    EXPECT_EQ(after.flipH, before.flipH);
    EXPECT_EQ(after.flipV, before.flipV);

    // One step, and one undo restores the previous geometry.
    EXPECT_EQ(w_->Fitter()->UndoStack()->count(), steps + 1);
    w_->Fitter()->Undo();
    EXPECT_TRUE(SameFittedValues(G(), before));
    EXPECT_EQ(G().flipH, before.flipH);
    w_->Fitter()->Redo();
    EXPECT_TRUE(SameFittedValues(G(), after));
}

TEST_F(SetupDetect, APlainVideoLeavesTheGeometryAndSaysWhy) {
    ASSERT_NO_FATAL_FAILURE(Open(plain_));
    const DoughnutGeometry before = G();
    const int steps = w_->Fitter()->UndoStack()->count();
    Detector()->Action()->trigger();
    ASSERT_TRUE(WaitDone());
    EXPECT_FALSE(Detector()->LastApplied());
    EXPECT_TRUE(Detector()->LastMessage().contains(QStringLiteral("no ring")))
        << Detector()->LastMessage().toStdString();
    EXPECT_TRUE(Detector()->LastMessage().contains(QStringLiteral("unchanged")));
    EXPECT_EQ(G(), before);
    EXPECT_EQ(w_->Fitter()->UndoStack()->count(), steps);
}

TEST_F(SetupDetect, CancelNewVideoAndClosingEndTheJobCleanly) {
    ASSERT_NO_FATAL_FAILURE(Open(ring_));
    const DoughnutGeometry before = G();

    // The dialog's Cancel: nothing changes, the command is ready again.
    Detector()->Start();
    ASSERT_TRUE(Detector()->Running());
    QProgressDialog* progress = Detector()->Progress();
    ASSERT_NE(progress, nullptr);
    QPushButton* cancel = progress->findChild<QPushButton*>();
    ASSERT_NE(cancel, nullptr);
    QTest::mouseClick(cancel, Qt::LeftButton);
    EXPECT_FALSE(Detector()->Running());
    EXPECT_TRUE(Detector()->LastMessage().contains(QStringLiteral("cancelled")));
    // The cancelled job's late answer is dropped.
    test::WaitFor([] { return false; }, 300);
    EXPECT_EQ(G(), before);
    EXPECT_TRUE(Detector()->Button()->isEnabled());

    // Loading another video cancels the running job.
    Detector()->Start();
    ASSERT_TRUE(Detector()->Running());
    w_->StopPreview();
    w_->OpenChosenVideo(ring_);
    EXPECT_FALSE(Detector()->Running());
    ASSERT_TRUE(WaitFor([&] { return Detector()->Button()->isEnabled(); }, 20000));
    EXPECT_EQ(G(), before);

    // The window going away mid-job (the sanitizer builds watch this).
    Detector()->Start();
    ASSERT_TRUE(Detector()->Running());
    w_->StopPreview();
    w_.reset();
}

}  // namespace
}  // namespace hv::setup
