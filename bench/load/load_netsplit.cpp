#include "load_netsplit.h"

#include "clock/clock.h"
#include "irc/irc_message.h"
#include "irc/irc_numerics.h"
#include "load_server_link.h"
#include "load_stack.h"

#include <QHostAddress>

#include <algorithm>

namespace jackwell::load {

NetsplitRun::NetsplitRun(Clock& clock, LoadStack& stack)
    : clock_(clock)
    , stack_(stack) {
    QObject::connect(&twin_, &QTcpSocket::readyRead, &context_, [this] {
        for (const QByteArray& line : twinReader_.feed(twin_.readAll())) {
            const auto message = parseIrcLine(line);
            if (message && message->command == "PING")
                twin_.write("PONG :" + message->last() + "\r\n");
            else if (message && message->command == irc_numeric::welcome)
                twin_.write("JOIN " + LoadStack::kChannel + "\r\n");
            else if (message && (message->command == "KILL" || message->command == "ERROR"))
                twinKilled_ = 1; // closed by the server
            else if (message && message->command == irc_numeric::nicknameInUse)
                // The server has not yet seen the link go: the name again, shortly.
                clock_.callAfter(kTwinRetryMs, &context_, [this, nick = message->param(1)] {
                    twin_.write("NICK " + nick + "\r\n");
                });
        }
    });
}

// The player's name on the server the player is not on; it joins the channel and says nothing.
void NetsplitRun::connectTwin(int index, const LoadPlayer& player) {
    const QByteArray& nick = player.nick();
    QObject::connect(&twin_, &QTcpSocket::connected, &context_, [this, nick] {
        twin_.write("NICK " + nick + "\r\nUSER " + nick + " 0 * :load player elsewhere\r\n");
    });
    LoadPlayer::Settings home;
    place(index, home);
    twin_.connectToHost(QHostAddress::LocalHost,
                        stack_.keeperPort(home.port == stack_.keeperPort(0) ? 1 : 0));
}

// Pairs of players on each server in turn: with the robots alternating too, half the players
// who play on one robot have it on the other server.
void NetsplitRun::place(int index, LoadPlayer::Settings& settings) const {
    const int home = (index / 2) % 2;
    settings.port = stack_.keeperPort(home);
    settings.nearKeepers.clear();
    for (int robot = home; robot < stack_.robots(); robot += 2)
        settings.nearKeepers << LoadStack::keeperNick(robot);
}

void NetsplitRun::watch(const std::vector<std::unique_ptr<LoadPlayer>>& players, int total,
                        QStringList& problems) {
    ServerLink* link = stack_.link();
    if (!link)
        return;
    const qint64 now = clock_.monotonicMs();
    int games = 0;
    for (const auto& player : players)
        games += player->gamesDone();
    // At a quarter and at half the games, each split once the one before is over: every player
    // played again since its heal. (At a third and two thirds, the second heal would come as the
    // players of a default run finish.)
    const auto due = qint64(total) * qint64(splits_.size() + 1) / (kSplits + 2);
    const bool settled = splits_.empty() || splits_.back().recoveredMs >= 0;
    if (!linkDown_ && int(splits_.size()) < kSplits && games >= due && settled) {
        splits_.emplace_back();
        splits_.back().cutAtMs = now;
        linkDown_ = true;
        link->cut();
        // The player with the most games ahead of it is likeliest to be there when it heals.
        const auto twin = std::min_element(players.begin(), players.end(), [](auto& a, auto& b) {
            return a->isDone() < b->isDone() ||
                   (a->isDone() == b->isDone() && a->gamesDone() < b->gamesDone());
        });
        if (splits_.size() == 1 && twin != players.end() && !(*twin)->isDone())
            connectTwin(int(twin - players.begin()), **twin);
        return;
    }
    if (linkDown_ && now - splits_.back().cutAtMs >= kCutMs) {
        linkDown_ = false;
        Split& split = splits_.back();
        split.healedAtMs = now;
        for (const auto& player : players)
            split.gamesAtHeal.push_back(player->isDone() ? -1 : player->gamesDone());
        const std::size_t at = splits_.size() - 1;
        link->heal([this, at, &problems](qint64 ms) {
            splits_[at].relinkedMs = ms;
            if (ms < 0)
                problems << QStringLiteral("the servers did not link again within 30 s");
        });
        return;
    }
    for (Split& split : splits_) {
        if (split.healedAtMs < 0 || split.recoveredMs >= 0)
            continue;
        bool all = true;
        for (std::size_t i = 0; i < split.gamesAtHeal.size() && all; ++i)
            all = players[i]->isDone() || players[i]->gamesDone() > split.gamesAtHeal[i];
        if (all)
            split.recoveredMs = now - split.healedAtMs;
    }
}

QString NetsplitRun::fields(const std::vector<std::unique_ptr<LoadPlayer>>& players) const {
    qint64 longest = 0;
    int moved = 0, killed = 0;
    for (const auto& player : players) {
        const LoadPlayer::Result& result = player->result();
        moved += result.movedNear;
        killed += result.killed;
        for (std::size_t i = 0; i < result.finalsAtMs.size(); ++i) {
            const qint64 end = result.finalsAtMs[i];
            const qint64 begin = end - result.latenciesMs[i];
            const bool inWindow = std::any_of(splits_.begin(), splits_.end(), [&](const Split& s) {
                const qint64 over = s.recoveredMs >= 0 ? s.recoveredMs : kAfterHealMs;
                return end >= s.cutAtMs && (s.healedAtMs < 0 || begin <= s.healedAtMs + over);
            });
            if (!inWindow)
                longest = std::max(longest, result.latenciesMs[i]);
        }
    }
    QStringList relinked, recovered;
    for (const Split& split : splits_) {
        relinked << QStringLiteral("%1ms").arg(split.relinkedMs);
        recovered << QStringLiteral("%1ms").arg(split.recoveredMs);
    }
    return QStringLiteral(" splits=%1 moved=%2 relinked=%3 recovered=%4 longest-outside=%5ms "
                          "collisions=%6 rejoined=%7")
        .arg(splits_.size())
        .arg(moved)
        .arg(relinked.join(u','))
        .arg(recovered.join(u','))
        .arg(longest)
        .arg(twinKilled_)
        .arg(killed);
}

} // namespace jackwell::load
