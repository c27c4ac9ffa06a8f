#include "keeper/keeper_robot.h"

#include "irc/irc_message.h"
#include "irc/irc_numerics.h"
#include "keeper/keeper_accounts.h"
#include "keeper/keeper_books.h"
#include "machine/messages.h"
#include "machine/texts.h"
#include "platform/key_value_file.h"

#include <algorithm>

namespace jackwell::keeper {

namespace {

// Nicknames this long are far beyond any server's limit; a longer one is not answered.
constexpr int kLongestNick = 200;

QByteArray privmsg(const QByteArray& to, QLatin1StringView text) {
    return ircLine("PRIVMSG", {to}, QByteArray(text.data(), text.size()));
}

void logGame(const machine::GameOutcome& outcome, const QByteArray& nick, const QString& player,
             qint64 game) {
    auto codes = [](const machine::ReelCodes& reels) {
        QStringList parts;
        for (const int code : reels)
            parts << QStringLiteral("%1").arg(code, 2, 10, QLatin1Char('0'));
        return parts.join(u',');
    };
    QStringList holds;
    for (const bool held : outcome.holds)
        holds << (held ? QStringLiteral("1") : QStringLiteral("0"));
    qCInfo(lcGame).noquote() << KeyValueFile::escaped(
        QStringLiteral("game %1 of %2 (%3): holds %4, draw %5, won %6 tokens, credits %7")
            .arg(game)
            .arg(player.left(64), QString::fromLatin1(nick), holds.join(u','),
                 codes(outcome.finalDraw))
            .arg(outcome.tokensWon)
            .arg(outcome.creditsAfter));
}

} // namespace

KeeperRobot::KeeperRobot(Clock& clock, KeeperConfig config, KeeperBooks& books, quint64 seed,
                         Log log)
    : config_(std::move(config))
    , books_(books)
    , log_([this, logged = keeperLogger(std::move(log))](QtMsgType type, const QString& text) {
        // Debug lines (joins, parts, every line to and from a player) only when asked for.
        if (type != QtDebugMsg || config_.logLevel == LogLevel::Debug)
            logged(type, text);
    })
    , watched_(books, [this](const QString& player) { lastWords_.refused(player); })
    , keeper_(QString::fromLatin1(config_.irc.nick), watched_, seed)
    , floodGuard_(clock)
    , floodScreen_(clock)
    , queue_(clock,
             [this](const QByteArray& line) {
                 if (config_.logLevel == LogLevel::Debug && line.startsWith("PRIVMSG "))
                     logLine(QStringLiteral("to"), parseIrcLine(line));
                 probes_.write(line);
             })
    , connection_(std::make_unique<IrcConnection>(
          clock, config_.irc,
          IrcConnection::Handlers{
              .message = [this](const IrcMessage& message) { onMessage(message); },
              .registered = [this] { onRegistered(); },
              .lost = [this](const QString& reason) { onLost(reason); },
              .screen = [this](QByteArrayView line) { return !floodScreen_.screensOut(line); },
              .refused =
                  [this](const QString& reason) {
                      log_(QtCriticalMsg,
                           QStringLiteral("login refused: %1; stopping").arg(reason));
                      stop();
                      if (loginRefused_)
                          loginRefused_();
                  },
              .note = [this](const QString& text) { log_(QtInfoMsg, text); },
          }))
    , probes_(clock, queue_, deliveries_,
              {
                  .send = [this](const QByteArray& line) { connection_->send(line); },
                  .probeLine = [this] { return nickReclaim_.probeLine(); },
                  .delivered =
                      [this](const KeeperDeliveries::Marks& marks) {
                          if (!books_.markDelivered(marks))
                              log_(QtWarningMsg, QStringLiteral("cannot note delivered results: %1")
                                                     .arg(books_.lastError()));
                      },
              })
    , roster_(clock, *connection_, queue_,
              {
                  .arrived = [this] { greeter_.greetChannel(); },
                  .joined = [this](const QByteArray& nick,
                                   const QString& player) { greeter_.greetJoining(nick, player); },
                  .gone =
                      [this](const QString& recipient) {
                          queue_.dropLane(recipient);
                          answers_.dropFor(recipient);
                          const QString player = playerOfRecipient_.take(recipient);
                          deliveries_.recipientGone(player.isEmpty() ? recipient : player);
                      },
                  .identified =
                      [this](const IrcMessage& message, const QString& recipient) {
                          serve(message, nickOf(message.prefix), recipient);
                      },
                  .log = log_,
              })
    , greeter_(clock, queue_, *connection_, config_.greet)
    , nickReclaim_(clock, *connection_, queue_,
                   {
                       .queueProbe = [this] { probes_.queueProbe(); },
                       .reclaimed = [this] { greeter_.nicknameChanged(roster_.isJoined()); },
                       .log = log_,
                   })
    , exemption_(clock, *connection_, queue_, config_, log_)
    , lastWords_(clock, books, queue_, *connection_, log_)
    , answers_(books, queue_, roster_.presence(), deliveries_, lastWords_, log_) {
    connection_->setParent(this);
}

KeeperRobot::~KeeperRobot() {
    // The connection goes first, while the queue whose writer uses it still exists. The answers
    // go as if the robot were killed: changes not yet committed are gone, and so are they.
    connection_.reset();
}

void KeeperRobot::start() {
    log_(QtInfoMsg, QStringLiteral("connecting to %1:%2 as %3")
                        .arg(config_.irc.server)
                        .arg(config_.irc.port)
                        .arg(QString::fromLatin1(config_.irc.nick)));
    connection_->reconnectNow();
}

void KeeperRobot::stop() {
    answers_.closeBatch();
    queue_.setOpen(false);
    connection_->close();
}

void KeeperRobot::onRegistered() {
    // The connection has just sent PASS, NICK, USER and JOIN on its own.
    queue_.noteSentElsewhere(config_.irc.password.isEmpty() ? 3 : 4);
    roster_.reset();
    playerOfRecipient_.clear();
    nickReclaim_.reset();
    probes_.reset();
    const bool byAccount = usesAccounts(config_.identity, *connection_);
    log_(QtInfoMsg,
         QStringLiteral("registered as %1%2; books kept by %3")
             .arg(QString::fromLatin1(connection_->nick()),
                  connection_->account().isEmpty() ? QString()
                                                   : QStringLiteral(", logged in as ") +
                                                         QString::fromUtf8(connection_->account()),
                  byAccount ? QStringLiteral("services account") : QStringLiteral("nickname")));
    if (config_.identity == Identity::Account && !byAccount)
        log_(QtWarningMsg,
             QStringLiteral("the server reports no accounts (no account-tag or extended-join); "
                            "every player will be asked to log in"));
    exemption_.registered();
}

void KeeperRobot::onLost(const QString& reason) {
    log_(QtWarningMsg, QStringLiteral("connection lost (%1); reconnecting").arg(reason));
    exemption_.lost();
    nickReclaim_.pause();
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
    const QByteArray& command = message.command;
    if (command == irc_numeric::isOn) {
        nickReclaim_.probeAnswered(message);
        probes_.answered();
        return;
    }
    if (command != "PRIVMSG" || message.params.size() < 2 || !isUserPrefix(message.prefix) ||
        !sameNickname(message.param(0), connection_->nick())) {
        if (!nickReclaim_.take(message) && !roster_.take(message))
            exemption_.take(message);
        return;
    }
    const QByteArray nick = nickOf(message.prefix);
    // Replies go back to the sender only, so the sender must be one name and nothing more; a
    // client-to-client request is not a word to the machinekeeper.
    if (!isValidNickname(nick, kLongestNick) || sameNickname(nick, connection_->nick()) ||
        message.last().startsWith('\x01'))
        return;
    if (config_.logLevel == LogLevel::Debug)
        logLine(QStringLiteral("from"), message);
    const QString recipient = roster_.keyOf(nick);
    roster_.presence().markHere(recipient);
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

// A private message as the debug log shows it: "from alice: I hold 1,0,1", "to alice: ...".
void KeeperRobot::logLine(const QString& direction, const std::optional<IrcMessage>& message) {
    if (!message || message->params.size() < 2)
        return;
    const QByteArray& peer = direction == u"from" ? nickOf(message->prefix) : message->param(0);
    log_(QtDebugMsg, QStringLiteral("%1 %2: %3")
                         .arg(direction, QString::fromUtf8(peer.left(64)),
                              QString::fromUtf8(message->last().left(600))));
}

// Whose books a message plays on; nullopt when it plays on none (its sender is asked to log in,
// or the message waits for the server to say who its sender is).
std::optional<QString> KeeperRobot::playerOf(const IrcMessage& message, const QByteArray& nick,
                                             const QString& recipient) {
    if (!usesAccounts(config_.identity, *connection_))
        return recipient;
    QByteArray account;
    if (connection_->hasCapability("account-tag")) {
        account = message.tag("account").value_or(QByteArray());
    } else {
        const std::optional<QByteArray> known = roster_.accounts().accountOf(recipient);
        if (!known) {
            if (roster_.accounts().wait(recipient, message))
                queue_.push(KeeperSendQueue::kOwnLane, ircLine("WHOIS", {nick}), {}, false);
            return std::nullopt;
        }
        account = *known;
    }
    if (account.isEmpty() || account == "*") {
        log_(QtInfoMsg, QStringLiteral("refused %1: not logged in to an account")
                            .arg(QString::fromLatin1(nick)));
        queue_.push(recipient, privmsg(nick, machine::kLogInFirst));
        return std::nullopt;
    }
    return accountIdentity(account, roster_.caseMapping());
}

void KeeperRobot::serve(const IrcMessage& message, const QByteArray& nick,
                        const QString& recipient) {
    if (answers_.isBehind() || lastWords_.isLeaving())
        return;
    const std::optional<QString> found = playerOf(message, nick, recipient);
    if (!found)
        return;
    const QString& player = *found;
    if (playerOfRecipient_.size() >= KeeperAccounts::kMostKnown &&
        !playerOfRecipient_.contains(recipient))
        playerOfRecipient_.clear();
    playerOfRecipient_.insert(recipient, player);
    const QString text = QString::fromUtf8(message.last());
    answers_.openBatch();
    std::vector<machine::Reply> replies;
    for (int attempt = 1;; ++attempt) {
        const LastResult last = tellAgainIfUndelivered(nick, player);
        if (machine::parseHolds(text) && (last != LastResult::Known || !mayPlayHolds(nick, player)))
            return; // these holds cannot be for a first draw the player has seen
        replies = keeper_.onPrivateMessage(player, text);
        // Another machine that shares the books changed this player meanwhile: whatever it did
        // (a game booked, a first draw told) decides the answer now.
        if (!watched_.takeRaced())
            break;
        if (attempt == kAttemptsOnRace) {
            lastWords_.refused(player);
            break;
        }
    }
    const std::optional<qint64> booked = watched_.takeBookedGame();
    if (booked)
        logGame(watched_.lastOutcome(), nick, player, *booked);
    queueFor(nick, player, replies, booked);
}

// A player whose last result may not have reached them is told it again, with the first draw
// now waiting, before anything else.
KeeperRobot::LastResult KeeperRobot::tellAgainIfUndelivered(const QByteArray& nick,
                                                            const QString& player) {
    const std::optional<Delivery> delivery = books_.delivery(player);
    if (!delivery || delivery->lastGame <= delivery->deliveredGame || !delivery->lastOutcome)
        return LastResult::Known;
    if (delivery->onItsWayElsewhere)
        return LastResult::OnItsWay; // the machine that booked it is telling it
    switch (deliveries_.status(player, delivery->lastGame)) {
    case KeeperDeliveries::Status::Sent:
        return LastResult::Known; // handed over on this connection to a player still here
    case KeeperDeliveries::Status::Queued:
        return LastResult::OnItsWay;
    case KeeperDeliveries::Status::Unknown:
    case KeeperDeliveries::Status::Lost:
        break;
    }
    const machine::GameOutcome& last = *delivery->lastOutcome;
    const std::optional<machine::PlayerRecord> record = books_.load(player);
    const bool readable = std::ranges::all_of(last.finalDraw, machine::isSymbol) &&
                          last.creditsAfter >= 0 &&
                          last.creditsAfter <= machine::kMaxShownCredits && record &&
                          record->credits == last.creditsAfter;
    if (!readable)
        return LastResult::Known;
    log_(QtInfoMsg, QStringLiteral("telling %1 the result of game %2 again")
                        .arg(QString::fromLatin1(nick))
                        .arg(delivery->lastGame));
    std::optional<machine::ReelCodes> next = record->pendingFirstDraw;
    if (next && !std::ranges::all_of(*next, machine::isSymbol))
        next.reset();
    std::vector<machine::Reply> replies;
    for (const QString& line : machine::gameResultLines(last.finalDraw, last.creditsAfter, next))
        replies.push_back({false, player, line});
    queueFor(nick, player, replies, delivery->lastGame);
    return LastResult::ToldAgain;
}

// Holds are played only on a first draw that went out to the player before them. A first draw
// still waiting in the queue cannot have been seen; one that was lost is told again instead.
bool KeeperRobot::mayPlayHolds(const QByteArray& nick, const QString& player) {
    switch (deliveries_.firstDrawStatus(player)) {
    case KeeperDeliveries::Status::Queued:
        return false;
    case KeeperDeliveries::Status::Lost:
        break;
    case KeeperDeliveries::Status::Unknown:
    case KeeperDeliveries::Status::Sent:
        return true;
    }
    const std::optional<machine::PlayerRecord> record = books_.load(player);
    if (!record || !record->pendingFirstDraw ||
        !std::ranges::all_of(*record->pendingFirstDraw, machine::isSymbol))
        return true; // nothing to tell again: the machinekeeper answers as it does
    queueFor(nick, player, {{false, player, machine::firstDrawLine(*record->pendingFirstDraw)}},
             std::nullopt);
    return false;
}

// A game's lines always go out, followed to their player (see KeeperDeliveries); other answers
// are dropped whole when the player's lane is full, which only a player who floods the robot
// can bring about.
void KeeperRobot::queueFor(const QByteArray& nick, const QString& player,
                           const std::vector<machine::Reply>& replies,
                           std::optional<qint64> bookedGame) {
    const QString recipient = roster_.keyOf(nick);
    if (roster_.presence().isGone(recipient))
        return; // whatever it was, the books keep it for their next message
    const bool droppable = !bookedGame;
    if (droppable &&
        queue_.waitingIn(recipient) + answers_.heldFor(recipient) + qsizetype(replies.size()) >
            KeeperSendQueue::kLaneLimit)
        return;
    if (bookedGame)
        deliveries_.queued(player, *bookedGame);
    bool first = true;
    for (const machine::Reply& reply : replies) {
        if (reply.isPublic) {
            answers_.say({KeeperSendQueue::channelLane(config_.irc.channel),
                          ircLine("PRIVMSG", {config_.irc.channel}, reply.text.toUtf8()),
                          {},
                          true,
                          {},
                          {}});
            continue;
        }
        KeeperSendQueue::Written written;
        if (bookedGame && first) {
            written = [this, player, game = *bookedGame] {
                deliveries_.handedOver(player, game);
                probes_.probeSoon();
            };
        } else if (!bookedGame && reply.text.startsWith(machine::kFirstDraw.left(6))) {
            // A first draw told on its own (the answer to "Register me!"), followed too.
            deliveries_.firstDrawQueued(player);
            written = [this, player] {
                deliveries_.firstDrawHandedOver(player);
                probes_.probeSoon();
            };
        }
        first = false;
        answers_.say({recipient, ircLine("PRIVMSG", {nick}, reply.text.toUtf8()),
                      std::move(written), droppable, player, nick});
    }
}

} // namespace jackwell::keeper
