#include "keeper/keeper_robot.h"

#include "books/keeper_books.h"
#include "clock/clock.h"
#include "irc/irc_message.h"
#include "irc/irc_numerics.h"
#include "keeper/bounded_hash.h"
#include "keeper/keeper_accounts.h"
#include "machine/messages.h"
#include "machine/texts.h"
#include "platform/quoted.h"

#include <algorithm>
#include <functional>
#include <memory>
#include <utility>

namespace jackwell::keeper {

namespace {

QByteArray privmsg(const QByteArray& to, QLatin1StringView text) {
    return ircLine("PRIVMSG", {to}, QByteArray(text.data(), text.size()));
}

// A private message as the debug log shows it: "from alice: I hold 1,0,1", "to alice: ...".
void logLine(const KeeperLogger& log, const QString& direction,
             const std::optional<IrcMessage>& message) {
    if (!message || message->params.size() < 2)
        return;
    const QByteArray& peer = direction == u"from" ? nickOf(message->prefix) : message->param(0);
    log(QtDebugMsg, QStringLiteral("%1 %2: %3")
                        .arg(direction, QString::fromUtf8(quotedName(peer)),
                             QString::fromUtf8(message->last().left(600))));
}

// The robot's log: debug lines (joins, parts, every line to a player) only when asked for.
KeeperLogger quietUnlessDebug(const KeeperConfig& config, KeeperRobot::Log log) {
    return [&config, logged = keeperLogger(std::move(log))](QtMsgType type, const QString& text) {
        if (type != QtDebugMsg || config.logLevel == LogLevel::Debug)
            logged(type, text);
    };
}

// Lines leave through the probes' gate; a debug log shows each one to a player.
KeeperSendQueue::Writer probedWriter(const KeeperConfig& config, const KeeperLogger& log,
                                     KeeperProbeWindow& probes) {
    return [&config, &log, &probes](const QByteArray& line) {
        if (config.logLevel == LogLevel::Debug && line.startsWith("PRIVMSG "))
            logLine(log, QStringLiteral("to"), parseIrcLine(line));
        probes.write(line);
    };
}

// The robot's log for a part that keeps its own copy: it reaches the robot's, made or not yet.
KeeperLogger through(const KeeperLogger& log) {
    return [&log](QtMsgType type, const QString& text) { log(type, text); };
}

} // namespace

KeeperRobot::KeeperRobot(Clock& clock, KeeperConfig config, books::KeeperBooks& books, quint64 seed,
                         Log log)
    : config_(config)
    , clock_(clock)
    , log_(quietUnlessDebug(config_, std::move(log)))
    , worker_(clock, books, through(log_),
              std::make_unique<KeeperTurns>(books, QString::fromLatin1(config.irc.nick), seed))
    , floodGuard_(clock)
    , floodScreen_(clock)
    , queue_(clock, probedWriter(config_, log_, probes_))
    , connection_(clock, config.irc, connectionHandlers())
    , probes_(clock, queue_, deliveries_,
              {.send = [this](const QByteArray& line) { connection_.send(line); },
               .probeLine = [this] { return nickReclaim_.probeLine(returnWatch_.probeNicks()); },
               .delivered = std::bind_front(&TurnTeller::markDelivered, &teller_)})
    , roster_(clock, connection_, queue_, rosterHooks())
    , greeter_(clock, queue_, connection_, config.greet)
    , nickReclaim_(clock, connection_, queue_,
                   {.queueProbe = [this] { probes_.queueProbe(); },
                    .reclaimed = [this] { greeter_.nicknameChanged(roster_.isJoined()); },
                    .log = through(log_)})
    , exemption_(clock, connection_, queue_, config, through(log_),
                 [this] {
                     for (const Unspoken& waiting : std::exchange(unspoken_, {}))
                         serve(waiting.message, waiting.nick, waiting.recipient);
                 })
    , lastWords_(clock, worker_, queue_, connection_, through(log_))
    , answers_(queue_, roster_, deliveries_, worker_)
    , returnWatch_(clock, {.queueProbe = [this] { probes_.queueProbe(); },
                           .paced = [this] { return !exemption_.isExempt(); },
                           .returned = std::bind_front(&TurnTeller::tellReturned, &teller_),
                           .keyOf = [this](QByteArrayView nick) { return roster_.keyOf(nick); }})
    , teller_({clock, config_, worker_, deliveries_, roster_, queue_, answers_, lastWords_, probes_,
               resentHolds_, metrics_, log_, std::bind_front(&KeeperRobot::watchReturn, this)}) {
    connection_.setParent(this); // all is made: the parts that steer the queue may set it
    queue_.setGate([this] { return probes_.mayWrite(); });
    queue_.setPace(exemption_.pace());
}

IrcConnection::Handlers KeeperRobot::connectionHandlers() {
    return {
        .message = [this](const IrcMessage& message) { onMessage(message); },
        .registered = [this] { onRegistered(); },
        .lost = [this](const QString& reason) { onLost(reason); },
        .screen = [this](QByteArrayView line) { return !floodScreen_.screensOut(line); },
        .refused =
            [this](const QString& reason) {
                // The connection has closed itself: a login refused once is refused again.
                log_(QtCriticalMsg, QStringLiteral("login refused: %1; stopping").arg(reason));
                if (loginRefused_)
                    loginRefused_();
            },
        .note = [this](const QString& text) { log_(QtInfoMsg, text); },
        .readDone = [this] { queue_.release(); },
    };
}

KeeperRoster::Hooks KeeperRobot::rosterHooks() {
    return {
        .arrived = [this] { greeter_.greetChannel(); },
        .joined =
            [this](const QByteArray& nick, const QString& player) {
                greeter_.greetJoining(nick, player);
                if (returnWatch_.take(player))
                    teller_.tellReturned(nick, player);
            },
        .gone =
            [this](const QString& recipient) {
                queue_.dropLane(recipient);
                const QString player = playerOfRecipient_.take(recipient);
                if (deliveries_.recipientGone(player.isEmpty() ? recipient : player))
                    watchReturn(recipient);
            },
        .identified =
            [this](const IrcMessage& message, const QString& recipient) {
                serve(message, nickOf(message.prefix), recipient);
            },
        .log = [this](QtMsgType type, const QString& text) { log_(type, text); },
    };
}

KeeperRobot::~KeeperRobot() {
    // The connection is dropped first, without a word, before the parts that write through it go.
    // The books' worker goes as if the robot were killed: changes not yet committed are gone, and
    // so are their answers.
    connection_.abandon();
}

void KeeperRobot::start() {
    log_(QtInfoMsg, QStringLiteral("connecting to %1:%2 as %3")
                        .arg(config_.irc.server)
                        .arg(config_.irc.port)
                        .arg(QString::fromLatin1(config_.irc.nick)));
    connection_.reconnectNow();
}

void KeeperRobot::stop() {
    queue_.setOpen(false);
    connection_.close();
}

void KeeperRobot::onRegistered() {
    // The connection has just sent PASS, NICK, USER and JOIN on its own.
    queue_.noteSentElsewhere(config_.irc.password.isEmpty() ? 3 : 4);
    roster_.reset();
    playerOfRecipient_.clear();
    probes_.reset();
    log_(QtInfoMsg,
         QStringLiteral("registered as %1%2; books kept by %3")
             .arg(QString::fromLatin1(connection_.nick()),
                  connection_.account().isEmpty() ? QString()
                                                  : QStringLiteral(", logged in as ") +
                                                        QString::fromUtf8(connection_.account()),
                  identityChoice(config_.identity, connection_)));
    if (config_.identity == Identity::Account && accountCapabilities(connection_).isEmpty() &&
        connection_.account().isEmpty())
        log_(QtWarningMsg, QStringLiteral("the server offers nothing for accounts (sasl, "
                                          "account-notify, account-tag, extended-join); every "
                                          "player will be asked to log in unless WHOIS names "
                                          "their account"));
    exemption_.registered();
}

void KeeperRobot::onLost(const QString& reason) {
    log_(QtWarningMsg, QStringLiteral("connection lost (%1); reconnecting").arg(reason));
    exemption_.lost();
    unspoken_.clear(); // their senders ask again
    nickReclaim_.reset();
    queue_.setOpen(false);
    deliveries_.connectionLost();
}

QStringList KeeperRobot::reconfigure(const KeeperConfig& fresh) {
    const QStringList restart = KeeperConfig::needRestart(config_, fresh);
    config_.pace = fresh.pace;
    config_.fastPace = fresh.fastPace;
    config_.greet = fresh.greet;
    config_.logLevel = fresh.logLevel;
    exemption_.reconfigure(config_);
    greeter_.setEnabled(config_.greet);
    return restart;
}

// A private message is served unless its sender writes faster than anyone can play (see
// KeeperFloodGuard); everything else the server says is for the parts.
void KeeperRobot::onMessage(const IrcMessage& message) {
    queue_.hold(); // until everything read with it was seen (see KeeperSendQueue::hold)
    const QByteArray& command = message.command;
    if (command == irc_numeric::isOn) {
        nickReclaim_.probeAnswered(message);
        returnWatch_.answered(message);
        probes_.answered();
        return;
    }
    if (command != "PRIVMSG" || message.params.size() < 2 || !isUserPrefix(message.prefix) ||
        !sameNickname(message.param(0), connection_.nick())) {
        if (!nickReclaim_.take(message) && !roster_.take(message))
            exemption_.take(message);
        return;
    }
    const QByteArray nick = nickOf(message.prefix);
    // Replies go back to the sender only, so the sender must be one name and nothing more; a
    // client-to-client request is not a word to the machinekeeper, nor is another robot's.
    if (!isValidNickname(nick, kIrcLongestNickLength) || sameNickname(nick, connection_.nick()) ||
        message.last().startsWith('\x01') ||
        machine::isMachinekeeperText(QString::fromUtf8(message.last())))
        return;
    if (config_.logLevel == LogLevel::Debug)
        logLine(log_, QStringLiteral("from"), message);
    const QString recipient = roster_.keyOf(nick);
    roster_.presence().markHere(recipient);
    returnWatch_.forget(recipient);
    const KeeperFloodGuard::Verdict verdict = floodGuard_.admit(recipient);
    if (verdict != KeeperFloodGuard::Verdict::Take)
        floodScreen_.screen(':' + message.prefix + " PRIVMSG ", floodGuard_.msUntilNext(recipient));
    if (verdict == KeeperFloodGuard::Verdict::DropAndWarn) {
        log_(QtInfoMsg, QStringLiteral("refused %1: writing too fast; messages dropped")
                            .arg(QString::fromLatin1(nick)));
        queue_.push(recipient, privmsg(nick, machine::kSlowDown));
    }
    if (verdict == KeeperFloodGuard::Verdict::Take)
        serve(message, nick, recipient);
}

void KeeperRobot::serve(const IrcMessage& message, const QByteArray& nick,
                        const QString& recipient) {
    if (lastWords_.isLeaving())
        return;
    // Until the server has answered the request for flood exemption, the robot may not speak
    // and does not know the pace it will speak at, nor so how much it can take on: messages
    // wait for the answer, in the order they came. (A robot just started again is written to
    // at once by every player who wrote to it while it was away.)
    if (exemption_.isAwaiting()) {
        if (unspoken_.size() < kMostUnspoken)
            unspoken_.push_back({message, nick, recipient});
        return;
    }
    if (answers_.isBehind())
        return;
    const std::optional<QString> found =
        roster_.playerOf(message, nick, recipient, config_.identity);
    if (!found)
        return;
    const QString& player = *found;
    insertBounded(playerOfRecipient_, recipient, player, KeeperAccounts::kMostKnown);
    const QString text = QString::fromUtf8(message.last());
    if (const std::optional<machine::HoldMask> holds = machine::parseHolds(text);
        holds && resentHolds_.isCrossingCopy(player, *holds, clock_.monotonicMs())) {
        log_(QtInfoMsg, QStringLiteral("holds of %1 not played: sent again, they crossed their "
                                       "result on its way")
                            .arg(QString::fromLatin1(nick)));
        return;
    }
    teller_.submitTurn(player, nick, text, clock_.monotonicMs());
}

// Only where players are known by their nickname: ISON cannot say who owns an account.
void KeeperRobot::watchReturn(const QString& recipient) {
    if (!usesAccounts(config_.identity, connection_))
        returnWatch_.watch(recipient);
}

QByteArray KeeperRobot::metricsText() const {
    KeeperMetrics::Gauges gauges;
    gauges.playersPresent = playerOfRecipient_.size();
    gauges.queuedLines = queue_.waitingLines();
    gauges.oldestQueuedMs = queue_.oldestWaitingMs();
    gauges.connected = connection_.isRegistered();
    gauges.loggedIn = gauges.connected && !connection_.account().isEmpty();
    gauges.nickHeld = gauges.connected && sameNickname(connection_.nick(), config_.irc.nick);
    return metrics_.render(gauges, worker_.commitTime());
}

} // namespace jackwell::keeper
