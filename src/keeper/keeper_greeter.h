#pragma once

#include <QByteArray>
#include <QHash>
#include <QString>

#include <array>

namespace jackwell {

class Clock;
class IrcConnection;

namespace keeper {

class KeeperSendQueue;

// The robot greets its channel with the banner and the announcement when it arrives and, when
// someone joins, at most every kChannelGreetingMs after; a joining player is told privately whom
// to write to. The cards find the machinekeeper by its announcement in their own chat log, which
// starts empty each time a card starts: so every join is greeted, a card started again at once
// included, up to kPlayerGreetings in kPlayerGreetingMs for each player, and none while the
// queue is already kBusyLines behind, so that joins and parts cannot flood the robot's time. A
// robot that takes its own nickname back announces itself anew.
class KeeperGreeter {
public:
    static constexpr qint64 kChannelGreetingMs = 10 * 60 * 1000;
    static constexpr qint64 kPlayerGreetingMs = 60 * 1000;
    static constexpr int kPlayerGreetings = 2;
    static constexpr qsizetype kBusyLines = 20;
    // Players whose greeting is remembered at most; past that, nobody new is greeted until
    // some are due again.
    static constexpr qsizetype kGreetedAtMost = 20000;

    // Greets in `connection`'s channel under its nickname; both must outlive this.
    KeeperGreeter(Clock& clock, KeeperSendQueue& queue, const IrcConnection& connection,
                  bool enabled);

    // No greeting at all while disabled (greet = no).
    void setEnabled(bool enabled) { enabled_ = enabled; }
    // The robot arrived in its channel.
    void greetChannel();
    // Someone else joined the channel the robot is in.
    void greetJoining(const QByteArray& nick, const QString& player);
    // The robot took another nickname: a greeting still waiting, under the name given up, goes
    // unsaid.
    void nicknameChanged(bool inChannel);

private:
    void announce();

    Clock& clock_;
    KeeperSendQueue& queue_;
    const IrcConnection& connection_;
    bool enabled_;
    // Player key, monotonic ms of their last kPlayerGreetings greetings (oldest first).
    QHash<QString, std::array<qint64, kPlayerGreetings>> greetedAt_;
    qint64 channelGreetedAtMs_ = -1;
};

} // namespace keeper
} // namespace jackwell
