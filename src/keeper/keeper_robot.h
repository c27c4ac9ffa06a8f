#pragma once

#include "irc/irc_connection.h"
#include "keeper/keeper_config.h"
#include "keeper/keeper_deliveries.h"
#include "keeper/keeper_send_queue.h"
#include "keeper/player_key.h"
#include "machine/machine_keeper.h"

#include <QObject>

#include <functional>
#include <memory>
#include <optional>

namespace jackwell {

class Alarm;
class Clock;

namespace keeper {

class KeeperBooks;

// The machinekeeper on an IRC network: it keeps a connection to the server (reconnecting after
// growing pauses), greets its channel when it arrives and whenever someone joins, and serves
// every player who writes to it privately, keeping each player's books under their nickname.
//
// Everything it says goes through its own paced, fair send queue. With operator credentials it
// first asks the server to exempt it from flood limits (OPER, then MODE +F) and, once exempt,
// speaks at the faster pace; until the server has answered the MODE, it says nothing, so that
// no line of its sits behind the server's penalty for those commands.
//
// Each game is booked before its result is queued. A player whose result was lost on the way
// (the robot killed, the connection dropped) and who sends the holds again is told the booked
// result again; see KeeperDeliveries.
class KeeperRobot : public QObject {
public:
    using Log = std::function<void(const QString&)>;

    // How long to wait for the server's answer to OPER and MODE +F (a server may make a client
    // whose OPER failed wait about ten seconds).
    static constexpr int kExemptionWaitMs = 20000;
    // A probe for delivered results goes out this long after the first result it covers.
    static constexpr int kProbeDelayMs = 300;
    static constexpr int kRejoinMs = 5000;

    // `books` must outlive the robot.
    KeeperRobot(Clock& clock, KeeperConfig config, KeeperBooks& books, quint64 seed, Log log = {});
    // Leaves without a word: a robot destroyed this way is as good as killed.
    ~KeeperRobot() override;

    // Connects; from then on it stays connected by itself.
    void start();
    // Says goodbye (QUIT) and disconnects for good.
    void stop();

    const IrcConnection& connection() const { return *connection_; }
    // Registered and allowed to speak.
    bool isSpeaking() const { return speaking_; }
    bool isFloodExempt() const { return exempt_; }
    qsizetype waitingLines() const { return queue_.waitingLines(); }

private:
    // The books as the engine sees them; notes the game booked last.
    class WatchedBooks : public machine::Books {
    public:
        explicit WatchedBooks(machine::Books& books)
            : books_(books) {}
        std::optional<machine::PlayerRecord> load(const QString& player) override;
        bool save(const QString& player, const machine::PlayerRecord& record) override;
        bool commitGame(const QString& player, const machine::GameOutcome& outcome,
                        const machine::PlayerRecord& after) override;
        // The number of the game booked since the last call, if one was.
        std::optional<qint64> takeBookedGame();

    private:
        machine::Books& books_;
        std::optional<qint64> booked_;
    };

    // A line ready to go out, held back while the batch it answers is not yet committed.
    struct HeldLine {
        QString lane;
        QByteArray line;
        KeeperSendQueue::Written written;
        bool droppable = true;
        QString player; // empty for lines to the channel
        QByteArray nick;
    };

    void openBatch();
    void closeBatch();
    void emitLine(HeldLine line);
    void onMessage(const IrcMessage& message);
    void onRegistered();
    void onLost(const QString& reason);
    void onModeChange(const IrcMessage& message);
    void beginSpeaking(bool exempt);
    KeeperSendQueue::Pace fastPace() const;
    void onJoin(const IrcMessage& message);
    void onKick(const IrcMessage& message);
    void greetChannel();
    void onPrivateMessage(const QByteArray& nick, const QByteArray& bytes);
    bool tellAgain(const QByteArray& nick, const QString& player);
    void queueFor(const QByteArray& nick, const QString& player,
                  const std::vector<machine::Reply>& replies, std::optional<qint64> bookedGame);
    void resultHandedOver(const QString& player, qint64 game);
    void sendProbe();
    void onProbeAnswer();
    void log(const QString& text) const;

    Clock& clock_;
    KeeperConfig config_;
    KeeperBooks& books_;
    Log log_;
    WatchedBooks watched_;
    machine::MachineKeeper keeper_;
    KeeperDeliveries deliveries_;
    KeeperSendQueue queue_;
    std::unique_ptr<IrcConnection> connection_;
    std::unique_ptr<Alarm> exemptionAlarm_;
    std::unique_ptr<Alarm> probeAlarm_;
    std::unique_ptr<Alarm> rejoinAlarm_;
    CaseMapping caseMapping_ = CaseMapping::Rfc1459;
    bool speaking_ = false;
    bool awaitingExemption_ = false;
    bool operRefused_ = false;
    bool exempt_ = false;
    bool joined_ = false;
    bool probeQueued_ = false;
    bool batchOpen_ = false;
    std::vector<HeldLine> held_;
};

} // namespace keeper
} // namespace jackwell
