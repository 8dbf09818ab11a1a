// The main window's controls in their creation order, with their positions,
// colours and texts, and the looks of the stream status label.
#include <QCheckBox>
#include <QCursor>
#include <QFontMetrics>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <QSlider>
#include <algorithm>
#include <initializer_list>

#include "setup/cut_keypad.h"
#include "setup/overlay.h"
#include "setup/picture_view.h"
#include "setup/setup_main_window.h"
#include "ui/clickable_label.h"

namespace hv::setup {
namespace {

const QColor kWindowColour(129, 194, 176);
const QColor kCaptionColour(113, 178, 144);
const QColor kGroupColour(65, 98, 80);
const QColor kCheckColour(65, 114, 80);

// A static text control: colours as text on background, optional sunken frame.
QLabel* Static(QWidget* parent, int id, const QString& text, QRect r, QColor fg, QColor bg,
               Qt::Alignment align, bool sunken, bool opaque = true) {
    auto* l = new QLabel(text, parent);
    l->setObjectName(QStringLiteral("ctl%1").arg(id));
    l->setGeometry(r);
    l->setAlignment(align | Qt::AlignVCenter);
    QPalette pal = l->palette();
    pal.setColor(QPalette::WindowText, fg);
    pal.setColor(QPalette::Window, bg);
    l->setPalette(pal);
    l->setAutoFillBackground(opaque);
    if (sunken) {
        l->setFrameStyle(QFrame::Panel | QFrame::Sunken);
        l->setLineWidth(1);
    }
    return l;
}

void Colour(QWidget* w, QColor fg, QColor bg) {
    QPalette pal = w->palette();
    pal.setColor(QPalette::WindowText, fg);
    pal.setColor(QPalette::Text, fg);
    pal.setColor(QPalette::Window, bg);
    pal.setColor(QPalette::Button, bg);
    w->setPalette(pal);
    w->setBackgroundRole(QPalette::Window);
    w->setAutoFillBackground(true);
}

// Width a sunken, left-aligned label needs for the widest of `texts`: the
// text, the frame on both sides and a little air.
int FramedTextWidth(const QFontMetrics& fm, std::initializer_list<QString> texts) {
    int w = 0;
    for (const QString& t : texts) w = std::max(w, fm.horizontalAdvance(t));
    return w + 2 * 1 + 4;
}

QPixmap Art(const char* name) {
    return QPixmap(QStringLiteral(":/setup/%1.png").arg(QLatin1String(name)));
}

}  // namespace

void SetupMainWindow::BuildControls(const SetupConfigState& initial) {
    auto* client = new QWidget(this);
    client->setObjectName(QStringLiteral("client"));
    client->setFixedSize(1010, 649);
    Colour(client, Qt::black, kWindowColour);
    // The controls' texts were laid out for a small dialog font.
    QFont small(QStringLiteral("DejaVu Sans Condensed"));
    small.setPixelSize(11);
    client->setFont(small);
    setCentralWidget(client);

    const QCursor autor(Art("autor"), 2, 1);
    const Qt::Alignment left = Qt::AlignLeft, centre = Qt::AlignHCenter;

    doughnut_ = new PictureView(QSize(kDoughnutPictureSize, kDoughnutPictureSize), true, client);
    doughnut_->setObjectName(QStringLiteral("ctl2007"));
    doughnut_->move(5, 5);
    ShowEmptyDoughnut();

    auto* logo = new QLabel(client);
    logo->setObjectName(QStringLiteral("logo"));
    logo->setGeometry(610, 295, 396, 300);
    logo->setScaledContents(true);
    logo->setPixmap(Art("SPLASH"));

    Static(client, 701, QString::fromLatin1(kVersionText), QRect(930, 17, 150, 20), Qt::black,
           kWindowColour, left, false, false);

    keypad_ = new CutKeypad(client);
    keypad_->move(620, 26);
    connect(keypad_, &CutKeypad::keyClicked, this, [this](int id) { Command(id); });

    const char* captions[] = {" X-pos", " Y-pos", " ZoomL", " X-size", " Y-size", " ZoomM"};
    const int captionIds[] = {200, 201, 202, 220, 221, 222};
    const int valueIds[] = {300, 301, 302, 310, 311, 322};
    for (int i = 0; i < 6; ++i) {
        const int y = 27 + 18 * (i % 3);
        const int cx = i < 3 ? 690 : 843;
        Static(client, captionIds[i], QString::fromLatin1(captions[i]), QRect(cx, y, 50, 17),
               Qt::white, kCaptionColour, left, true);
        const int vx = i < 3 ? 741 : 792;
        values_[i] = Static(client, valueIds[i], QString(), QRect(vx, y, 50, 17), kCaptionColour,
                            Qt::black, centre, true);
    }

    // The two captions take the width their longer text needs in the font
    // in use; the value fields give way to their right (they end at 781,
    // before the Load and Save buttons).
    const QString sizeCaption = QStringLiteral(" Frame Size:");
    const QString rateCaption = QStringLiteral(" Time per frame:");
    const QFontMetrics captionMetrics(small);
    const int captionW = std::max(80, FramedTextWidth(captionMetrics, {sizeCaption, rateCaption}));
    const int valueX = 620 + captionW + 1;
    Static(client, 204, sizeCaption, QRect(620, 118, captionW, 17), Qt::white, kCaptionColour, left,
           true);
    Static(client, 205, rateCaption, QRect(620, 138, captionW, 17), Qt::white, kCaptionColour, left,
           true);
    frameSize_ = Static(client, 304, QString(), QRect(valueX, 118, 781 - valueX, 17),
                        kCaptionColour, Qt::black, centre, true);
    frameRate_ = Static(client, 305, QString(), QRect(valueX, 138, 781 - valueX, 17),
                        kCaptionColour, Qt::black, centre, true);
    Static(client, 653, QStringLiteral("Video Stream Run/Stop"), QRect(620, 228, 161, 18),
           Qt::white, kCaptionColour, centre, true);

    run_ = new QPushButton(QStringLiteral("Run"), client);
    run_->setObjectName(QStringLiteral("ctl655"));
    run_->setGeometry(620, 248, 80, 20);
    run_->setCursor(autor);
    connect(run_, &QPushButton::clicked, this, [this] { Command(kCmdRun); });
    stop_ = new QPushButton(QStringLiteral("Stop"), client);
    stop_->setObjectName(QStringLiteral("ctl654"));
    stop_->setGeometry(701, 248, 80, 20);
    stop_->setCursor(autor);
    connect(stop_, &QPushButton::clicked, this, [this] { Command(kCmdStop); });

    // The group boxes frame the controls created before them; they stay
    // beneath them so that clicks reach the controls.
    auto group = [client](int id, const char* title, QRect r) {
        auto* g = new QGroupBox(QString::fromLatin1(title), client);
        g->setObjectName(QStringLiteral("ctl%1").arg(id));
        g->setGeometry(r);
        g->setStyleSheet(
            QStringLiteral("QGroupBox { border: 1px solid rgb(65,98,80); margin-top: 7px; }"
                           "QGroupBox::title { subcontrol-origin: margin; left: 8px; color: white;"
                           " background-color: rgb(65,98,80); }"));
        g->lower();
    };
    group(331, " Cut controls ", QRect(610, 3, 395, 100));
    group(330, " Common controls ", QRect(610, 95, 395, 177));

    status_ = Static(client, 652, QString(), QRect(620, 158, 160, 19), Qt::white, Qt::black, centre,
                     true);
    ShowStreamStatus(StreamStatus::Off);

    auto check = [this, client](int id, const char* text, QRect r, bool on) {
        auto* c = new QCheckBox(QString::fromLatin1(text), client);
        c->setObjectName(QStringLiteral("ctl%1").arg(id));
        Colour(c, Qt::white, kCheckColour);
        // The label is white on green, but the tick is drawn in the Text
        // colour on the Base colour: keep those dark on light, or the tick
        // vanishes into its white box.
        QPalette pal = c->palette();
        pal.setColor(QPalette::Text, Qt::black);
        pal.setColor(QPalette::Base, Qt::white);
        c->setPalette(pal);
        // As wide as its text needs in the font in use, never narrower
        // than laid out.
        r.setWidth(std::max(r.width(), c->sizeHint().width()));
        c->setGeometry(r);
        c->setChecked(on);
        connect(c, &QCheckBox::clicked, this, [this, id](bool checked) {
            FlipCommand(id, checked);
            RefreshGeometryLabels();
        });
        return c;
    };
    flipH_ = check(kCmdFlipH, " Flip Horizontal Video Stream", QRect(620, 184, 161, 20),
                   initial.geometry.flipH == 1);
    flipV_ = check(kCmdFlipV, " Flip Vertical Video Stream", QRect(620, 204, 161, 20),
                   initial.geometry.flipV == 1);

    rotation_ = new QSlider(Qt::Horizontal, client);
    rotation_->setObjectName(QStringLiteral("ctl680"));
    rotation_->setGeometry(5, 607, 600, 19);
    Colour(rotation_, Qt::white, kCheckColour);
    rotation_->setRange(1, 200);
    rotation_->setPageStep(1);
    // A SHIFTERECT of 0 shows at 1 and stays 0 until the user moves the bar.
    rotation_->setValue(initial.settings.shiftRect);
    connect(rotation_, &QSlider::valueChanged, this, [this](int v) {
        record_.Update([v](SetupConfigState& s) { s.settings.shiftRect = v & 0xFFFF; });
    });

    // The picture buttons show their bitmaps at the bitmaps' own size.
    auto picture = [client, &autor](int id, const char* stem, QPoint at) {
        auto* b = new ui::ClickableLabel(id, client);
        b->setObjectName(QStringLiteral("ctl%1").arg(id));
        const QPixmap normal = Art((std::string(stem) + "1").c_str());
        b->SetPictures(normal, Art((std::string(stem) + "2").c_str()),
                       Art((std::string(stem) + "3").c_str()));
        b->setGeometry(QRect(at, normal.size()));
        b->SetClickable(true, autor);
        return b;
    };
    load_ = picture(kCmdLoad, "b_load", QPoint(800, 119));
    save_ = picture(kCmdSave, "b_save", QPoint(800, 143));
    connect(load_, &ui::ClickableLabel::clicked, this, [this](int id) { Command(id); });
    connect(save_, &ui::ClickableLabel::clicked, this, [this](int id) { Command(id); });
}

void SetupMainWindow::ShowStreamStatus(StreamStatus status) {
    switch (status) {
        case StreamStatus::Buffering:
            status_->setText(QStringLiteral("Buffering"));
            Colour(status_, Qt::white, Qt::blue);
            break;
        case StreamStatus::On:
            status_->setText(QStringLiteral("Stream ON"));
            Colour(status_, QColor(0, 100, 0), QColor(0, 255, 0));
            break;
        case StreamStatus::Off:
            status_->setText(QStringLiteral("Stream OFF"));
            Colour(status_, QColor(192, 192, 192), Qt::black);
            break;
    }
    shownStatus_ = status;
    status_->repaint();
}

}  // namespace hv::setup
