// The setup utility's help window (F1) and About window. Both are modal and
// owned by the main window. The help window is the shared hv_ui HelpWindow
// filled with the setup utility's texts and keypad legend.
#pragma once

#include <QDialog>
#include <QString>
#include <functional>

#include "ui/help_window.h"

namespace hv::setup {

// The instruction text of label 101: six lines joined by a carriage return
// alone, no line break after the last.
QString HelpInstructionText();

// Window, labels and legend of SetupHelpWindow.
ui::HelpLayout SetupHelpLayout();

// Shows the help window modally; playClick runs for "Exit Help".
void SetupHelpWindow(QWidget* owner, std::function<void()> playClick);

class SetupAboutWindow : public QDialog {
    Q_OBJECT
  public:
    explicit SetupAboutWindow(QWidget* owner);
};

}  // namespace hv::setup
