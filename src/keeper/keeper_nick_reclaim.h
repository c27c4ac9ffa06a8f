#pragma once

#include "keeper/keeper_log.h"

#include <QByteArray>

#include <functional>
#include <memory>

namespace jackwell {

class Alarm;
class Clock;
class IrcConnection;
struct IrcMessage;

namespace keeper {

class KeeperSendQueue;

// Under a fallback nickname (its own was taken when it connected, or the server renamed it) the
// robot watches its own and takes it back at once when it can, else once it is free: with MONITOR
// where the server has it, else by asking with every probe (ISON) whether its own nickname is
// there, and every kNickWatchMs when nothing else sends a probe.
class KeeperNickReclaim {
public:
    // Without MONITOR, how often the robot asks whether its own nickname is free.
    static constexpr int kNickWatchMs = 30000;

    struct Hooks {
        // A probe (see probeLine()) is to be queued.
        std::function<void()> queueProbe;
        // The robot has its own nickname again.
        std::function<void()> reclaimed;
        KeeperLogger log;
    };

    // The nickname wanted is `connection`'s configured one; both parts must outlive this.
    KeeperNickReclaim(Clock& clock, IrcConnection& connection, KeeperSendQueue& queue, Hooks hooks);
    ~KeeperNickReclaim();

    // The end of the server's welcome, MONITOR news and the robot's own change of nickname;
    // false for any other message.
    bool take(const IrcMessage& message);
    // The probe: ISON about the robot, a command every server answers (RPL_ISON), harmless,
    // and answered only after the server has handled every line sent before it. Under a
    // fallback nickname without MONITOR it asks about the robot's own nickname as well: an
    // answer that does not name it says that it is free. `alsoAsked` go in the same question,
    // as one space-separated last parameter (servers take no more than 15 parameters).
    QByteArray probeLine(const QList<QByteArray>& alsoAsked = {}) const;
    void probeAnswered(const IrcMessage& answer);
    // The connection was lost: nothing is watched until the next one has greeted the robot.
    void reset();

private:
    bool isUnderFallback() const;
    void watch(bool sayWhy);
    void claim();
    void sendAside(const QByteArray& line);
    void changed(const QByteArray& nick);

    IrcConnection& connection_;
    KeeperSendQueue& queue_;
    Hooks hooks_;
    std::unique_ptr<Alarm> alarm_;
    bool monitoring_ = false;
};

} // namespace keeper
} // namespace jackwell
