#include "history/game_history.h"

#include "chat/chat_port.h"
#include "machine/texts.h"

#include <QDir>

namespace jackwell::history {

namespace {

const QString kResultMarker = machine::joined({QLatin1StringView(": "), machine::kFinalDrawHead});

// "irc.example.net:6697" is the network irc.example.net, whatever port it was reached on (a
// server without a port stands whole: left() of less than nothing is all).
QString networkOf(const ChatPort& port) {
    const QString server = port.linkStatus().server;
    return server.left(server.lastIndexOf(u':'));
}

} // namespace

GameHistory::GameHistory(QString dataDir)
    : dataDir_(std::move(dataDir)) {}

void GameHistory::attach(ChatPort* port) {
    port_ = port;
}

QString GameHistory::networkFile(const QString& keeperName) const {
    if (!port_ || dataDir_.isEmpty() || keeperName.isEmpty())
        return {};
    return FinalLinesFile::pathFor(dataDir_, networkOf(*port_), keeperName);
}

void GameHistory::resultShown(const QString& line) {
    if (port_ && port_->keptGames())
        return; // that world keeps the games itself
    const qsizetype marker = line.indexOf(kResultMarker);
    if (marker <= 0)
        return;
    const QString path = networkFile(line.left(marker));
    if (path.isEmpty())
        return;
    if (!kept_ || kept_->path() != path)
        kept_.emplace(path);
    QString error;
    if (!kept_->append(line.mid(marker + 2), &error))
        keptProblem_ = QStringLiteral("A result could not be kept: %1").arg(error);
}

GameHistory::Games GameHistory::read(const QString& keeperName) const {
    Games read;
    if (KeptGames* kept = port_ ? port_->keptGames() : nullptr) {
        KeptGames::Reading books = kept->readKeptGames();
        read.source = std::move(books.source);
        read.problem = std::move(books.problem);
        for (const KeptGames::Game& game : books.games)
            read.games.push_back({game.tokensWon, game.creditsAfter, game.cost});
        return read;
    }
    const QString path = networkFile(keeperName);
    if (path.isEmpty()) {
        read.source = port_ && keeperName.isEmpty()
                          ? QStringLiteral("No machinekeeper yet: GET HOST finds the one whose "
                                           "games are shown here.")
                          : QStringLiteral("No games are kept for this chat world.");
        return read;
    }
    FinalLinesFile::Reading file = FinalLinesFile(path).read();
    read.source = QStringLiteral("The results %1 sent on %2, kept in %3")
                      .arg(keeperName, networkOf(*port_), QDir::toNativeSeparators(path));
    read.games = std::move(file.games);
    read.problem = file.error;
    if (file.unreadableLines > 0)
        read.problem = QStringLiteral("%1 lines of %2 could not be read and were passed over.")
                           .arg(file.unreadableLines)
                           .arg(QDir::toNativeSeparators(path));
    if (read.problem.isEmpty())
        read.problem = keptProblem_;
    return read;
}

QString GameHistory::notice() const {
    KeptGames* kept = port_ ? port_->keptGames() : nullptr;
    return kept ? kept->keptGamesNotice() : QString();
}

} // namespace jackwell::history
