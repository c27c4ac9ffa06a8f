#pragma once

#include "books/keeper_books.h"
#include "irc/irc_connection.h"
#include "irc/irc_message.h"
#include "keeper/books_worker.h"
#include "keeper/keeper_config.h"
#include "keeper/keeper_deliveries.h"
#include "keeper/keeper_durable_answers.h"
#include "keeper/keeper_flood_exemption.h"
#include "keeper/keeper_flood_guard.h"
#include "keeper/keeper_flood_screen.h"
#include "keeper/keeper_greeter.h"
#include "keeper/keeper_last_words.h"
#include "keeper/keeper_log.h"
#include "keeper/keeper_metrics.h"
#include "keeper/keeper_nick_reclaim.h"
#include "keeper/keeper_probe_window.h"
#include "keeper/keeper_resent_holds.h"
#include "keeper/keeper_return_watch.h"
#include "keeper/keeper_roster.h"
#include "keeper/keeper_send_queue.h"
#include "keeper/keeper_turns.h"
#include "keeper/turn_teller.h"

#include <QHash>
#include <QObject>
#include <QStringList>

#include <functional>
#include <memory>
#include <optional>
#include <vector>

namespace jackwell {

class Clock;

namespace keeper {

// The machinekeeper on an IRC network: it keeps a connection to the server (reconnecting after
// growing pauses) and serves every player who writes to it privately. This class keeps the
// conversation: who said what, which game it means, what to answer. Its parts own the rest:
// whom it can reach (KeeperRoster), greetings (KeeperGreeter), its own nickname
// (KeeperNickReclaim), its pace (KeeperSendQueue, KeeperFloodExemption), each player's share
// of its time (KeeperFloodGuard, KeeperFloodScreen), what reached whom (KeeperDeliveries,
// KeeperProbeWindow), the books on a thread of their own (BooksWorker), each message's turn
// (worked there by KeeperTurns, told here by TurnTeller) and answers that wait for the disk
// (KeeperDurableAnswers, KeeperLastWords).
//
// Each message is worked out on the books' thread (KeeperTurns, reached only through the
// BooksWorker), from the books and from what the event loop knew of its player's deliveries when
// it came (a BooksTurn); its answer is told from the event loop once the books have it safe.
//
// Whose books a message plays on (identity in the configuration): the services account the
// server reports for its sender (the account tag of the message, else what extended-join,
// account-notify or WHOIS said), so that a player keeps their credits across nicknames and
// whoever takes their nickname gets none of them; a sender who is not logged in is asked to log
// in and plays nothing. Or, on a network without accounts, the nickname.
//
// Books on a server may be shared with other robots: a player whose record another machine
// changed while this one answered is answered again from the books as they are now, and a result
// another machine has just booked is left to it (see Delivery::onItsWayElsewhere).
//
// Each game is booked before its result is queued. A result counts as delivered only when the
// server passed it on while its player was there; a player whose last result never arrived (the
// robot killed, the connection dropped, the player gone and back) is told it again, with the
// first draw waiting, on their next message, whatever it says. Holds are only ever played on a
// first draw the player was told; see KeeperDeliveries. Nothing is sent to a player it knows
// has left (see KeeperPresence): their results stay in the books.
class KeeperRobot : public QObject {
public:
    // Every line the robot logs, besides the logging categories (for tests).
    using Log = std::function<void(const QString&)>;

    // Messages read before the robot may speak that wait for it, at most (see serve()).
    static constexpr int kMostUnspoken = 1000;

    // `books` must outlive the robot, and are the robot's alone while it lives.
    KeeperRobot(Clock& clock, KeeperConfig config, books::KeeperBooks& books, quint64 seed,
                Log log = {});
    // Leaves without a word: a robot destroyed this way is as good as killed.
    ~KeeperRobot() override;

    // Connects; from then on it stays connected by itself.
    void start();
    // Says goodbye (QUIT) and disconnects for good.
    void stop();
    // Called (from the event loop) once the books can take nothing more, after the robot has
    // logged why; the robot takes no more games meanwhile.
    void setBooksFailed(std::function<void()> booksFailed) {
        lastWords_.setBooksFailed(std::move(booksFailed));
    }
    // Called (from the event loop) when the server refused the robot's login, after it was
    // logged: the robot has stopped.
    void setLoginRefused(std::function<void()> loginRefused) {
        loginRefused_ = std::move(loginRefused);
    }
    // Takes what can change while connected (pace, fastpace, greet); returns the keys that
    // differ and need a restart.
    QStringList reconfigure(const KeeperConfig& fresh);

    const IrcConnection& connection() const { return connection_; }
    // Registered and allowed to speak.
    bool isSpeaking() const { return queue_.isOpen(); }
    bool isFloodExempt() const { return exemption_.isExempt(); }
    qsizetype waitingLines() const { return queue_.waitingLines(); }
    const KeeperPresence& presence() const { return roster_.presence(); }
    // The robot's figures in Prometheus's text format (see MetricsEndpoint).
    QByteArray metricsText() const;

private:
    void onMessage(const IrcMessage& message);
    void onRegistered();
    void onLost(const QString& reason);
    void serve(const IrcMessage& message, const QByteArray& nick, const QString& recipient);
    // `recipient` left with something on its way to them.
    void watchReturn(const QString& recipient);
    IrcConnection::Handlers connectionHandlers();
    KeeperRoster::Hooks rosterHooks();

    KeeperConfig config_;
    Clock& clock_;
    KeeperMetrics metrics_;
    KeeperLogger log_;
    std::function<void()> loginRefused_;
    BooksWorker worker_;
    KeeperDeliveries deliveries_;
    KeeperFloodGuard floodGuard_;
    KeeperResentHolds resentHolds_;
    KeeperFloodScreen floodScreen_;
    KeeperSendQueue queue_;
    struct Unspoken {
        IrcMessage message;
        QByteArray nick;
        QString recipient;
    };
    std::vector<Unspoken> unspoken_; // read before the robot may speak
    // Whose books each recipient's answers tell of (for nicknames that may hold an account).
    QHash<QString, QString> playerOfRecipient_;
    // The parts keep references to each other and hooks into the robot, and none uses another
    // while it is made: they may stand in any order. The queue's gate and pace are set once all
    // are made.
    IrcConnection connection_;
    KeeperProbeWindow probes_;
    KeeperRoster roster_;
    KeeperGreeter greeter_;
    KeeperNickReclaim nickReclaim_;
    KeeperFloodExemption exemption_;
    KeeperLastWords lastWords_;
    KeeperDurableAnswers answers_;
    KeeperReturnWatch returnWatch_;
    TurnTeller teller_;
};

} // namespace keeper
} // namespace jackwell
