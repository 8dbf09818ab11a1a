#include "setup/setup_main_window.h"

#include <QAction>
#include <QCheckBox>
#include <QCloseEvent>
#include <QCursor>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QGroupBox>
#include <QIcon>
#include <QLabel>
#include <QMenuBar>
#include <QMoveEvent>
#include <QPushButton>
#include <QShortcut>
#include <QSlider>
#include <QUrl>

#include "ui/click_sound.h"
#include "ui/clickable_label.h"
#include "ui/message_box.h"
#include "ui/open_video_dialog.h"
#include "ui/pump_step.h"
#include "setup/cut_keypad.h"
#include "setup/overlay.h"
#include "setup/picture_view.h"
#include "setup/setup_help_window.h"
#include "setup/setup_resources.h"
#include "setup/transform_window.h"
#include "video/frame_source_graph.h"
#include "playback/preview_pump.h"
#include "video/video_info.h"

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

QPixmap Art(const char* name) {
    return QPixmap(QStringLiteral(":/setup/%1.png").arg(QLatin1String(name)));
}

}  // namespace

SetupMainWindow::SetupMainWindow(SetupPaths paths, SetupConfigState initial)
    : QMainWindow(nullptr, Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                               Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint |
                               Qt::CustomizeWindowHint),
      paths_(std::move(paths)),
      record_(initial) {
    EnsureSetupResources();
    setWindowTitle(QString::fromLatin1(kSetupWindowTitle));
    setWindowIcon(QIcon(QStringLiteral(":/setup/VIDEO.png")));
    tick_ = new ui::ClickSound(QUrl(QStringLiteral("qrc:/setup/TICK.wav")), this);
    tickB_ = new ui::ClickSound(QUrl(QStringLiteral("qrc:/setup/TICKB.wav")), this);
    sink_ = new ui::MessageBoxSink(this);

    // Placed where it was saved, unchecked against the screen.
    move(initial.settings.mainX, initial.settings.mainY);
    BuildMenus();
    BuildControls(initial);

    // The transform window: 300 stands in for a POPUP_Y never saved.
    const int popupY = record_.Update([](SetupConfigState& s) {
        if (s.settings.popupY == 0) s.settings.popupY = 300;
        return s.settings.popupY;
    });
    transform_ = new TransformWindow(this, [this](int x, int y) {
        record_.Update([x, y](SetupConfigState& s) {
            s.settings.popupX = x;
            s.settings.popupY = y;
        });
    });
    transform_->move(initial.settings.popupX, popupY);

    // Accelerators, independent of the menu texts ("Ctrl + L" is display text).
    auto accel = [this](const QKeySequence& key, int id) {
        auto* s = new QShortcut(key, this);
        s->setContext(Qt::WindowShortcut);
        connect(s, &QShortcut::activated, this, [this, id] { Command(id); });
    };
    accel(QKeySequence(Qt::CTRL | Qt::Key_L), kCmdLoad);
    accel(QKeySequence(Qt::CTRL | Qt::Key_S), kCmdSave);
    accel(QKeySequence(Qt::Key_F1), kCmdHelp);

    controller_ = std::make_unique<PreviewController>(*this);
}

SetupMainWindow::~SetupMainWindow() {
    // Normally the exit sequence has already stopped the worker; a window
    // destroyed otherwise (tests, a session ending) still waits for it here.
    if (controller_ && controller_->WorkerAlive())
        controller_->Shutdown([](int ms) { ui::PumpStep(ms); });
    controller_.reset();
    // The transform window reports its moves into record_; it goes before
    // the members do, not with the other children after them.
    delete transform_;
    transform_ = nullptr;
}

