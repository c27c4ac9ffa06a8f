#pragma once

#include "reels/beeper.h"
#include "settings/sound_player.h"

#include <memory>

class QSoundEffect;

namespace jackwell {

// Wave playback through Qt Multimedia. Returns at once; one sound at a time.
// With no audio device it stays silent.
class QtSoundPlayer final : public SoundPlayer, public Beeper {
public:
    QtSoundPlayer();
    ~QtSoundPlayer() override;
    void PlaySound(const QString& filename, bool repeat) override;
    void StopSound() override;
    void beep() override;

private:
    std::unique_ptr<QSoundEffect> effect_;
    std::unique_ptr<QSoundEffect> beep_;
};

} // namespace jackwell
