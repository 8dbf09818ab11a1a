// PumpStep: one pass of a wait that keeps the windows live. Handles whatever
// events are pending for the calling thread, then sleeps ms milliseconds.
// Every wait of the GUI thread on a worker is a loop of these passes.
#pragma once

namespace hv::ui {

void PumpStep(int ms);

}  // namespace hv::ui
