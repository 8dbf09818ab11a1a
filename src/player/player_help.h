// The player's help window content and its About box.
#pragma once

#include <QString>

#include "ui/help_window.h"

class QWidget;

namespace hv::player {

// The seven instruction lines joined by a bare CR (no line break at the end).
QString PlayerInstructionText();

// Window, labels and legend of the player's help window.
hv::ui::HelpLayout PlayerHelpLayout();

// The modal About box over owner: product name, build label, icon.
void RunAboutBox(QWidget* owner);

inline constexpr const char* kBuildLabel = " Build 007.00";

}  // namespace hv::player
