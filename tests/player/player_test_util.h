// Shared pieces of the player's tests: a player in a temporary program
// folder, message boxes answered by the test, and waits that keep Qt live.
#pragma once

#include <QMessageBox>
#include <QRect>
#include <QString>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "player/control_row.h"
#include "player/main_window.h"

namespace hv::player::test {

struct ShownBox {
    QMessageBox::Icon icon;
    QString caption;
    QString text;
};

// A temporary program folder (removed at the end) with a player window in
// it. Message boxes are recorded and answered with `answer`.
class PlayerFixture {
  public:
    PlayerFixture();
    ~PlayerFixture();

    MainWindow& Window() { return *window_; }
    const std::filesystem::path& Folder() const { return dir_; }
    // Makes a fresh window (after files in the folder have changed).
    void Recreate();
    void DestroyWindow();

    // File name of the setup program beside the player (used by Recreate).
    std::string setupName = "hvconfig";

    std::vector<ShownBox> boxes;
    QMessageBox::StandardButton answer = QMessageBox::Ok;

  private:
    std::filesystem::path dir_;
    std::unique_ptr<MainWindow> window_;
};

// Processes events until pred() is true or timeoutMs has passed.
bool WaitFor(const std::function<bool()>& pred, int timeoutMs);
// Processes events for ms milliseconds.
void Pump(int ms);

// Height of the window's menu bar.
int MenuHeight(MainWindow& w);

// Where `part` (a control of the window) lies in the window's client area.
QRect InClient(MainWindow& w, QWidget* part);

// A 480 x 360 doughnut video of `frames` pictures at 25 fps with the
// fallback geometry, made as `name` in a folder of this process that is
// removed when the tests end. Failures are reported as test failures.
std::filesystem::path MakeDoughnutVideo(const std::string& name, int frames);

}  // namespace hv::player::test
