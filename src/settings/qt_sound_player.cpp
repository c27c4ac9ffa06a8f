#include "settings/qt_sound_player.h"

#include <QFileInfo>
#include <QSoundEffect>
#include <QUrl>

namespace jackwell {

namespace {
const QUrl kAlertSound(QStringLiteral("qrc:/assets/sounds/beep.wav"));
}

QtSoundPlayer::QtSoundPlayer()
    : effect_(std::make_unique<QSoundEffect>()), beep_(std::make_unique<QSoundEffect>()) {
    beep_->setSource(kAlertSound);
}

QtSoundPlayer::~QtSoundPlayer() = default;

void QtSoundPlayer::PlaySound(const QString& filename, bool repeat) {
    effect_->stop();
    const QFileInfo file(filename);
    const bool playable = !filename.trimmed().isEmpty() && file.isFile() && file.isReadable();
    if (!playable) {
        if (repeat) { // the alert sound stands in for a looping sound that cannot play
            effect_->setSource(kAlertSound);
            effect_->setLoopCount(QSoundEffect::Infinite);
            effect_->play();
        }
        return;
    }
    effect_->setSource(QUrl::fromLocalFile(file.absoluteFilePath()));
    effect_->setLoopCount(repeat ? QSoundEffect::Infinite : 1);
    effect_->play();
}

void QtSoundPlayer::StopSound() { PlaySound(QStringLiteral(" "), false); }

void QtSoundPlayer::beep() { beep_->play(); }

} // namespace jackwell
