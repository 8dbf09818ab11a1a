#include "setup/setup_help_window.h"

#include <QFont>
#include <QFontMetrics>
#include <QIcon>
#include <QLabel>
#include <QPixmap>
#include <algorithm>
#include <functional>

#include "setup/cut_keypad.h"
#include "setup/setup_resources.h"
#include "setup/setup_state.h"

namespace hv::setup {
namespace {

struct LegendRow {
    const char* leftBitmap;
    int leftId;
    const char* leftText;
    const char* rightBitmap;  // null: no right entry
    int rightId;
    const char* rightText;
};

constexpr LegendRow kLegend[] = {
    {"LEFT1", 200, " Move the Cut area to the Left", "LUP1", 205,
     " Increase the size of External circle "},
    {"RIGHT1", 201, " Move the Cut area to the Right", "RUP1", 206,
     " Decrease the size of External circle "},
    {"UP1", 202, " Move the Cut area to the Up", "LDOWN1", 207,
     " Increase the size of Internal circle "},
    {"DOWN1", 203, " Move the Cut area to the Down", "RDOWN1", 208,
     " Decrease the size of Internal circle "},
    {"STOP1", 204, " Reset parameters", nullptr, 0, nullptr},
};

ui::HelpLegendItem LegendItem(const char* bitmap, int id, const char* text, int x, int row) {
    ui::HelpLegendItem item;
    item.picture = QPixmap(QStringLiteral(":/setup/%1.png").arg(QLatin1String(bitmap)));
    item.pictureRect = QRect(x, 191 + 21 * row, kKeyWidth, kKeyHeight);
    item.label.id = id;
    item.label.rect = QRect(x + 30, 190 + 21 * row, 295, 20);
    item.label.text = QString::fromLatin1(text);
    item.label.foreground = Qt::black;
    item.label.background = QColor(128, 128, 128);
    item.label.sunken = true;
    return item;
}

}  // namespace

QString HelpInstructionText() {
    return QStringLiteral(
        " 1. Load any format of doughnut video.\r"
        " 2. Current video stream will be shown.\r"
        " 3. You can choose any format of video stream.\r"
        " 4. Use \"Cut controls\" for setup of \"doughnut circle\"\r"
        " 5. Save parameters - use the button \"Save Parameters\"\r"
        " You can changing/choosing video stream at any time.");
}

ui::HelpLayout SetupHelpLayout() {
    EnsureSetupResources();
    ui::HelpLayout l;
    l.caption = QStringLiteral("Help");
    l.clientSize = QSize(690, 330);
    l.background = QColor(167, 167, 167);
    l.icon = QIcon(QStringLiteral(":/setup/VIDEO.png"));
    l.title = {100,  QRect(0, 0, 710, 38), QStringLiteral("  Instruction:"), Qt::black, Qt::white,
               false};
    l.instruction = {101,  QRect(10, 45, 700, 172), HelpInstructionText(), Qt::black, QColor(),
                     false};
    l.heading = {102,       QRect(10, 150, 500, 24), QStringLiteral(" Cut controls:"),
                 Qt::black, QColor(192, 192, 192),   false};
    int row = 0;
    for (const LegendRow& r : kLegend) {
        l.legend.push_back(LegendItem(r.leftBitmap, r.leftId, r.leftText, 15, row));
        if (r.rightBitmap != nullptr)
            l.legend.push_back(LegendItem(r.rightBitmap, r.rightId, r.rightText, 350, row));
        ++row;
    }
    l.exitButtonId = kCmdExit;
    l.exitButtonRect = QRect(625, 300, 50, 20);
    return l;
}

void SetupHelpWindow(QWidget* owner, std::function<void()> playClick) {
    ui::RunHelpWindow(owner, SetupHelpLayout(), std::move(playClick));
}

SetupAboutWindow::SetupAboutWindow(QWidget* owner)
    : QDialog(owner, Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                         Qt::WindowCloseButtonHint) {
    setWindowTitle(QStringLiteral("About"));
    setWindowIcon(QIcon(QStringLiteral(":/setup/VIDEO.png")));
    setFixedSize(210, 210);
    setModal(true);
    QPalette pal = palette();
    pal.setColor(QPalette::Window, QColor(0, 68, 85));
    setPalette(pal);
    setAutoFillBackground(true);

    auto* icon = new QLabel(this);
    icon->setPixmap(QPixmap(QStringLiteral(":/setup/VIDEO.png")));
    icon->setGeometry(10, 10, 64, 64);

    auto* version = new QLabel(QString::fromLatin1(kVersionText), this);
    version->setObjectName(QStringLiteral("ctlVersion"));
    QFont small = version->font();
    small.setPixelSize(9);
    version->setFont(small);
    // Sized to its text in this font; it stays at (150, 38) while it fits
    // the 210-pixel window and moves left only as far as it must.
    const QFontMetrics vm(small);
    const QSize need(vm.horizontalAdvance(version->text()) + 2, vm.height());
    version->setGeometry(std::min(150, 210 - 4 - need.width()), 38, need.width(), need.height());
    QPalette vp = version->palette();
    vp.setColor(QPalette::WindowText, Qt::yellow);
    version->setPalette(vp);

    auto* title = new QLabel(QString::fromLatin1(kSetupWindowTitle), this);
    title->setObjectName(QStringLiteral("ctlTitle"));
    title->setWordWrap(true);
    title->setAlignment(Qt::AlignCenter);
    title->setGeometry(10, 84, 190, 50);
    QFont bold = title->font();
    bold.setBold(true);
    title->setFont(bold);
    QPalette tp = title->palette();
    tp.setColor(QPalette::WindowText, Qt::white);
    title->setPalette(tp);

    auto* note = new QLabel(
        QStringLiteral("Fits the circles of a doughnut video\nand saves them to CamSetup.xml\n"
                       "for the Halvora 360 player."),
        this);
    note->setAlignment(Qt::AlignCenter);
    note->setGeometry(5, 140, 200, 60);
    QFont noteFont = note->font();
    noteFont.setPixelSize(10);
    note->setFont(noteFont);
    note->setPalette(tp);
}

}  // namespace hv::setup
