#include "sound/qt_sound_player.h"

#include <QAudioDevice>
#include <QFileInfo>
#include <QMediaDevices>
#include <QSoundEffect>
#include <QUrl>

namespace jackwell {

namespace {
const QUrl kAlertSound(QStringLiteral("qrc:/assets/sounds/beep.wav"));
} // namespace

QtSoundPlayer::QtSoundPlayer() = default;

QtSoundPlayer::~QtSoundPlayer() = default;

bool QtSoundPlayer::hasAudioOutput() {
    if (!devices_) {
        devices_ = std::make_unique<QMediaDevices>();
        QObject::connect(devices_.get(), &QMediaDevices::audioOutputsChanged, devices_.get(),
                         [this] { outputKnown_ = false; });
    }
    if (!outputKnown_) {
        hasOutput_ = !QMediaDevices::audioOutputs().isEmpty();
        outputKnown_ = true;
    }
    return hasOutput_;
}

QSoundEffect& QtSoundPlayer::effect() {
    if (!effect_) {
        effect_ = std::make_unique<QSoundEffect>();
        // A file that turns out not to be playable: silence when played once,
        // the alert sound in its place when looping. Queued, so the source is
        // not changed from inside the effect's own signal.
        QObject::connect(
            effect_.get(), &QSoundEffect::statusChanged, effect_.get(),
            [this] {
                if (effect_->status() == QSoundEffect::Error && looping_ &&
                    effect_->source() != kAlertSound)
                    loopAlert();
            },
            Qt::QueuedConnection);
    }
    return *effect_;
}

void QtSoundPlayer::loopAlert() {
    QSoundEffect& sound = effect();
    sound.setSource(kAlertSound);
    sound.setLoopCount(QSoundEffect::Infinite);
    sound.play();
}

void QtSoundPlayer::playSound(const QString& filename, bool repeat) {
    looping_ = repeat;
    if (effect_)
        effect_->stop();
    if (!hasAudioOutput())
        return;
    const QFileInfo file(filename);
    if (filename.trimmed().isEmpty() || !file.isFile() || !file.isReadable()) {
        if (repeat)
            loopAlert();
        return;
    }
    QSoundEffect& sound = effect();
    sound.setSource(QUrl::fromLocalFile(file.absoluteFilePath()));
    sound.setLoopCount(repeat ? QSoundEffect::Infinite : 1);
    if (sound.status() == QSoundEffect::Error) { // known unplayable: no new status comes
        if (repeat)
            loopAlert();
        return;
    }
    sound.play(); // plays as soon as the file is loaded
}

void QtSoundPlayer::stopSound() {
    playSound(QStringLiteral(" "), false);
}

void QtSoundPlayer::beep() {
    if (!hasAudioOutput())
        return;
    if (!alert_) {
        alert_ = std::make_unique<QSoundEffect>();
        alert_->setSource(kAlertSound);
    }
    alert_->play();
}

} // namespace jackwell