void SetupMainWindow::BuildMenus() {
    auto item = [this](QMenu* m, const char* text, int id) {
        QAction* a = m->addAction(QString::fromLatin1(text));
        a->setData(id);
        connect(a, &QAction::triggered, this, [this, id] { Command(id); });
    };
    QMenu* file = menuBar()->addMenu(QStringLiteral("&File"));
    item(file, "Load Doughnut Movie\tCtrl + L", kCmdLoad);
    item(file, "Save Parameters\tCtrl + S", kCmdSave);
    file->addSeparator();
    item(file, "Video Stream Info", kCmdVideoInfo);
    file->addSeparator();
    item(file, "Exit\tAlt + F4", kCmdExit);
    QMenu* help = menuBar()->addMenu(QStringLiteral("&Help"));
    item(help, "Help\tF1", kCmdHelp);
    help->addSeparator();
    item(help, "About", kCmdAbout);
}

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

    doughnut_ = new PictureView(QSize(600, 600), true, client);
    doughnut_->setObjectName(QStringLiteral("ctl2007"));
    doughnut_->move(5, 5);
    doughnut_->SetPicture(CaptionedBackground(600, 600, QStringLiteral("Main Window")));

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

    Static(client, 204, QStringLiteral(" Frame Size:"), QRect(620, 118, 80, 17), Qt::white,
           kCaptionColour, left, true);
    Static(client, 205, QStringLiteral(" Time per frame:"), QRect(620, 138, 80, 17), Qt::white,
           kCaptionColour, left, true);
    frameSize_ = Static(client, 304, QString(), QRect(701, 118, 80, 17), kCaptionColour, Qt::black,
                        centre, true);
    frameRate_ = Static(client, 305, QString(), QRect(701, 138, 80, 17), kCaptionColour, Qt::black,
                        centre, true);
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
        c->setGeometry(r);
        Colour(c, Qt::white, kCheckColour);
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

// ---- commands -------------------------------------------------------------

void SetupMainWindow::Command(int id) {
    if (IsKeypadCommand(id)) {
        if (KeypadCommand(id)) RefreshGeometryLabels();
        return;
    }
    switch (id) {
        case kCmdLoad:
            LoadCommand();
            break;
        case kCmdSave:
            if (!StreamShown()) return;  // ignored without a stream: no refresh either
            SaveCommand();
            break;
        case kCmdVideoInfo:
            ShowVideoInfo();
            break;
        case kCmdExit:
            ConfirmExit(true);
            return;
        case kCmdHelp:
            SetupHelpWindow(this, [this] { tick_->Play(); });
            break;
        case kCmdAbout: {
            SetupAboutWindow about(this);
            about.exec();
            break;
        }
        case kCmdRun:
        case kCmdStop:
            RunStopCommand(id == kCmdRun);
            break;
        case kCmdFlipH:
        case kCmdFlipV: {
            QCheckBox* box = id == kCmdFlipH ? flipH_ : flipV_;
            box->toggle();
            FlipCommand(id, box->isChecked());
            break;
        }
        default:
            break;
    }
    RefreshGeometryLabels();
}

bool SetupMainWindow::KeypadCommand(int id) {
    if (!StreamShown()) return false;  // silently ignored before a video
    tickB_->Play();
    // One step is one locked update: the worker copies all of it or none.
    record_.Update([id](SetupConfigState& s) { return ApplyKeypadStep(id, s.geometry); });
    return true;
}

void SetupMainWindow::FlipCommand(int id, bool checked) {
    const int32_t v = checked ? 1 : 0;
    record_.Update([id, v](SetupConfigState& s) {
        (id == kCmdFlipH ? s.geometry.flipH : s.geometry.flipV) = v;
    });
}

void SetupMainWindow::RefreshGeometryLabels() {
    const GeometryLabels t = GeometryLabelTexts(record_.Snapshot().geometry);
    const std::string* texts[] = {&t.left, &t.top, &t.zoomL, &t.width, &t.height, &t.inner};
    for (int i = 0; i < 6; ++i) values_[i]->setText(QString::fromStdString(*texts[i]));
}

