#include "player_test_util.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QMenuBar>
#include <QThread>
#include <atomic>
#include <random>
#include <system_error>

#include "ui/message_box.h"
#include "video/test_video_maker.h"

namespace hv::player::test {

namespace {
std::filesystem::path MakeTempFolder() {
    static std::atomic<int> counter{0};
    std::random_device rd;
    auto dir = std::filesystem::temp_directory_path() /
               ("hvplayer-test-" + std::to_string(rd()) + "-" + std::to_string(counter++));
    std::filesystem::create_directories(dir);
    return dir;
}
}  // namespace

PlayerFixture::PlayerFixture() : dir_(MakeTempFolder()) {
    hv::ui::SetMessageBoxHook([this](QWidget*, QMessageBox::Icon icon, const QString& caption,
                                     const QString& text, QMessageBox::StandardButtons) {
        boxes.push_back({icon, caption, text});
        return answer;
    });
    Recreate();
}

PlayerFixture::~PlayerFixture() {
    DestroyWindow();
    hv::ui::SetMessageBoxHook({});
    std::error_code ec;
    std::filesystem::remove_all(dir_, ec);
}

void PlayerFixture::DestroyWindow() {
    window_.reset();
    QCoreApplication::processEvents();
}

void PlayerFixture::Recreate() {
    DestroyWindow();
    PlayerPaths paths = PlayerPaths::InFolder(dir_, "hvplayer");
    paths.setupProgram = dir_ / setupName;
    window_ = std::make_unique<MainWindow>(paths);
}

bool WaitFor(const std::function<bool()>& pred, int timeoutMs) {
    QElapsedTimer t;
    t.start();
    while (!pred()) {
        if (t.elapsed() > timeoutMs) return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        QThread::msleep(5);
    }
    return true;
}

void Pump(int ms) {
    WaitFor([] { return false; }, ms);
}

int MenuHeight(MainWindow& w) {
    return w.menuBar()->height();
}

QRect InClient(MainWindow& w, QWidget* part) {
    return QRect(part->mapTo(w.centralWidget(), QPoint(0, 0)), part->size());
}

std::filesystem::path MakeDoughnutVideo(const std::string& name, int frames) {
    static const std::filesystem::path folder = [] {
        const std::filesystem::path f = std::filesystem::temp_directory_path() /
                                        ("hvplayer-videos-" + std::to_string(::getpid()));
        class RemoveFolder : public ::testing::Environment {
          public:
            explicit RemoveFolder(std::filesystem::path f) : f_(std::move(f)) {}
            void TearDown() override {
                std::error_code ec;
                std::filesystem::remove_all(f_, ec);
            }

          private:
            std::filesystem::path f_;
        };
        ::testing::AddGlobalTestEnvironment(new RemoveFolder(f));
        std::filesystem::create_directories(f);
        return f;
    }();
    TestVideoOptions clip;
    clip.path = (folder / name).string();
    clip.width = 480;
    clip.height = 360;
    clip.frames = frames;
    clip.geometry = DoughnutGeometry{};
    EXPECT_EQ(MakeTestVideo(clip), "");
    return clip.path;
}

}  // namespace hv::player::test
