#pragma once

#include <QHash>
#include <QString>

#include <deque>
#include <utility>

namespace jackwell::keeper {

// Whom the robot knows to be gone from the network. A private message to a nickname that has
// left is not only lost: a server may make the sender pay for it (ngircd holds back about two
// seconds of the sender's lines for each), so every player still waiting would wait longer. The
// robot learns of departures from its channel (a member who quits, leaves, is kicked or takes
// another nickname) and from the server's "no such nick" answers; whoever writes to it is there.
//
// A nickname that left the channel may still be on the network; it counts as gone all the same,
// since the robot would not see it quit. Its results stay in the books and are told again when it
// next writes. Players are named by their player keys (see playerKey()).
class KeeperPresence {
public:
    // Departures remembered at most; the oldest are forgotten first.
    static constexpr qsizetype kMaxRemembered = 20000;

    void markGone(const QString& player);
    // Seen in the channel or writing to the robot.
    void markHere(const QString& player);
    bool isGone(const QString& player) const { return gone_.contains(player); }
    // A new connection: what was known of the old one no longer holds.
    void clear();

    qsizetype remembered() const { return gone_.size(); }

private:
    QHash<QString, quint64> gone_; // player, when marked
    std::deque<std::pair<QString, quint64>> order_;
    quint64 counter_ = 0;
};

} // namespace jackwell::keeper
