#include "ui/pump_step.h"

#include <QCoreApplication>
#include <chrono>
#include <thread>

namespace hv::ui {

void PumpStep(int ms) {
    if (QCoreApplication::instance() != nullptr) QCoreApplication::processEvents();
    if (ms > 0) std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

}  // namespace hv::ui
