#pragma once

#include "sound/sound_output.h"

#include <memory>

class QMediaDevices;
class QSoundEffect;
class QString;

namespace jackwell {

// Wave playback and the reels' beep through Qt Multimedia. Every call returns at
// once; the sound plays in the background, one at a time, and each request ends
// the one playing. Qt Multimedia is touched only at the first request, and while
// the platform offers no audio output every request is silent, so a machine
// without sound neither fails nor repeats a warning per call.
class QtSoundPlayer final : public SoundOutput {
public:
    QtSoundPlayer();
    ~QtSoundPlayer() override;

    void playSound(const QString& filename, bool repeat) override;
    void stopSound() override;
    void beep() override;

    // Whether the platform offers an audio output now (asks it once, then
    // follows its changes).
    bool hasAudioOutput();

private:
    QSoundEffect& effect();
    void loopAlert();

    std::unique_ptr<QMediaDevices> devices_;
    bool outputKnown_ = false;
    bool hasOutput_ = false;
    std::unique_ptr<QSoundEffect> effect_; // the requested sounds
    std::unique_ptr<QSoundEffect> alert_;  // the beep
    bool looping_ = false;                 // the current request repeats
};

} // namespace jackwell
