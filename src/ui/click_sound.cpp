#include "ui/click_sound.h"

#include <QAudioDevice>
#include <QMediaDevices>
#include <QSoundEffect>

namespace hv::ui {

namespace {
// HV_NO_SOUND=1 keeps the programs quiet (tests, headless runs).
bool SoundDisabled() {
    return qEnvironmentVariableIntValue("HV_NO_SOUND") != 0;
}
}  // namespace

ClickSound::ClickSound(const QUrl& wav, QObject* parent) : QObject(parent) {
    if (SoundDisabled()) return;
    // Without any output device QSoundEffect only produces warnings.
    if (QMediaDevices::audioOutputs().isEmpty()) return;
    effect_ = new QSoundEffect(this);
    effect_->setSource(wav);
    effect_->setVolume(0.6f);
}

ClickSound::~ClickSound() = default;

void ClickSound::Play() {
    ++playCount_;
    if (!effect_ || effect_->status() == QSoundEffect::Error) return;
    if (effect_->isPlaying()) effect_->stop();
    effect_->play();
}

bool ClickSound::Audible() const {
    return effect_ != nullptr && effect_->status() == QSoundEffect::Ready;
}

}  // namespace hv::ui
