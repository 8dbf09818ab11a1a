#include "player/player_help.h"

#include <QDialog>
#include <QDialogButtonBox>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

#include "player/main_window.h"

namespace hv::player {

namespace {
QPixmap Picture(const char* name) {
    return QPixmap(QStringLiteral(":/player/images/%1.png").arg(QLatin1String(name)));
}
}  // namespace

QString PlayerInstructionText() {
    const char* lines[] = {
        " 1. Load any format of doughnut video. You need to setup a doughnut video for the "
        "first run. Use the Setup Utility.",
        " 2. Current video stream will be shown.",
        " 3. Use \"360 mode\" for choose a video mode of 360 video viewer:",
        "        a. Draft - fast panning, draft quality",
        "        b. Mixed - mixed panning quality",
        "        c. High -  high panning quality",
        " 4. Use a bilinear 2x filter for smoother image quality.",
    };
    QString text;
    for (const char* line : lines) {
        if (!text.isEmpty()) text += QLatin1Char('\r');
        text += QLatin1String(line);
    }
    return text;
}

hv::ui::HelpLayout PlayerHelpLayout() {
    hv::ui::HelpLayout l;
    l.caption = QStringLiteral("Help");
    l.clientSize = QSize(710, 400);
    l.background = QColor(129, 194, 176);
    l.icon = QIcon(Picture("VIDEO"));
    l.title = {100,
               QRect(0, 0, 710, 38),
               QStringLiteral("  Instruction:"),
               QColor(0, 68, 0),
               QColor(161, 242, 224),
               false};
    l.instruction = {101,  QRect(10, 45, 700, 172), PlayerInstructionText(), Qt::black, QColor(),
                     false};
    l.heading = {102,       QRect(10, 150, 400, 24), QStringLiteral(" 360 degree player controls:"),
                 Qt::black, QColor(145, 226, 192),   false};
    struct Row {
        const char* picture;
        int id;
        const char* text;
    };
    const Row left[] = {{"left", 200, " panning LEFT"},
                        {"right", 201, " panning RIGHT"},
                        {"up", 202, " panning UP"},
                        {"down", 203, " panning DOWN"},
                        {"restart", 213, " Restart the video stream"},
                        {"start", 214, " Start the video stream"},
                        {"stopp", 217, " Stop the video stream"}};
    const Row right[] = {{"stop", 204, " panning STOP"},
                         {"lup", 205, " zooming IN"},
                         {"rup", 206, " zooming OUT"},
                         {"soundon", 207, " sound On/Off"},
                         {"bill", 218, " Soften filter"},
                         {"flip", 219, " Flip video frame: vertical, horizontal, both"}};
    const QColor labelBg(129, 178, 144);
    const auto add = [&](const Row& r, int x, int y) {
        hv::ui::HelpLegendItem item;
        item.picture = Picture(r.picture);
        item.pictureRect = QRect(x, y, 32, 29);
        item.label = {
            r.id, QRect(x + 30, y, 295, 20), QString::fromLatin1(r.text), Qt::black, labelBg, true};
        l.legend.push_back(item);
    };
    int y = 185;
    for (const Row& r : left) {
        add(r, 15, y);
        y += 30;
    }
    y = 185;
    for (const Row& r : right) {
        add(r, 350, y);
        y += 30;
    }
    l.exitButtonId = 107;
    l.exitButtonRect = QRect(645, 370, 50, 20);
    l.exitButtonText = QStringLiteral("Exit Help");
    return l;
}

void RunAboutBox(QWidget* owner) {
    QDialog box(owner, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                           Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint);
    box.setObjectName(QStringLiteral("AboutBox"));
    box.setWindowTitle(QStringLiteral("About"));
    box.setWindowIcon(QIcon(Picture("VIDEO")));
    box.setFixedSize(320, 330);
    QPalette pal = box.palette();
    pal.setColor(QPalette::Window, QColor(26, 58, 54));
    pal.setColor(QPalette::WindowText, QColor(232, 246, 240));
    box.setPalette(pal);
    box.setAutoFillBackground(true);

    auto* layout = new QVBoxLayout(&box);
    layout->setContentsMargins(18, 18, 18, 14);
    auto* icon = new QLabel(&box);
    icon->setPixmap(
        Picture("VIDEO256").scaled(96, 96, Qt::KeepAspectRatio, Qt::SmoothTransformation));
    icon->setAlignment(Qt::AlignCenter);
    layout->addWidget(icon);
    auto* name = new QLabel(QString::fromLatin1(kAppTitle), &box);
    name->setObjectName(QStringLiteral("productName"));
    QFont nameFont = name->font();
    nameFont.setPointSize(nameFont.pointSize() + 3);
    nameFont.setBold(true);
    name->setFont(nameFont);
    name->setAlignment(Qt::AlignCenter);
    name->setWordWrap(true);
    layout->addWidget(name);
    auto* build = new QLabel(QString::fromLatin1(kBuildLabel), &box);
    build->setObjectName(QStringLiteral("buildLabel"));
    build->setAlignment(Qt::AlignCenter);
    QPalette buildPal = build->palette();
    buildPal.setColor(QPalette::WindowText, QColor(255, 220, 80));
    build->setPalette(buildPal);
    layout->addWidget(build);
    auto* about = new QLabel(
        QStringLiteral("Plays 360-degree doughnut videos and lets you look around in them:\n"
                       "drag, use the arrow keys or the control row to pan,\n"
                       "the wheel to zoom."),
        &box);
    about->setAlignment(Qt::AlignCenter);
    about->setWordWrap(true);
    QPalette aboutPal = about->palette();
    aboutPal.setColor(QPalette::WindowText, QColor(129, 194, 176));
    about->setPalette(aboutPal);
    layout->addWidget(about);
    layout->addStretch();
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok, &box);
    QObject::connect(buttons, &QDialogButtonBox::accepted, &box, &QDialog::accept);
    layout->addWidget(buttons);
    box.exec();
}

}  // namespace hv::player
