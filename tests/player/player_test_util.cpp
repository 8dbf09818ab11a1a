#include "player_test_util.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QMenuBar>
#include <QThread>
#include <atomic>
#include <random>

#include "ui/message_box.h"

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

}  // namespace hv::player::test
