#pragma once

#include <QByteArray>
#include <QHash>
#include <QList>
#include <QString>

#include <deque>
#include <functional>
#include <memory>

namespace jackwell {

class Alarm;
class Clock;
struct IrcMessage;

namespace keeper {

// Players who left while something they had not yet been seen to receive was on its way to them:
// a result, or a first draw told on its own. A player whose connection dropped right after their
// holds is usually back within moments, and their card does not ask again; so the robot asks the
// server whether they are back, in the ISON its probes send anyway (see KeeperProbeWindow), and
// tells them what they missed as soon as they are. Waiting for them to write would cost a player
// who just connected more than a second on servers that hold back a new client's first lines.
//
// It asks often at first and more rarely as time goes on, and forgets a player after
// kForgetAfterMs: their books still hold what they missed, and they are told it when they next
// write. While the server's flood limits apply to the robot it asks at most every kPacedPollMs,
// so that the players it serves keep its lines. Only where players are known by their nickname:
// who owns an account cannot be learnt from ISON.
class KeeperReturnWatch {
public:
    static constexpr qsizetype kMaxWatched = 5000;
    // Bytes of nicknames one probe asks about at most; more are asked about in turn.
    static constexpr int kNickBytesPerProbe = 380;
    static constexpr int kFirstPollMs = 100; // the first kFirstPollsForMs after a departure
    static constexpr qint64 kFirstPollsForMs = 10 * 1000;
    static constexpr int kLaterPollMs = 2000; // then until kForgetAfterMs
    static constexpr int kPacedPollMs = 2000;
    static constexpr qint64 kForgetAfterMs = 5 * 60 * 1000;

    struct Hooks {
        // Sends a probe soon; its ISON carries probeNicks().
        std::function<void()> queueProbe;
        // True while the server's flood limits apply to the robot's lines.
        std::function<bool()> paced;
        // `nick` (the player `recipient`) is back on the network.
        std::function<void(const QByteArray& nick, const QString& recipient)> returned;
        // The player key of a nickname the server names.
        std::function<QString(QByteArrayView nick)> keyOf;
    };

    KeeperReturnWatch(Clock& clock, Hooks hooks);
    ~KeeperReturnWatch();

    // `recipient` (a player key, which is also a nickname the server takes for it) left before
    // something on its way to them was seen to arrive.
    void watch(const QString& recipient);
    // They wrote: whatever they missed is told in the answer.
    void forget(const QString& recipient);
    // Whether `recipient` was watched; no longer (they are seen back some other way).
    bool take(const QString& recipient) { return since_.remove(recipient); }
    // The nicknames the next probe asks about, a share of those watched in turn.
    QList<QByteArray> probeNicks();
    // An ISON answer: whoever watched it names is back.
    void answered(const IrcMessage& answer);

private:
    void forgetOld(qint64 now);
    void schedule();

    Clock& clock_;
    Hooks hooks_;
    std::unique_ptr<Alarm> alarm_;
    QHash<QString, qint64> since_; // recipient, when last watched
    std::deque<QString> turns_;    // whose turn it is to be asked about next; may hold stale names
    qint64 youngestMs_ = 0;
};

} // namespace keeper
} // namespace jackwell
