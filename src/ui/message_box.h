// Message boxes of both programs with the fixed captions and texts of the
// product, and a hook so that tests can answer them without a modal loop.
#pragma once

#include <QMessageBox>
#include <QObject>
#include <QPointer>
#include <QString>
#include <functional>
#include <string>

#include "video/messages.h"

namespace hv::ui {

// Answers one box: (owner, icon, caption, text, buttons) -> the button pressed.
using MessageBoxHook = std::function<QMessageBox::StandardButton(
    QWidget*, QMessageBox::Icon, const QString&, const QString&, QMessageBox::StandardButtons)>;

// Replaces the modal QMessageBox by hook (empty: back to real boxes).
// GUI thread only; meant for tests.
void SetMessageBoxHook(MessageBoxHook hook);

// Sees the detail text of every box that has one, before the box is shown or
// answered by the hook above (empty: none). GUI thread only; for tests.
using MessageBoxDetailHook = std::function<void(const QString& text, const QString& detail)>;
void SetMessageBoxDetailHook(MessageBoxDetailHook hook);

// Shows a modal box owned by owner and returns the button pressed. A
// non-empty `detail` is the box's detailed text (behind its "Show
// Details..." button), apart from the fixed `text`. GUI thread only.
QMessageBox::StandardButton ShowMessageBox(QWidget* owner, QMessageBox::Icon icon,
                                           const QString& caption, const QString& text,
                                           QMessageBox::StandardButtons buttons = QMessageBox::Ok,
                                           const QString& detail = QString());

// Shows boxes on behalf of any thread: a call from a worker is queued to the
// GUI thread and returns at once (the worker never waits for the user), so a
// GUI thread that waits for that worker cannot dead-lock. Boxes that arrive
// after the owner window is gone are dropped. Create on the GUI thread.
class MessageBoxPoster : public QObject {
    Q_OBJECT
  public:
    explicit MessageBoxPoster(QWidget* owner);

    // Any thread. `detail`: see ShowMessageBox.
    void Post(QMessageBox::Icon icon, const QString& caption, const QString& text,
              const QString& detail = QString());

    // Boxes shown so far (GUI thread).
    int ShownCount() const { return shown_; }

  private:
    void ShowNow(int icon, const QString& caption, const QString& text, const QString& detail);

    QPointer<QWidget> owner_;
    int shown_ = 0;
};

// The frame source build's failure messages as message boxes: "Error
// Monitoring" boxes (information icon) owned by the window, "Error" boxes
// (error icon) without an owner. Called on the video worker; the box is
// queued to the GUI thread and the worker goes on to its clean-up at once.
class MessageBoxSink : public MessageBoxPoster, public hv::MessageSink {
    Q_OBJECT
  public:
    explicit MessageBoxSink(QWidget* owner) : MessageBoxPoster(owner) {}
    void ShowMessage(hv::MessageKind kind, const std::string& caption,
                     const std::string& text) override;
    void ShowDetailedMessage(hv::MessageKind kind, const std::string& caption,
                             const std::string& text, const std::string& detail) override;
};

}  // namespace hv::ui
