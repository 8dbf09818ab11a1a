#include "player/control_row.h"

#include <QLabel>
#include <QSignalBlocker>
#include <QSlider>
#include <algorithm>

#include "playback/volume_table.h"
#include "player/commands.h"
#include "ui/clickable_label.h"

namespace hv::player {

namespace {
const QColor kLevelStart(81, 255, 176);

QPixmap Picture(const QString& name) {
    return QPixmap(QStringLiteral(":/player/images/%1.png").arg(name));
}

QColor Rgb(uint32_t rgb) {
    return QColor((rgb >> 16) & 0xFF, (rgb >> 8) & 0xFF, rgb & 0xFF);
}
}  // namespace

ControlRow::ControlRow(const QCursor& hand, QWidget* parent) : QWidget(parent), hand_(hand) {
    setObjectName(QStringLiteral("ControlRow"));
    // Creation order is stacking order where controls overlap, except for
    // the logo strip, which lies under everything.
    BuildPositionBar();
    AddButton(kCmdLeft, QStringLiteral("left"));
    AddButton(kCmdRight, QStringLiteral("right"));
    AddButton(kCmdStopMotion, QStringLiteral("stop"));
    AddButton(kCmdUp, QStringLiteral("up"));
    AddButton(kCmdDown, QStringLiteral("down"));
    AddButton(kCmdZoomIn, QStringLiteral("lup"));
    AddButton(kCmdZoomOut, QStringLiteral("rup"));
    AddButton(kCmdRestart, QStringLiteral("restart"));
    AddButton(kCmdPlay, QStringLiteral("start"));
    AddButton(kCmdPause, QStringLiteral("stopp"));
    AddButton(kCmdFlip, QStringLiteral("flip"));
    AddButton(kCmdSoften, QStringLiteral("bill"), false);
    AddButton(kCmdHelp, QStringLiteral("helpp"));
    AddButton(kCmdSound, QStringLiteral("soundon"), false);

    auto* logo = new QLabel(this);
    logo->setObjectName(QStringLiteral("ctl700"));
    logo->setPixmap(Picture(QStringLiteral("AC")));
    logo->resize(205, 30);
    // Under every other control: where they meet in a narrow window the
    // buttons stay clickable.
    logo->lower();
    logo_ = logo;

    for (int k = 1; k <= 5; ++k) {
        auto* bar = new hv::ui::ClickableLabel(kCmdLevel1 + k - 1, this);
        bar->resize(7, 4 * k - 2);
        bar->SetClickable(true, hand_);
        QPalette pal = bar->palette();
        pal.setColor(QPalette::Window, kLevelStart);
        pal.setColor(QPalette::WindowText, Qt::black);
        bar->setPalette(pal);
        bar->setAutoFillBackground(true);
        connect(bar, &hv::ui::ClickableLabel::clicked, this, &ControlRow::commandClicked);
        levelBars_[k - 1] = bar;
    }
}

void ControlRow::BuildPositionBar() {
    positionBar_ = new QSlider(Qt::Horizontal, this);
    positionBar_->setObjectName(QStringLiteral("ctl680"));
    positionBar_->resize(375, 19);
    positionBar_->setRange(1, 1);
    positionBar_->setPageStep(10);
    positionBar_->setValue(1);
    positionBar_->setCursor(hand_);
    positionBar_->setFocusPolicy(Qt::NoFocus);
    positionBar_->setStyleSheet(QStringLiteral(
        "QSlider { background: rgb(97,162,112); border: 1px solid rgb(60,110,80); }"
        "QSlider::groove:horizontal { height: 4px; margin: 0 6px; background: rgb(40,80,60);"
        " border-radius: 2px; }"
        "QSlider::sub-page:horizontal { background: rgb(0,0,255); margin: 0 0 0 6px;"
        " border-radius: 2px; }"
        "QSlider::handle:horizontal { width: 10px; margin: -6px 0; border-radius: 3px;"
        " background: qlineargradient(x1:0,y1:0,x2:0,y2:1, stop:0 #ffffff, stop:1 #b2dace);"
        " border: 1px solid rgb(46,92,82); }"));
    connect(positionBar_, &QSlider::sliderMoved, this, &ControlRow::positionDragged);
    connect(positionBar_, &QSlider::actionTriggered, this, [this](int action) {
        // Thumb tracking arrives as positionDragged.
        if (action == QAbstractSlider::SliderMove || action == QAbstractSlider::SliderNoAction)
            return;
        emit positionStepped(positionBar_->value());
    });
    connect(positionBar_, &QSlider::sliderReleased, this,
            [this] { emit positionReleased(positionBar_->value()); });
}

void ControlRow::AddButton(int id, const QString& picture, bool withPressed) {
    auto* b = new hv::ui::ClickableLabel(id, this);
    b->SetPictures(Picture(picture), withPressed ? Picture(picture + "2") : QPixmap());
    b->resize(26, 24);
    b->SetClickable(true, hand_);
    connect(b, &hv::ui::ClickableLabel::clicked, this, &ControlRow::commandClicked);
    buttons_[id] = b;
}

hv::ui::ClickableLabel* ControlRow::Button(int id) const {
    auto it = buttons_.find(id);
    return it == buttons_.end() ? nullptr : it->second;
}

QLabel* ControlRow::LevelBar(int k) const {
    return (k >= 1 && k <= 5) ? levelBars_[k - 1] : nullptr;
}

void ControlRow::Layout(int clientWidth, int viewWidth) {
    positionBar_->setGeometry(5, 0, std::max(viewWidth - 1, 0), 19);

    const int y0 = 25;  // the buttons' top, below the position bar
    const std::pair<int, int> left[] = {
        {kCmdLeft, 0},   {kCmdRight, 30},   {kCmdStopMotion, 60}, {kCmdUp, 90},
        {kCmdDown, 120}, {kCmdZoomIn, 155}, {kCmdZoomOut, 185},   {kCmdRestart, 220},
        {kCmdPlay, 250}, {kCmdPause, 280}};
    for (const auto& [id, dx] : left) Button(id)->move(5 + dx, y0);

    // The right group keeps its distance from the right edge.
    const int xr = clientWidth - 90;
    logo_->move(xr - 305, y0 - 5);
    Button(kCmdFlip)->move(xr - 96, y0);
    Button(kCmdSoften)->move(xr - 64, y0);
    Button(kCmdHelp)->move(xr - 32, y0);
    Button(kCmdSound)->move(xr, y0);
    for (int k = 1; k <= 5; ++k) levelBars_[k - 1]->move(xr + 25 + 10 * k, y0 + 22 - 4 * k);
}

void ControlRow::ShowPressed(int id) {
    if (auto* b = Button(id)) b->FlashPressed(200);
}

void ControlRow::ShowFrameCount(int frameCount) {
    const QSignalBlocker block(positionBar_);
    positionBar_->setRange(1, std::max(frameCount, 1));
    positionBar_->setPageStep(10);
    positionBar_->setValue(1);
}

void ControlRow::ShowPosition(int position) {
    if (positionBar_->isSliderDown()) return;
    const QSignalBlocker block(positionBar_);
    positionBar_->setValue(position);
}

void ControlRow::ShowVolumeLevel(int level) {
    if (level < 0 || level > 5) return;
    for (int k = 1; k <= 5; ++k) {
        QLabel* bar = levelBars_[k - 1];
        QPalette pal = bar->palette();
        pal.setColor(QPalette::Window, Rgb(k <= level ? kLevelLitRgb : kLevelUnlitRgb));
        pal.setColor(QPalette::WindowText, Qt::white);
        bar->setPalette(pal);
        bar->update();
    }
}

void ControlRow::ShowSoundOn(bool on) {
    Button(kCmdSound)->SetNormalPicture(
        Picture(on ? QStringLiteral("soundon") : QStringLiteral("soundoff")));
}

void ControlRow::ShowSoftenOn(bool on) {
    Button(kCmdSoften)
        ->SetNormalPicture(Picture(on ? QStringLiteral("bill2") : QStringLiteral("bill")));
}

}  // namespace hv::player
