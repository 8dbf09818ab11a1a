#include "ui/help_window.h"

#include <QGuiApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QPushButton>
#include <QScreen>
#include <algorithm>

namespace hv::ui {

HelpWindow::HelpWindow(QWidget* owner, const HelpLayout& layout, std::function<void()> onExitButton)
    : QDialog(owner, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                         Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                         Qt::WindowCloseButtonHint) {
    setObjectName(QStringLiteral("HelpWindow"));
    setWindowTitle(layout.caption);
    if (!layout.icon.isNull()) setWindowIcon(layout.icon);
    setFixedSize(layout.clientSize);
    setModal(true);
    if (layout.background.isValid()) {
        QPalette pal = palette();
        pal.setColor(QPalette::Window, layout.background);
        pal.setColor(QPalette::WindowText, Qt::black);
        setPalette(pal);
        setAutoFillBackground(true);
    }

    // Fonts live as long as the window: a fresh window makes fresh fonts.
    QFont titleFont(layout.fontFamily);
    titleFont.setPointSize(layout.titlePointSize);
    titleFont.setBold(true);
    titleFont.setItalic(true);
    QFont headingFont(layout.fontFamily);
    headingFont.setPointSize(layout.headingPointSize);
    headingFont.setBold(true);

    AddLabel(layout.title, titleFont);
    AddLabel(layout.instruction, font());
    AddLabel(layout.heading, headingFont);
    for (const auto& item : layout.legend) {
        auto* pic = new QLabel(this);
        pic->setGeometry(item.pictureRect);
        pic->setAlignment(Qt::AlignLeft | Qt::AlignTop);
        pic->setPixmap(item.picture);
        pic->setAttribute(Qt::WA_TransparentForMouseEvents);
        pictures_.push_back(pic);
    }
    for (const auto& item : layout.legend) AddLabel(item.label, font());

    exitButton_ = new QPushButton(layout.exitButtonText, this);
    exitButton_->setObjectName(QStringLiteral("ctl%1").arg(layout.exitButtonId));
    exitButton_->setGeometry(layout.exitButtonRect);
    exitButton_->setFlat(true);
    // The button is small (50 x 20 in the product); keep its text inside it.
    QFont buttonFont = exitButton_->font();
    buttonFont.setPixelSize(std::min(11, layout.exitButtonRect.height() - 6));
    exitButton_->setFont(buttonFont);
    exitButton_->setAutoDefault(false);
    exitButton_->setStyleSheet(
        QStringLiteral("QPushButton { border: 1px solid #5a7d70; background: #e8f4ef; }"
                       "QPushButton:hover { background: #ffffff; }"
                       "QPushButton:pressed { background: #b9dccd; }"));
    connect(exitButton_, &QPushButton::clicked, this, [this, onExitButton] {
        if (onExitButton) onExitButton();
        done(0);
    });
}

QLabel* HelpWindow::AddLabel(const HelpLabel& entry, const QFont& labelFont) {
    auto* label = new QLabel(this);
    label->setObjectName(QStringLiteral("ctl%1").arg(entry.id));
    label->setGeometry(entry.rect);
    label->setFont(labelFont);
    // The product joins lines with a bare CR; Qt breaks lines on LF.
    QString shown = entry.text;
    shown.replace(QLatin1Char('\r'), QLatin1Char('\n'));
    label->setText(shown);
    label->setProperty("productText", entry.text);
    label->setTextFormat(Qt::PlainText);
    label->setAlignment(entry.sunken ? (Qt::AlignLeft | Qt::AlignVCenter)
                                    : (Qt::AlignLeft | Qt::AlignTop));
    label->setWordWrap(false);
    QPalette pal = label->palette();
    pal.setColor(QPalette::WindowText, entry.foreground);
    if (entry.background.isValid()) {
        pal.setColor(QPalette::Window, entry.background);
        label->setAutoFillBackground(true);
    }
    label->setPalette(pal);
    if (entry.sunken) {
        label->setFrameStyle(QFrame::Panel | QFrame::Sunken);
        label->setLineWidth(1);
    }
    labels_.push_back(label);
    return label;
}

QLabel* HelpWindow::Label(int id) const {
    for (QLabel* l : labels_)
        if (l->objectName() == QStringLiteral("ctl%1").arg(id)) return l;
    return nullptr;
}

void HelpWindow::keyPressEvent(QKeyEvent* e) {
    // Escape does nothing here; only "Exit Help" and the close box end the window.
    if (e->key() == Qt::Key_Escape) {
        e->accept();
        return;
    }
    QDialog::keyPressEvent(e);
}

void RunHelpWindow(QWidget* owner, const HelpLayout& layout, std::function<void()> onExitButton) {
    HelpWindow window(owner, layout, std::move(onExitButton));
    QScreen* screen = owner ? owner->screen() : QGuiApplication::primaryScreen();
    if (screen) {
        const QRect work = screen->availableGeometry();
        QRect frame(QPoint(0, 0), layout.clientSize);
        frame.moveCenter(work.center());
        window.move(frame.topLeft());
    }
    window.exec();
}

}  // namespace hv::ui
