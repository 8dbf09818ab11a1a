// Helpers of the setup utility's tests: a temporary program folder, answered
// message boxes, and waits that keep the event loop running.
#pragma once

#include <QElapsedTimer>
#include <QMessageBox>
#include <QString>
#include <filesystem>
#include <fstream>
#include <functional>
#include <random>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "ui/message_box.h"
#include "ui/pump_step.h"

namespace hv::setup::test {

// A fresh folder under the system's temporary folder, removed afterwards.
class TempFolder {
  public:
    TempFolder() {
        std::random_device rd;
        path_ = std::filesystem::temp_directory_path() /
                ("hvsetup-test-" + std::to_string(rd()) + std::to_string(rd()));
        std::filesystem::create_directories(path_);
    }
    ~TempFolder() {
        std::error_code ec;
        std::filesystem::remove_all(path_, ec);
    }
    const std::filesystem::path& path() const { return path_; }

  private:
    std::filesystem::path path_;
};

inline std::string ReadAll(const std::filesystem::path& p) {
    std::ifstream in(p, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

inline void WriteAll(const std::filesystem::path& p, const std::string& text) {
    std::ofstream out(p, std::ios::binary);
    out << text;
}

// Every box shown while it lives is recorded and answered with `answer`.
struct RecordedBox {
    QMessageBox::Icon icon;
    QString caption, text;
};
class BoxRecorder {
  public:
    explicit BoxRecorder(QMessageBox::StandardButton answer = QMessageBox::Ok) {
        ui::SetMessageBoxHook([this, answer](QWidget*, QMessageBox::Icon icon, const QString& c,
                                             const QString& t, QMessageBox::StandardButtons) {
            boxes.push_back({icon, c, t});
            return answer;
        });
        ui::SetMessageBoxDetailHook([this](const QString& text, const QString& detail) {
            details.push_back({text, detail});
        });
    }
    ~BoxRecorder() {
        ui::SetMessageBoxHook({});
        ui::SetMessageBoxDetailHook({});
    }
    std::vector<RecordedBox> boxes;
    // (text, detailed text) of the boxes that had details.
    std::vector<std::pair<QString, QString>> details;
};

// Keeps the event loop running until pred() holds or ms have passed.
inline bool WaitFor(const std::function<bool()>& pred, int ms) {
    QElapsedTimer t;
    t.start();
    while (!pred()) {
        if (t.elapsed() > ms) return false;
        ui::PumpStep(5);
    }
    return true;
}

}  // namespace hv::setup::test
