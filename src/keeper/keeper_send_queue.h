#pragma once

#include <QByteArray>
#include <QHash>
#include <QString>

#include <deque>
#include <functional>
#include <memory>

namespace jackwell {

class Alarm;
class Clock;

namespace keeper {

// The machinekeeper's outgoing lines, paced so that the server never has cause to hold them
// back, and shared fairly: every recipient (a player, the channel, the robot's own business)
// has a lane, and the lanes take turns one line at a time, so a player who sends a hundred
// messages delays the others by no more than one line per turn. Within a lane, lines keep
// their order.
//
// Pace: at most `lines` lines in any `windowMs` milliseconds. While closed (no connection
// that may speak) everything waits.
class KeeperSendQueue {
public:
    // Lines a second while a server's flood limits apply, unless configured otherwise (`pace`).
    static constexpr int kOrdinaryLines = 3;
    // Those lines are counted over a little more than a second, so that a server counting its
    // own seconds never finds more in one.
    static constexpr int kOrdinaryWindowMs = 1100;

    struct Pace {
        int lines = kOrdinaryLines;
        int windowMs = kOrdinaryWindowMs;
    };
    // Lines a lane may hold back; further lines that may be dropped are dropped.
    static constexpr qsizetype kLaneLimit = 24;
    // Lines all lanes together may hold back; past that, lines that may be dropped are dropped.
    static constexpr qsizetype kTotalLimit = 20000;

    // The lane of the robot's own business (JOIN, WHOIS, probes).
    static inline const QString kOwnLane;
    // The lane of the lines to `channel`.
    static QString channelLane(const QByteArray& channel) {
        return QString::fromLatin1(channel).toLower();
    }

    using Writer = std::function<void(const QByteArray& line)>;
    using Written = std::function<void()>;

    KeeperSendQueue(Clock& clock, Writer write);
    ~KeeperSendQueue();

    // Queues `line` at the end of `lane`. `written` runs right after the line was handed to the
    // writer. A line that may not be dropped is queued even in a full lane; false when the line
    // was dropped.
    bool push(const QString& lane, QByteArray line, Written written = {}, bool droppable = true);

    void setOpen(bool open);
    bool isOpen() const { return open_; }
    void setPace(Pace pace);
    Pace pace() const { return pace_; }
    // Counts lines sent past the queue (registration, a JOIN) against the pace, as sent now.
    void noteSentElsewhere(int lines);

    // Asked before each line: while it says no, lines wait (the peer has not caught up), until
    // poke() is called after it may have changed its mind.
    void setGate(std::function<bool()> mayWrite);
    void poke() { flush(); }
    // While held, lines wait: a robot reading what the server says holds its answers until it
    // has read all of it, so that a line for someone whose departure came in the same read is
    // never written (a server may make the robot wait seconds for every line to nobody).
    void hold() { held_ = true; }
    void release() {
        held_ = false;
        flush();
    }

    qsizetype waitingLines() const { return waiting_; }
    qsizetype waitingIn(const QString& lane) const;
    // How long the oldest line waiting has waited (0: none waits).
    qint64 oldestWaitingMs() const;
    // Drops everything waiting in `lane` (their `written` never runs); returns how many.
    qsizetype dropLane(const QString& lane);
    // Drops everything waiting.
    void clear();

private:
    struct Item {
        QByteArray line;
        Written written;
        qint64 queuedAt = 0;
    };

    void flush();
    void forgetOldSends(qint64 now);

    Clock& clock_;
    Writer write_;
    std::function<bool()> mayWrite_;
    std::unique_ptr<Alarm> alarm_;
    QHash<QString, std::deque<Item>> lanes_;
    std::deque<QString> turns_; // lanes with lines, in the order of their next turn
    std::deque<qint64> sentAt_; // when the lines inside the window went out
    qsizetype waiting_ = 0;
    Pace pace_;
    bool open_ = false;
    bool flushing_ = false;
    bool held_ = false;
};

} // namespace keeper
} // namespace jackwell
