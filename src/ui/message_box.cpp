#include "ui/message_box.h"

#include <QMetaObject>
#include <QThread>

namespace hv::ui {

namespace {
MessageBoxHook& Hook() {
    static MessageBoxHook hook;
    return hook;
}
MessageBoxDetailHook& DetailHook() {
    static MessageBoxDetailHook hook;
    return hook;
}
}  // namespace

void SetMessageBoxHook(MessageBoxHook hook) {
    Hook() = std::move(hook);
}

void SetMessageBoxDetailHook(MessageBoxDetailHook hook) {
    DetailHook() = std::move(hook);
}

QMessageBox::StandardButton ShowMessageBox(QWidget* owner, QMessageBox::Icon icon,
                                           const QString& caption, const QString& text,
                                           QMessageBox::StandardButtons buttons,
                                           const QString& detail) {
    if (!detail.isEmpty() && DetailHook()) DetailHook()(text, detail);
    if (Hook()) return Hook()(owner, icon, caption, text, buttons);
    QMessageBox box(icon, caption, text, buttons, owner);
    if (!detail.isEmpty()) box.setDetailedText(detail);
    return static_cast<QMessageBox::StandardButton>(box.exec());
}

MessageBoxPoster::MessageBoxPoster(QWidget* owner) : QObject(owner), owner_(owner) {}

void MessageBoxPoster::Post(QMessageBox::Icon icon, const QString& caption, const QString& text,
                            const QString& detail) {
    const int iconValue = static_cast<int>(icon);
    if (QThread::currentThread() == thread()) {
        ShowNow(iconValue, caption, text, detail);
        return;
    }
    QMetaObject::invokeMethod(
        this,
        [this, iconValue, caption, text, detail] { ShowNow(iconValue, caption, text, detail); },
        Qt::QueuedConnection);
}

void MessageBoxPoster::ShowNow(int icon, const QString& caption, const QString& text,
                               const QString& detail) {
    if (!owner_) return;
    ++shown_;
    const auto boxIcon = static_cast<QMessageBox::Icon>(icon);
    // "Error" boxes have no owner window; everything else belongs to the owner.
    ShowMessageBox(boxIcon == QMessageBox::Critical ? nullptr : owner_.data(), boxIcon, caption,
                   text, QMessageBox::Ok, detail);
}

void MessageBoxSink::ShowMessage(hv::MessageKind kind, const std::string& caption,
                                 const std::string& text) {
    QString shown = QString::fromStdString(text);
    shown.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    Post(kind == hv::MessageKind::Error ? QMessageBox::Critical : QMessageBox::Information,
         QString::fromStdString(caption), shown);
}

void MessageBoxSink::ShowDetailedMessage(hv::MessageKind kind, const std::string& caption,
                                         const std::string& text, const std::string& detail) {
    QString shown = QString::fromStdString(text);
    shown.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    Post(kind == hv::MessageKind::Error ? QMessageBox::Critical : QMessageBox::Information,
         QString::fromStdString(caption), shown, QString::fromStdString(detail));
}

}  // namespace hv::ui
