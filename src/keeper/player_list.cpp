#include "keeper/player_list.h"

#include "platform/key_value_file.h"

#include <QDateTime>
#include <QHash>

#include <algorithm>

namespace jackwell::keeper {

QStringList listPlayers(const books::Ledger& rows) {
    // The time of each player's last game; invalid when no game of theirs carries one.
    QHash<QString, QDateTime> lastPlayed;
    for (const books::LedgerGame& game : rows.games) {
        QDateTime& last = lastPlayed[game.player];
        if (game.playedAt.isValid() && (!last.isValid() || game.playedAt > last))
            last = game.playedAt;
    }
    std::vector<const books::LedgerPlayer*> players;
    players.reserve(rows.players.size());
    for (const books::LedgerPlayer& player : rows.players)
        players.push_back(&player);
    std::ranges::sort(players, {}, &books::LedgerPlayer::name);

    QStringList lines;
    for (const books::LedgerPlayer* player : players) {
        QString last = QStringLiteral("-");
        if (player->gamesPlayed > 0) {
            const QDateTime at = lastPlayed.value(player->name);
            last = at.isValid() ? at.toUTC().toString(Qt::ISODate) : QStringLiteral("unknown");
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
