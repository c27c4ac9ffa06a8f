#pragma once

#include <QByteArray>
#include <QString>

#include <functional>

class QObject;

namespace jackwell {

class Clock;

namespace load {

// What the load tool's servers and robots share: their files, their end with this program, and
// the wait for what they write.

// The file's bytes from `from` on; empty when it cannot be read.
QByteArray readFile(const QString& path, qint64 from = 0);
// False, with `error` naming the file, when it cannot be written whole.
bool writeFile(const QString& path, const QByteArray& text, QString* error);
// For QProcess::setChildProcessModifier: the child ends with this program, whatever happens to
// it (unless the child changes its user, as ngircd and PostgreSQL do: those are stopped by PID).
void dieWithParent();
// Asks `done` now and every 20 ms until it holds or `budgetMs` have been spent, then `then`
// (true when it held); nothing more once `context` is gone.
void pollUntil(Clock& clock, QObject* context, std::function<bool()> done, int budgetMs,
               std::function<void(bool)> then);

} // namespace load
} // namespace jackwell