void SetupMainWindow::WaitLive(int ms) {
    QElapsedTimer timer;
    timer.start();
    while (timer.elapsed() < ms) ui::PumpStep(std::min<int>(10, ms - int(timer.elapsed()) + 1));
}

void SetupMainWindow::LoadCommand() {
    load_->FlashPressed(kClickPauseMs);
    tick_->Play();
    WaitLive(kClickPauseMs);
    StopPreview();
    if (!controller_->BeginFileDialog()) return;
    setWindowTitle(QString::fromLatin1(kSetupWindowTitle));
    frameSize_->clear();
    controller_->ClearVideoInfo();
    const QString folder = QString::fromStdString(record_.Copy().settings.lastFolder);
    const QString chosen = ui::ShowOpenVideoDialog(this, folder);
    controller_->EndFileDialog();
    ui::PumpStep(50);
    ClearPictures();
    OpenChosenVideo(chosen);
}

void SetupMainWindow::OpenChosenVideo(const QString& path) {
    const std::string name = TrimVideoName(path.toStdString());
    if (name.empty()) {
        controller_->OpenVideo(std::string(), [](int ms) { ui::PumpStep(ms); });
        return;
    }
    // The folder of the chosen file is the last folder from now on.
    const std::string folder = QFileInfo(QString::fromStdString(name)).absolutePath().toStdString();
    record_.Update([&folder](SetupConfigState& s) { s.settings.lastFolder = folder; });
    transform_->RevealPreview();
    ClearPictures();
    controller_->OpenVideo(name, [](int ms) { ui::PumpStep(ms); });
}

void SetupMainWindow::StopPreview() {
    controller_->StopForLoad([](int ms) { ui::PumpStep(ms); });
}

bool SetupMainWindow::StreamShown() const {
    return controller_ && controller_->PlaybackState() != 0;
}

std::string SetupMainWindow::VideoInfo() const {
    return controller_->VideoInfoText();
}

void SetupMainWindow::SaveCommand() {
    save_->FlashPressed(kClickPauseMs);
    tick_->Play();
    WaitLive(kClickPauseMs);
    SaveParameters();
    WaitLive(100);
}

bool SetupMainWindow::SaveParameters() {
    // Written from a copy: the file write happens outside the record's lock.
    SetupConfigState copy = record_.Copy();
    const WriteResult result = WriteConfiguration(paths_.configFile, copy);
    if (result.ok) {
        // The writer may have put the start-up geometry back (left and width 0).
        record_.Update([&copy](SetupConfigState& s) { s.geometry = copy.geometry; });
        return true;
    }
    ui::ShowMessageBox(this, QMessageBox::Warning, QStringLiteral("Save Parameters"),
                       QStringLiteral("The parameters could not be saved to\n%1\n\n%2\n\n"
                                      "The values stay in the program; save again once the "
                                      "folder can be written.")
                           .arg(QString::fromStdString(paths_.configFile.string()),
                                QString::fromStdString(result.error)));
    return false;
}

void SetupMainWindow::RunStopCommand(bool run) {
    tick_->Play();
    WaitLive(kClickPauseMs);
    if (GraphActive.load() != 1) return;
    if (run)
        controller_->RunVideo();
    else
        controller_->PauseVideo();
}

void SetupMainWindow::ShowVideoInfo() {
    const std::string text = VideoInfo();
    if (IsVideoInfoBlank(text)) return;
    ui::ShowMessageBox(
        this, QMessageBox::Information, QString::fromLatin1(kVideoInfoCaption),
        QString::fromStdString(text).replace(QStringLiteral("\r\n"), QStringLiteral("\n")));
}

bool SetupMainWindow::ConfirmExit(bool withClick) {
    if (withClick) tick_->Play();
    const auto answer =
        ui::ShowMessageBox(this, QMessageBox::Warning, QStringLiteral("Exit IDE"),
                           QStringLiteral("Are you sure?"), QMessageBox::Ok | QMessageBox::Cancel);
    if (answer != QMessageBox::Ok) return false;
    // Nothing to wait for when no video was ever opened.
    if (controller_->WorkerAlive()) controller_->Shutdown([](int ms) { ui::PumpStep(ms); });
    ui::PumpStep(0);
    exitConfirmed_ = true;
    transform_->hide();
    close();
    return true;
}

