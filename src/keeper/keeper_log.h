#pragma once

// The robot's log: Qt's logging categories with levels, every line with its time and zone,
// to stderr (where journald reads it) or to a file. Passwords are never handed to it.

#include "keeper/keeper_config.h"

#include <QLoggingCategory>
#include <QString>

#include <functional>

namespace jackwell::keeper {

// Connections, capabilities, logins, refusals, the books.
Q_DECLARE_LOGGING_CATEGORY(lcKeeper)
// One line per game.
Q_DECLARE_LOGGING_CATEGORY(lcGame)

// Sends every log line (Qt's own warnings included) to stderr, at the info level: the
// program's first step, so that even a fault in the configuration is logged the same way.
void installKeeperLog();
// Logs to `path` instead (appending), or to stderr again when it is empty. False, with `error`
// saying why, when the file cannot be opened; the log stays where it was.
bool setKeeperLogFile(const QString& path, QString* error);
// Opens the log file again by its name (after logrotate moved it away), so that lines go to
// the file now there; false, with `error` saying why, when it cannot be, and the log stays where
// it was. Nothing to do when logging to stderr.
bool reopenKeeperLogFile(QString* error);
// Lines below `level` are left out.
void setKeeperLogLevel(LogLevel level);

// How the robot and its parts log a line.
using KeeperLogger = std::function<void(QtMsgType type, const QString& text)>;
// Logs to lcKeeper at the line's level, and hands the text to `listener` too when there is one
// (tests read the robot's lines there).
KeeperLogger keeperLogger(std::function<void(const QString& text)> listener);

// One log line: "2026-01-31T18:02:03.456+01:00 info: text", control characters escaped.
QString keeperLogLine(const QDateTime& at, QtMsgType type, const QString& text);

} // namespace jackwell::keeper
