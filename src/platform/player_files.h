#pragma once

#include <QString>

namespace jackwell {

// Where the player's own files (Settings.txt, Chat.txt) live.
//
// Beside the executable when the file is already there, or when the program runs from a folder
// of its own that the player can write: the build tree, or a copy kept in a folder of its own.
// Otherwise in the player's configuration folder: always for an installed program (one with its
// data folder ../share/jackwell beside its own folder), even when its folder happens to be
// writable, as it is for root or under a prefix in the player's home, so that nothing is ever
// written among the installed programs.
QString playerFilePath(const QString& executableDir, const QString& fileName);

// $XDG_CONFIG_HOME/Jackwell, or ~/.config/Jackwell when XDG_CONFIG_HOME is unset or not an
// absolute path. The folder is not created here; the writer of a file creates it.
QString playerConfigDir();

// $XDG_DATA_HOME/Jackwell, or ~/.local/share/Jackwell when XDG_DATA_HOME is unset or not an
// absolute path: what the program keeps for the player (the machinekeeper's books in the embedded
// world, the games seen on networks). Not created here either.
QString playerDataDir();

// Whether the executable in executableDir is an installed one: its data folder stands at
// ../share/jackwell.
bool isInstalledProgram(const QString& executableDir);

} // namespace jackwell
