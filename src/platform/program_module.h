#pragma once

#include <QString>
#include <QStringList>

namespace jackwell {

// Parts of the program that need a large library (Qt Multimedia for the sound, Qt Network for
// an IRC network) live in shared libraries of their own, modules the program opens when it
// first needs them rather than at start. Each has one entry point, a C function.

// Where the module `fileName` may lie for the program in `executableDir`, in this order: beside
// it in the build tree, in the library folder's jackwell/modules/ as installed; for a copy of the
// program in a folder of its own, where the build installs its modules and where it built them.
QStringList programModulePlaces(const QString& executableDir, const QString& fileName);

// The entry point `entry` of the first module in `places` that exists, opened for the rest of
// the run; null when there is none or it cannot be opened, with why in `error`.
QFunctionPointer openProgramModule(const QStringList& places, const char* entry, QString* error);

} // namespace jackwell
