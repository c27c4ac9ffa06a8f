#pragma once

#include "sound/beeper.h"
#include "sound/sound_player.h"

namespace jackwell {

// One object that plays the player's sounds and the reels' beep: what the sound module makes.
class SoundOutput : public SoundPlayer, public Beeper {};

// The sound module's entry point: `SoundOutput* jackwellCreateSoundOutput()`, a new sound
// output owned by the caller.
inline constexpr char kSoundModuleEntry[] = "jackwellCreateSoundOutput";

} // namespace jackwell
