#pragma once

#include <QByteArray>
#include <QByteArrayView>

#include <vector>

namespace jackwell {

class Clock;

namespace keeper {

// A flooding player's messages come by the thousand, and the server drops the robot if it falls
// behind reading them. The messages of the players last found flooding (see KeeperFloodGuard)
// are dropped here until their time is up, before they are even parsed: one comparison a line.
class KeeperFloodScreen {
public:
    // Floods screened at once; a new one takes the place of the one whose time is up first.
    static constexpr int kScreenedAtMost = 8;

    explicit KeeperFloodScreen(Clock& clock)
        : clock_(clock) {}

    // Drops the lines that begin with `prefix` (":nick!user@host PRIVMSG ") for `forMs`.
    void screen(const QByteArray& prefix, qint64 forMs);
    // Whether a received line is to be dropped unread.
    bool screensOut(QByteArrayView line) const;

private:
    struct Screened {
        QByteArray prefix;
        qint64 untilMs = 0; // monotonic
    };

    Clock& clock_;
    std::vector<Screened> screened_;
};

} // namespace keeper
} // namespace jackwell