int SetupMainWindow::KeypadClicks() const {
    return tickB_->PlayCount();
}

int SetupMainWindow::ButtonClicks() const {
    return tick_->PlayCount();
}

void SetupMainWindow::closeEvent(QCloseEvent* e) {
    if (exitConfirmed_ || ConfirmExit(false)) {
        e->accept();
        return;
    }
    e->ignore();
}

void SetupMainWindow::moveEvent(QMoveEvent* e) {
    QMainWindow::moveEvent(e);
    const QPoint p = pos();
    record_.Update([p](SetupConfigState& s) {
        s.settings.mainX = p.x();
        s.settings.mainY = p.y();
    });
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
    status_->repaint();
}

void SetupMainWindow::ShowPictures(const SetupPictures& pictures) {
    doughnut_->SetPicture(pictures.doughnut);
    transform_->Preview()->SetPicture(pictures.preview);
}

// ---- PreviewHost (video worker) -------------------------------------------

MessageSink& SetupMainWindow::Messages() {
    return *sink_;
}

void SetupMainWindow::PostToGui(std::function<void()> call) {
    bool wake;
    {
        std::lock_guard<std::mutex> lock(mailboxMutex_);
        wake = mailbox_.empty();
        mailbox_.push_back(std::move(call));
    }
    // One wake-up per batch; it carries no data, the mailbox does.
    if (wake) QMetaObject::invokeMethod(this, "DrainWorkerCalls", Qt::QueuedConnection);
}

void SetupMainWindow::DrainWorkerCalls() {
    std::vector<std::function<void()>> calls;
    {
        std::lock_guard<std::mutex> lock(mailboxMutex_);
        calls.swap(mailbox_);
    }
    for (auto& call : calls) call();
}

void SetupMainWindow::SetTitle(const std::string& text) {
    PostToGui([this, text] { setWindowTitle(QString::fromStdString(text)); });
}

void SetupMainWindow::SetStreamStatus(StreamStatus status) {
    PostToGui([this, status] { ShowStreamStatus(status); });
}

void SetupMainWindow::StreamOpened(const VideoFormat& format) {
    renderer_.Reset();  // a new frame size: the next step recomputes everything
    PostToGui([this, size = FrameSizeLabel(format), rate = FrameRateLabel(format)] {
        frameSize_->setText(QString::fromStdString(size));
        frameRate_->setText(QString::fromStdString(rate));
    });
}

void SetupMainWindow::PreviewStep(FrameSource& source, FrameBuffer& frame) {
    int32_t size = frame.PictureBytes();
    source.CurrentFrame(frame.data(), &size);
    // One copy of the geometry for both pictures of this frame.
    SetupPictures pictures = renderer_.Render(record_.Snapshot(), frame);
    {
        std::lock_guard<std::mutex> lock(slotMutex_);
        slot_ = std::move(pictures);
    }
    // At most one hand-over waits in the GUI queue; it shows the newest pair.
    if (presentPending_.exchange(true)) return;
    PostToGui([this] {
        presentPending_.store(false);
        SetupPictures shown;
        {
            std::lock_guard<std::mutex> lock(slotMutex_);
            shown = std::move(slot_);
            slot_ = SetupPictures();
        }
        if (!shown.doughnut.isNull()) ShowPictures(shown);
    });
}

void SetupMainWindow::ClearPictures() {
    // The preview keeps its last picture; only the doughnut picture is cleared.
    PostToGui([this] {
        doughnut_->SetPicture(CaptionedBackground(600, 600, QStringLiteral("Main Window")));
    });
}

}  // namespace hv::setup
