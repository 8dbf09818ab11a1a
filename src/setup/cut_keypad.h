// The cut-control keypad: nine small picture buttons in a 3 x 3 pad that move
// the cut area and grow or shrink the two circles. The pad only reports which
// key was clicked; the main window decides whether the step applies.
#pragma once

#include <QPushButton>
#include <QWidget>
#include <array>

namespace hv::setup {

struct KeypadKey {
    int id;               // command identifier (3900...)
    const char* bitmap;   // resource name, e.g. "LUP1"
    const char* tooltip;  // exact text, leading and trailing spaces included
    int row, column;
};

// In pad order: top row left to right, then middle, then bottom.
const std::array<KeypadKey, 9>& KeypadKeys();

// Key pitch and button size inside the pad; the pad's top-left key sits at
// (620, 26) in the main window.
inline constexpr int kKeyWidth = 21;
inline constexpr int kKeyHeight = 20;
inline constexpr int kKeyPitchX = 22;
inline constexpr int kKeyPitchY = 21;

// One flat picture button showing the key's bitmap; used by the pad and by
// the help window's legend (where it does nothing).
QPushButton* MakeKeyButton(const char* bitmap, QWidget* parent);

class CutKeypad : public QWidget {
    Q_OBJECT
  public:
    explicit CutKeypad(QWidget* parent = nullptr);

    // The button of a key id, or null.
    QPushButton* Key(int id) const;

  signals:
    // One click is one step; holding a key does not repeat.
    void keyClicked(int id);

  private:
    std::array<QPushButton*, 9> buttons_{};
};

}  // namespace hv::setup
