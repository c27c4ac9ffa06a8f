#pragma once

#include "settings/options.h"

#include <QByteArray>
#include <QHash>
#include <QString>

#include <functional>

namespace jackwell {

// Settings.txt: ten lines of key and value in turn ("Text1", path, "Text2", path, "Check1",
// box value, "Check2", box value, "Check3", box value), each line ended by CR LF. The file is
// 8-bit text: a value whose bytes are valid UTF-8 is read as UTF-8, any other value byte for
// byte (Latin-1), as an older file from another code page holds it.

// What a read or a write came to. The message is for the player: it names the file and, for a
// reading fault, the line and what is wrong with it. It is empty when all went well.
struct SettingsResult {
    enum Status {
        Ok,
        Missing, // reading only: there is no file yet; nothing was changed
        Failed,
    };
    Status status = Ok;
    QString message;
};

// The bytes each sound path was read from, by the text the program took from them. A path the
// player has not changed since is written back with exactly these bytes, so a path stored in
// another code page survives a run unchanged, byte for byte.
using PathSpellings = QHash<QString, QByteArray>;

// Runs when the reader gives Stay On Top a value it does not hold yet, with the options already
// holding it; this is where the program pins or releases the main window.
using StayOnTopChanged = std::function<void(CheckState newValue)>;

// Where Settings.txt lives: beside the executable when it is there or when the program runs from
// a writable folder of its own (the build tree), otherwise in the player's configuration folder
// (an installed program); see playerFilePath.
QString settingsFilePath(const QString& executableDir);

// Reads the file at path into options. Keys are matched exactly and may stand in any order;
// unknown fields are skipped, the last value of a key wins, and a missing key leaves its option
// as it was. After a key the next field is its value, and the tests for the later keys are then
// made on that value, so a value that reads like a later key is taken as that key.
// Missing: there is no file; the options keep their values and no file is created.
// Failed: the file cannot be read, a key is the last field with no value after it, a box
// value is not a number or not 0, 1 or 2, or the file holds text but not one key (random bytes,
// another program's file; an empty file or blank lines are fine). The options are then left exactly
// as they were and stayOnTopChanged is not called: a file is taken whole or not at all. Pinning the
// window when Stay On Top ends at 1 is the caller's step, after a read that is Ok. A read that is
// Ok adds the bytes of the paths it read to `spellings`, when given.
SettingsResult readSettingsFile(const QString& path, Options& options,
                                const StayOnTopChanged& stayOnTopChanged = {},
                                PathSpellings* spellings = nullptr);

// The same rules on the bytes of a file; path only names the file in messages.
SettingsResult readSettings(const QByteArray& bytes, const QString& path, Options& options,
                            const StayOnTopChanged& stayOnTopChanged = {},
                            PathSpellings* spellings = nullptr);

// Moves a settings file that cannot be read out of the way, so that the program may start with
// its defaults without losing it: it becomes PATH.broken, or PATH.broken.2, .3, ... when that
// name is taken. Gives the new path, or an empty one with the reason in `error`.
QString setBrokenSettingsAside(const QString& path, QString* error);

// The ten lines for options, as writeSettingsFile writes them. A path with a spelling is
// written with those bytes; any other path as the file system names it (QFile::encodeName).
QByteArray serializeSettings(const Options& options, const PathSpellings& spellings = {});

// Replaces the file at path with the ten lines for options. The new text goes to a temporary
// file beside it that is renamed over the old one, so a failure at any point leaves the old file
// whole. A folder that does not exist yet (the configuration folder on a first run) is created.
// Gives Ok or Failed.
SettingsResult writeSettingsFile(const QString& path, const Options& options,
                                 const PathSpellings& spellings = {});

} // namespace jackwell
