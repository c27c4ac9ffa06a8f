#pragma once

#include "history/history_figures.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QString>

#include <optional>
#include <vector>

namespace jackwell::history {

// The final results the card saw from its machinekeeper on a network, kept in the player's data
// folder so that the statistics outlast the program: one file per network and machinekeeper,
// one line per game, the result as the machinekeeper sent it ("FINAL: | 07 | 12 | 14 | Credits:
// (105)"). The file keeps the last kKeptGames games (it is cut back to them once it holds a
// tenth more); a line that cannot be read, as in a damaged file, is passed over and counted, and
// only the last kMostBytesRead bytes of a file are ever read.
class FinalLinesFile {
public:
    static constexpr qsizetype kKeptGames = 100'000;
    static constexpr qint64 kMostBytesRead = 16 * 1024 * 1024;

    explicit FinalLinesFile(QString path);

    // games-SERVER-KEEPER.txt in `dataDir`; the names are written so that any server name and
    // nickname make one plain file name, the nickname compared without letter case as networks
    // compare them.
    static QString pathFor(const QString& dataDir, const QString& server, const QString& keeper);

    // Adds the result `finalText`; false, with `error` set, when it is no result or the file
    // cannot be written. The same result twice in a row (told again after a lost connection)
    // is kept once.
    bool append(const QString& finalText, QString* error);

    struct Reading {
        std::vector<PlayedGame> games; // oldest first
        qsizetype unreadableLines = 0;
        QString error; // the file could not be read at all; empty when it could, or is not there
    };
    Reading read() const;

    const QString& path() const { return path_; }

private:
    bool countLines(QString* error);
    bool cutBack(QString* error);

    QString path_;
    std::optional<qsizetype> lines_; // in the file, once counted
    QByteArray lastLine_;
};

// A result line read back: "FINAL: | 07 | 12 | 14 | Credits: (105)" and nothing else.
std::optional<PlayedGame> parseFinalText(QByteArrayView text);

} // namespace jackwell::history
