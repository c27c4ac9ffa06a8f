// The sound module: QtSoundPlayer in a shared library of its own, opened by the program after
// its first paint (SoundModule), so that Qt Multimedia and the audio libraries behind it are not
// loaded and relocated while the player waits for the card. Its entry is kSoundModuleEntry.

#include "sound/qt_sound_player.h"

#include <QtGlobal>

extern "C" Q_DECL_EXPORT jackwell::SoundOutput* jackwellCreateSoundOutput() {
    return new jackwell::QtSoundPlayer();
}
