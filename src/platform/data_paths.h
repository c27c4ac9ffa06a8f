#pragma once

#include <QString>

namespace jackwell {

// Where the program finds its own data and keeps the player's preferences.

// The folder of the program's own data (its sounds, ...), found from the executable's folder:
// the executable's folder itself in the build tree, where sounds/ lies beside the executable;
// otherwise ../share/jackwell from there, as installed.
QString jackwellDataDir(const QString& executableDir);
// The same for the running executable.
QString jackwellDataDir();
// The program's own winning and losing sounds (win.wav, lose.wav) in a data folder.
QString bundledSoundsDir(const QString& dataDir);

// The program's preferences file (the chat window's place, ...), in the user's configuration
// folder: $XDG_CONFIG_HOME/Jackwell/Jackwell.conf, ~/.config/Jackwell/Jackwell.conf by default.
QString preferencesFilePath();

} // namespace jackwell
