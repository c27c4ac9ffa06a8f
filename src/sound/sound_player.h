#pragma once

#include <QString>

namespace jackwell {

// Wave playback in the background. At most one sound plays at a time; each
// request ends the one playing. Played once, a missing or unplayable file is
// silence; looping, the platform's alert sound stands in for it.
class SoundPlayer {
public:
    virtual ~SoundPlayer() = default;
    virtual void playSound(const QString& filename, bool repeat) = 0;
    virtual void stopSound() = 0;
};

} // namespace jackwell
