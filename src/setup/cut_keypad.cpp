#include "setup/cut_keypad.h"

#include <QIcon>
#include <QPixmap>

#include "setup/setup_resources.h"
#include "setup/setup_state.h"

namespace hv::setup {

const std::array<KeypadKey, 9>& KeypadKeys() {
    static const std::array<KeypadKey, 9> keys{{
        {kKeyGrowOuter, "LUP1", " Increase the size of External circle ", 0, 0},
        {kKeyUp, "UP1", " Move the Cut Area to the up ", 0, 1},
        {kKeyShrinkOuter, "RUP1", " Decrease the size of External circle ", 0, 2},
        {kKeyLeft, "LEFT1", " Move the Cut Area to the left ", 1, 0},
        {kKeyReset, "STOP1", " Reset ", 1, 1},
        {kKeyRight, "RIGHT1", " Move the Cut Area to the right ", 1, 2},
        {kKeyGrowInner, "LDOWN1", " Increase the size of Internal circle ", 2, 0},
        {kKeyDown, "DOWN1", " Move the Cut Area to the down ", 2, 1},
        {kKeyShrinkInner, "RDOWN1", " Decrease the size of Internal circle ", 2, 2},
    }};
    return keys;
}

QPushButton* MakeKeyButton(const char* bitmap, QWidget* parent) {
    EnsureSetupResources();
    auto* b = new QPushButton(parent);
    b->setFlat(true);
    b->setFocusPolicy(Qt::NoFocus);
    b->setFixedSize(kKeyWidth, kKeyHeight);
    b->setIcon(QIcon(QPixmap(QStringLiteral(":/setup/%1.png").arg(QLatin1String(bitmap)))));
    b->setIconSize(QSize(20, 20));
    b->setAutoRepeat(false);
    // The picture is the whole face: no bevel, no padding.
    b->setStyleSheet(QStringLiteral("QPushButton { border: none; padding: 0; }"));
    return b;
}

CutKeypad::CutKeypad(QWidget* parent) : QWidget(parent) {
    setFixedSize(2 * kKeyPitchX + kKeyWidth, 2 * kKeyPitchY + kKeyHeight);
    const auto& keys = KeypadKeys();
    for (size_t i = 0; i < keys.size(); ++i) {
        const KeypadKey& k = keys[i];
        QPushButton* b = MakeKeyButton(k.bitmap, this);
        b->move(k.column * kKeyPitchX, k.row * kKeyPitchY);
        b->setToolTip(QString::fromLatin1(k.tooltip));
        b->setObjectName(QStringLiteral("ctl%1").arg(k.id));
        const int id = k.id;
        connect(b, &QPushButton::clicked, this, [this, id] { emit keyClicked(id); });
        buttons_[i] = b;
    }
}

QPushButton* CutKeypad::Key(int id) const {
    const auto& keys = KeypadKeys();
    for (size_t i = 0; i < keys.size(); ++i)
        if (keys[i].id == id) return buttons_[i];
    return nullptr;
}

}  // namespace hv::setup
