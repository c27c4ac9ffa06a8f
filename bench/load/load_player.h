#pragma once

#include "irc/irc_line_reader.h"
#include "irc/irc_message.h"

#include <QByteArray>
#include <QList>
#include <QObject>
#include <QTcpSocket>

#include <deque>
#include <functional>
#include <memory>
#include <random>
#include <vector>

namespace jackwell {

class Alarm;
class Clock;

namespace load {

// One simulated player: connects to the server, joins the robot's channel (as a player's card
// does, to find the robot), registers with the machinekeeper and plays its games one after the
// other, thinking a random while before each hold and holding random reels. A hold that gets no
// result in time (the robot gone, say) is sent again; a result the robot tells again (the same
// result line followed by the same first draw) is recognised and answered by sending the holds
// again, since they were not played.
//
// A player may play on several robots that share its wallet: after each result it registers with
// the next robot and plays its next game there.
//
// On a network that splits, a player whose robot is out of reach (the server says there is no such
// nick, or the robot leaves with the split) moves to a robot on its own server, which finds its
// game in the shared books, and goes back once its robot is seen again, after a result. Such a
// player also takes a result from its other robots: the one it left may tell it a result the split
// kept from it once the network is whole again. A connection the server kills (the same nickname on
// both sides of a split that heals) is made again, as after a drop.
//
// A player that drops its connection sends QUIT in the same write as each hold, connects again
// under the same name, joins, and sends the same holds again, as a card whose network failed
// just then would.
class LoadPlayer : public QObject {
public:
    struct Settings {
        quint16 port = 0;
        QList<QByteArray> keepers; // the robots it plays on, the first one first
        int games = 20;
        int thinkMinMs = 500;
        int thinkMaxMs = 2500;
        int resendMs = 5000;     // no answer at all
        int retryMs = 500;       // the server said the robot is not there
        int rejoinWaitMs = 1000; // back after a dropped connection, before asking again
        QByteArray channel;      // joined before playing, when set
        bool dropsConnection = false;
        // Open loop: the holds go at the times playAt() gives, whatever the answers before
        // them took, and each game's latency counts from its time; `games` and the thinking
        // time are not used.
        bool openLoop = false;
        // Robots on the player's own server, where it goes when its robot is out of reach (a
        // network that splits); none: it waits for its robot.
        QList<QByteArray> nearKeepers;
    };

    struct Result {
        QList<QByteArray> finals;        // each result line taken, in order
        QList<QByteArray> firsts;        // every first draw told, in order
        std::vector<qint64> latenciesMs; // from the first sending of a hold to its result
        int resent = 0;                  // holds and registrations sent again
        int toldAgain = 0;               // results told again and recognised as such
        int unasked = 0;                 // results that came when none was asked for
        int drops = 0;                   // connections dropped right after a hold
        std::vector<qint64> finalsAtMs;  // when each result came (monotonic)
        int movedNear = 0;               // times its robot was out of reach
        int killed = 0;                  // connections the server closed (a nickname collision)
    };

    LoadPlayer(Clock& clock, QByteArray nick, Settings settings, quint64 seed,
               std::function<void()> finished);
    ~LoadPlayer() override;

    void start();
    bool isDone() const { return phase_ == Phase::Done; }
    const QByteArray& nick() const { return nick_; }
    const Result& result() const { return result_; }
    int gamesDone() const { return int(result_.finals.size()) - result_.unasked; }
    int gamesWanted() const { return settings_.openLoop ? gamesGiven_ : settings_.games; }
    QString failure() const { return failure_; }

    // Open loop: one more game, its holds due at `atMs` (monotonic).
    void playAt(qint64 atMs);
    // Open loop: registered, and every game given played.
    bool isIdle() const { return phase_ == Phase::Thinking && slots_.empty(); }
    // Open loop: leaves once every game given is played.
    void finishWhenPlayed();
    qint64 lastResultAtMs() const { return finalAtMs_; }

private:
    enum class Phase { Connecting, Joining, AwaitFirst, Thinking, AwaitFinal, AwaitNext, Done };

    void connectNow();
    void onWelcome();
    void onJoined();
    void onDisconnected();
    void readAvailable();
    void handle(const IrcMessage& message);
    void onKeeperText(const QByteArray& text);
    void takeResult(const QByteArray& followedBy);
    void sendHolds();
    void holdsWhenDue();
    void timedOut();
    void say(const QByteArray& text);
    void finish(const QString& failure = {});
    bool outOfReach(const QByteArray& robot);
    bool isMine(const QByteArray& robot) const;
    QByteArray reachable(const QByteArray& robot) const;
    const QByteArray& keeper() const { return current_; }

    Clock& clock_;
    QByteArray nick_;
    Settings settings_;
    std::mt19937_64 random_;
    std::function<void()> finished_;
    QTcpSocket socket_;
    IrcLineReader reader_;
    std::unique_ptr<Alarm> thinkAlarm_;
    std::unique_ptr<Alarm> resendAlarm_;
    std::unique_ptr<Alarm> reconnectAlarm_;
    Phase phase_ = Phase::Connecting;
    qsizetype keeperIndex_ = 0; // the robot it plays on now
    QByteArray current_;        // that robot, or one on its own server while that one is away
    QList<QByteArray> away_;    // its robots out of reach just now
    bool fromCurrent_ = true;   // the line being read came from that robot
    bool reconnecting_ = false; // dropped on purpose; the holds go again once back
    // The QUIT went out on this connection: whatever it still answers (a JOIN sent before) is
    // of no use.
    bool leaving_ = false;
    QByteArray currentFirst_; // the first draw the holds are for
    QByteArray holds_;        // the holds message of the game in play
    QByteArray pendingFinal_; // a result waiting for the line after it
    QByteArray lastFinal_;    // the last result taken
    qint64 holdsSentAtMs_ = 0;
    qint64 finalAtMs_ = 0;
    Result result_;
    QString failure_;
    std::deque<qint64> slots_; // open loop: when the games given are due
    int gamesGiven_ = 0;
    bool finishing_ = false;
};

} // namespace load
} // namespace jackwell
