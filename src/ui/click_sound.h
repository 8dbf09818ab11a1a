// The click sounds of both programs: a short WAV compiled into the program's
// Qt resources, played asynchronously. Where no audio output exists the sound
// is silently skipped; nothing is ever reported. GUI thread only.
#pragma once

#include <QObject>
#include <QUrl>

class QSoundEffect;

namespace hv::ui {

class ClickSound : public QObject {
    Q_OBJECT
  public:
    // wav: e.g. QUrl("qrc:/player/sounds/TICK.wav").
    explicit ClickSound(const QUrl& wav, QObject* parent = nullptr);
    ~ClickSound() override;

    // Starts the sound (restarting it when it still plays) and returns at once.
    void Play();

    // Number of Play calls so far, whether or not a device made them audible.
    int PlayCount() const { return playCount_; }
    // True when an audio output exists and the sound is loaded.
    bool Audible() const;

  private:
    QSoundEffect* effect_ = nullptr;
    int playCount_ = 0;
};

}  // namespace hv::ui
