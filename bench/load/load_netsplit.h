#pragma once

#include "irc/irc_line_reader.h"
#include "load_player.h"

#include <QObject>
#include <QString>
#include <QStringList>
#include <QTcpSocket>

#include <memory>
#include <vector>

namespace jackwell {

class Clock;

namespace load {

class LoadStack;

// The netsplit run on a network of two linked servers (see ServerLink): robots of even index on
// the first, of odd index on the second, players spread over both so that half of them play with
// a robot on the other server. At a quarter and at half of the games the link is cut for kCutMs,
// then restored and the servers linked again. For each heal the run measures how long the servers
// took to synchronise and how long until every player still playing had a game booked again
// (recovered), and it finds the longest game outside the windows from each cut until it
// recovered (kAfterHealMs after its heal, if it did not).
//
// While the first split lasts, a player also connects to the other server under its own
// name, as a person whose connection seems gone would connect elsewhere; when the link heals the
// servers find the name on both sides and close both connections. The player connects again and
// plays on; the books must show nothing of the other connection.
class NetsplitRun {
public:
    static constexpr int kSplits = 2;
    static constexpr int kCutMs = 10000;
    static constexpr int kAfterHealMs = 10000;
    static constexpr int kTwinRetryMs = 200;

    NetsplitRun(Clock& clock, LoadStack& stack);

    // Where player `index` connects, and the robots on its side of a split.
    void place(int index, LoadPlayer::Settings& settings) const;
    // From the run's watch, with every player launched so far and the games the run plays.
    void watch(const std::vector<std::unique_ptr<LoadPlayer>>& players, int total,
               QStringList& problems);
    // The run's own fields for its line.
    QString fields(const std::vector<std::unique_ptr<LoadPlayer>>& players) const;

private:
    void connectTwin(int index, const LoadPlayer& player);
    struct Split {
        qint64 cutAtMs = 0;
        qint64 healedAtMs = -1;  // the link restored and the servers asked to link
        qint64 relinkedMs = -1;  // from then until both servers were synchronised
        qint64 recoveredMs = -1; // from then until every player had a game booked again
        std::vector<int> gamesAtHeal;
    };

    Clock& clock_;
    LoadStack& stack_;
    QObject context_;
    std::vector<Split> splits_;
    bool linkDown_ = false;
    QTcpSocket twin_; // the first player's name, on the other server during the first split
    IrcLineReader twinReader_;
    int twinKilled_ = 0;
};

} // namespace load
} // namespace jackwell
