#pragma once

#include "irc/irc_config.h"
#include "irc/irc_line_reader.h"
#include "irc/irc_login.h"
#include "irc/irc_message.h"

#include <QMap>
#include <QObject>
#include <QPointer>
#include <QSet>

#include <functional>
#include <memory>

class QTcpSocket;

namespace jackwell {

class Alarm;
class Clock;

// One IRC connection that keeps itself alive: it connects (plain or TLS),
// negotiates capabilities and logs in (see IrcLogin), registers (PASS, NICK,
// USER; a taken nickname gets nick_, then nick1, nick2...), joins the
// configured channel, answers PING, and when the connection is lost connects
// again after pauses that grow from kFirstRetryMs to kLongestRetryMs. A login
// the server refuses ends it for good: trying again would not change the
// answer, and going on logged out is not what was asked for. Everything runs on the event loop of
// the thread that owns it; only openBlocking() waits on the socket itself.
class IrcConnection : public QObject {
public:
    enum class State { Offline, Connecting, Handshaking, Registering, Registered };

    struct Handlers {
        // Every received message except PING and PONG, in order.
        std::function<void(const IrcMessage&)> message;
        // Registration completed (the welcome reply arrived).
        std::function<void()> registered;
        // A registered connection was lost; reconnecting has been scheduled.
        std::function<void(const QString& reason)> lost;
        // Optional: asked about each received line before it is parsed; false drops it. For a
        // program that must keep up with lines it does not want (see KeeperRobot).
        std::function<bool(QByteArrayView line)> screen;
        // Optional: the server refused the login (or a file for it cannot be read); the
        // connection is closed for good. Not called during openBlocking(), which says why.
        std::function<void(const QString& reason)> refused;
        // Optional: a line about the connection for the operator (retries, capabilities, the
        // login), never a secret.
        std::function<void(const QString& text)> note;
        // Optional: every line read so far has been handled (for a program that answers them
        // together, after it has seen all of them).
        std::function<void()> readDone;
    };

    static constexpr int kOpenBudgetMs = 5000;
    static constexpr int kAttemptTimeoutMs = 10000;
    static constexpr int kFirstRetryMs = 1000;
    static constexpr int kLongestRetryMs = 30000;
    // registerAgain may bring an attempt forward, but not more often than this.
    static constexpr int kShortestAttemptGapMs = 1000;
    static constexpr int kIdleBeforePingMs = 120000;
    static constexpr int kPingAnswerMs = 60000;
    static constexpr int kMaxNickTries = 10;
    static inline const QByteArray kUserName = "jackwell";

    IrcConnection(Clock& clock, IrcConfig config, Handlers handlers);
    ~IrcConnection() override;

    // Connects and registers, waiting on the socket for at most kOpenBudgetMs
    // (before the program's windows are shown). On failure says why in `error`.
    bool openBlocking(QString* error);
    // Says goodbye (QUIT) and closes for good: no more reconnecting.
    void close();
    // Drops the connection without a word, as if the program were killed: no more reconnecting.
    void abandon();
    // Connects now if offline, unless an attempt began less than
    // kShortestAttemptGapMs ago; the scheduled attempts go on either way.
    void reconnectNow();
    // Writes a finished line (see ircLine) if the socket is connected.
    void send(const QByteArray& line);

    State state() const { return state_; }
    bool isRegistered() const { return state_ == State::Registered; }
    // Our nickname as the server knows it.
    const QByteArray& nick() const { return nick_; }
    // The server's nickname limit, from its 005 reply (30 until then).
    int nickLength() const { return nickLength_; }
    // Whether the server enabled a capability on this connection ("account-tag").
    bool hasCapability(QByteArrayView name) const;
    // Whether the server offered a capability (CAP LS), taken or not ("sasl" where the program
    // does not log in).
    bool offersCapability(QByteArrayView name) const;
    // A token of the server's 005 reply ("MONITOR" of "MONITOR=100"): its value, or nullopt.
    std::optional<QByteArray> isupport(QByteArrayView key) const;
    // The services account this connection is logged in as (empty when none).
    const QByteArray& account() const { return account_; }
    // True once a login was refused: the connection stays closed.
    bool loginRefused() const { return loginRefused_; }
    // What the server said of the latest attempt before it closed it (its ERROR line, or a
    // refusal such as 464 while registering); empty when it said nothing.
    const QString& serverRefusal() const { return serverRefusal_; }
    // Since when no registered connection exists (monotonic ms), -1 while registered.
    qint64 offlineSinceMs() const { return offlineSinceMs_; }
    // Until the next connection attempt: 0 while one is under way, -1 when none is planned
    // (registered, or closed for good).
    qint64 nextAttemptInMs() const;
    const IrcConfig& config() const { return config_; }
    // The nickname later connects register with (the configured one until then).
    void setRegistrationNick(const QByteArray& nick) { config_.nick = nick; }

    // The nickname tried after `tries` refusals: nick, nick_, nick1, nick2...
    static QByteArray nickVariant(const QByteArray& base, int tries, int maxLength);

private:
    void startAttempt();
    void sendRegistration();
    void readAvailable();
    void handle(const IrcMessage& message);
    void tryNextNick();
    void onRegistered(const IrcMessage& welcome);
    void negotiate(const IrcMessage& message);
    void refuseLogin(const QString& reason);
    void note(const QString& text) const;
    void lose(const QString& reason);
    void noteServerRefusal(const IrcMessage& message);
    void retireSocket();
    void stopAlarms();
    void scheduleRetry();
    void idleExpired();

    Clock& clock_;
    IrcConfig config_;
    Handlers handlers_;
    QPointer<QTcpSocket> socket_;
    IrcLineReader reader_;
    std::unique_ptr<IrcLogin> login_;
    QSet<QByteArray> capabilities_;
    QSet<QByteArray> offered_;
    QMap<QByteArray, QByteArray> isupport_;
    QByteArray account_;
    bool loginRefused_ = false;
    State state_ = State::Offline;
    QByteArray nick_;
    int nickTries_ = 0;
    int nickLength_ = kIrcDefaultNickLength;
    int failures_ = 0;
    qint64 lastAttemptAtMs_ = -1;
    qint64 nextAttemptAtMs_ = -1;
    qint64 offlineSinceMs_ = 0;
    bool opening_ = false;
    bool closed_ = false;
    bool pingSent_ = false;
    QString lastError_;
    QString serverRefusal_;
    std::unique_ptr<Alarm> retryAlarm_;
    std::unique_ptr<Alarm> attemptAlarm_;
    std::unique_ptr<Alarm> idleAlarm_;
};

} // namespace jackwell
