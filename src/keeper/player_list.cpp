#include "keeper/player_list.h"

#include "platform/key_value_file.h"

#include <QDateTime>
#include <QHash>

#include <algorithm>

namespace jackwell::keeper {

QStringList listPlayers(const LedgerRows& rows) {
    // The time of each player's last game, -1 when no game of theirs carries one.
    QHash<QString, qint64> lastPlayed;
    for (const LedgerGame& game : rows.games) {
        qint64& last = lastPlayed.insert(game.player, lastPlayed.value(game.player, -1)).value();
        last = std::max(last, game.playedAt);
    }
    std::vector<const LedgerPlayer*> players;
    players.reserve(rows.players.size());
    for (const LedgerPlayer& player : rows.players)
        players.push_back(&player);
    std::ranges::sort(players, {}, &LedgerPlayer::name);

    QStringList lines;
    for (const LedgerPlayer* player : players) {
        QString last = QStringLiteral("-");
        if (player->gamesPlayed > 0) {
            const qint64 at = lastPlayed.value(player->name, -1);
            last = at < 0 ? QStringLiteral("unknown")
                          : QDateTime::fromSecsSinceEpoch(at, Qt::UTC).toString(Qt::ISODate);
        }
        lines << QStringLiteral("%1 credits=%2 games=%3 tokens=%4 last=%5")
                     .arg(KeyValueFile::escaped(player->name))
                     .arg(player->credits)
                     .arg(player->gamesPlayed)
                     .arg(player->tokensWon)
                     .arg(last);
    }
    return lines;
}

} // namespace jackwell::keeper
