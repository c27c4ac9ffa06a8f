#include "keeper/keeper_robot.h"

#include "clock/clock.h"
#include "irc/irc_message.h"
#include "irc/irc_numerics.h"
#include "keeper/keeper_books.h"
#include "machine/messages.h"
#include "machine/texts.h"

#include <algorithm>

namespace jackwell::keeper {

namespace {

// Nicknames this long are far beyond any server's limit; a longer one is not answered.
constexpr int kLongestNick = 200;
const QString kOwnLane; // the robot's own business: OPER, JOIN, probes

bool isOperRefusal(const QByteArray& command) {
    // Wrong password, no operator block for us.
    return command == irc_numeric::passwordMismatch || command == irc_numeric::noOperHost;
}

// Answers to MODE +F that refuse it: no privilege, unknown mode.
bool isExemptionRefusal(const QByteArray& command) {
    return command == irc_numeric::noPrivileges || command == irc_numeric::unknownMode ||
           command == irc_numeric::userModeUnknownFlag || command == irc_numeric::usersDontMatch;
}

bool isJoinRefusal(const QByteArray& command) {
    // Full, invite only, banned, bad key, too many channels.
    return command == irc_numeric::channelIsFull || command == irc_numeric::inviteOnlyChannel ||
           command == irc_numeric::bannedFromChannel || command == irc_numeric::badChannelKey ||
           command == irc_numeric::tooManyChannels;
}

// Whether a mode string ("+F", "+iF-o") sets F.
bool setsFloodExemption(QByteArrayView modes) {
    bool adding = true;
    for (const char c : modes) {
        if (c == '+' || c == '-')
            adding = c == '+';
        else if (c == 'F' && adding)
            return true;
    }
    return false;
}

} // namespace

std::optional<machine::PlayerRecord> KeeperRobot::WatchedBooks::load(const QString& player) {
    return books_.load(player);
}

bool KeeperRobot::WatchedBooks::save(const QString& player, const machine::PlayerRecord& record) {
    return books_.save(player, record);
}

bool KeeperRobot::WatchedBooks::commitGame(const QString& player,
                                           const machine::GameOutcome& outcome,
                                           const machine::PlayerRecord& after) {
    if (!books_.commitGame(player, outcome, after))
        return false;
    booked_ = after.gamesPlayed;
    return true;
}

std::optional<qint64> KeeperRobot::WatchedBooks::takeBookedGame() {
    return std::exchange(booked_, std::nullopt);
}

KeeperRobot::KeeperRobot(Clock& clock, KeeperConfig config, KeeperBooks& books, quint64 seed,
                         Log logger)
    : clock_(clock)
    , config_(std::move(config))
    , books_(books)
    , log_(std::move(logger))
    , watched_(books)
    , keeper_(QString::fromLatin1(config_.irc.nick), watched_, seed)
    , queue_(clock, [this](const QByteArray& line) { connection_->send(line); }) {
    IrcConnection::Handlers handlers;
    handlers.message = [this](const IrcMessage& message) { onMessage(message); };
    handlers.registered = [this] { onRegistered(); };
    handlers.lost = [this](const QString& reason) { onLost(reason); };
    connection_ = std::make_unique<IrcConnection>(clock_, config_.irc, std::move(handlers));
    connection_->setParent(this);
    exemptionAlarm_ = clock_.createAlarm([this] {
        log(QStringLiteral("no answer to the request for flood exemption; speaking at the "
                           "ordinary pace"));
        beginSpeaking(false);
    });
    probeAlarm_ = clock_.createAlarm([this] { sendProbe(); });
    rejoinAlarm_ = clock_.createAlarm([this] {
        if (speaking_ && !joined_)
            queue_.push(kOwnLane, ircLine("JOIN", {config_.irc.channel}), {}, false);
    });
    queue_.setPace({config_.pace, 1100});
}

KeeperRobot::~KeeperRobot() {
    // As if killed: changes not yet committed are gone, and so are their answers.
    if (batchOpen_)
        books_.rollbackBatch();
    // The connection goes first, while the queue whose writer uses it still exists.
    connection_.reset();
}

void KeeperRobot::start() {
    log(QStringLiteral("connecting to %1:%2 as %3")
            .arg(config_.irc.server)
            .arg(config_.irc.port)
            .arg(QString::fromLatin1(config_.irc.nick)));
    connection_->reconnectNow();
}

void KeeperRobot::stop() {
    closeBatch();
    queue_.setOpen(false);
    speaking_ = false;
    connection_->close();
}

void KeeperRobot::log(const QString& text) const {
    if (log_)
        log_(text);
}

void KeeperRobot::onRegistered() {
    // The connection has just sent PASS, NICK, USER and JOIN on its own.
    queue_.noteSentElsewhere(config_.irc.password.isEmpty() ? 3 : 4);
    joined_ = false;
    log(QStringLiteral("registered as %1").arg(QString::fromLatin1(connection_->nick())));
    if (config_.operName.isEmpty() || operRefused_) {
        beginSpeaking(false);
        return;
    }
    awaitingExemption_ = true;
    connection_->send(ircLine("OPER", {config_.operName, config_.operPassword}));
    connection_->send(ircLine("MODE", {connection_->nick(), "+F"}));
    queue_.noteSentElsewhere(2);
    exemptionAlarm_->start(kExemptionWaitMs);
}

void KeeperRobot::beginSpeaking(bool exempt) {
    awaitingExemption_ = false;
    exemptionAlarm_->stop();
    exempt_ = exempt;
    speaking_ = true;
    queue_.setPace(exempt ? fastPace() : KeeperSendQueue::Pace{config_.pace, 1100});
    queue_.setOpen(true);
}

// Once exempt, the pace is kept over about a tenth of a second, so that a busy second goes
// out evenly instead of all at once and then nothing until the second is over.
KeeperSendQueue::Pace KeeperRobot::fastPace() const {
    const int lines = std::max(1, config_.fastPace / 10);
    return {lines, std::max(1, lines * 1000 / config_.fastPace)};
}

void KeeperRobot::onLost(const QString& reason) {
    log(QStringLiteral("connection lost (%1); reconnecting").arg(reason));
    speaking_ = false;
    awaitingExemption_ = false;
    exempt_ = false;
    joined_ = false;
    exemptionAlarm_->stop();
    queue_.setOpen(false);
    deliveries_.connectionLost();
}

void KeeperRobot::onMessage(const IrcMessage& message) {
    const QByteArray& command = message.command;
    if (command == "PRIVMSG" && message.params.size() >= 2 && isUserPrefix(message.prefix) &&
        sameNickname(message.param(0), connection_->nick()))
        onPrivateMessage(nickOf(message.prefix), message.last());
    else if (command == "JOIN")
        onJoin(message);
    else if (command == irc_numeric::isOn)
        onProbeAnswer();
    else if (command == "MODE")
        onModeChange(message);
    else if (command == "KICK")
        onKick(message);
    else if (command == irc_numeric::isupport) {
        for (const QByteArray& token : message.params) {
            if (token.startsWith("CASEMAPPING="))
                caseMapping_ = caseMappingNamed(QByteArrayView(token).sliced(12));
        }
    } else if (command == irc_numeric::youreOper) {
        log(QStringLiteral("operator status granted"));
    } else if (awaitingExemption_ && isOperRefusal(command)) {
        // The server punishes a failed OPER with a long pause; the answer to MODE shows when
        // it is over. The credentials are not tried again before the robot is restarted.
        log(QStringLiteral("operator login refused (%1 %2); not trying it again")
                .arg(QString::fromLatin1(command), QString::fromUtf8(message.last().left(100))));
        operRefused_ = true;
    } else if (awaitingExemption_ && isExemptionRefusal(command)) {
        log(QStringLiteral("flood exemption refused (%1 %2); speaking at the ordinary pace")
                .arg(QString::fromLatin1(command), QString::fromUtf8(message.last().left(100))));
        beginSpeaking(false);
    } else if (isJoinRefusal(command)) {
        log(QStringLiteral("cannot join %1 (%2); trying again later")
                .arg(QString::fromLatin1(config_.irc.channel),
                     QString::fromUtf8(message.last().left(100))));
        rejoinAlarm_->start(kRejoinMs);
    }
}

void KeeperRobot::onModeChange(const IrcMessage& message) {
    if (!awaitingExemption_ || !sameNickname(message.param(0), connection_->nick()))
        return;
    for (qsizetype i = 1; i < message.params.size(); ++i) {
        if (setsFloodExemption(message.params[i])) {
            log(QStringLiteral("exempt from flood limits; speaking at %1 lines a second")
                    .arg(config_.fastPace));
            beginSpeaking(true);
            return;
        }
    }
}

void KeeperRobot::onJoin(const IrcMessage& message) {
    if (!sameNickname(message.param(0), config_.irc.channel) || !isUserPrefix(message.prefix))
        return;
    if (sameNickname(nickOf(message.prefix), connection_->nick())) {
        joined_ = true;
        log(QStringLiteral("joined %1").arg(QString::fromLatin1(config_.irc.channel)));
    }
    if (joined_)
        greetChannel();
}

void KeeperRobot::onKick(const IrcMessage& message) {
    if (sameNickname(message.param(0), config_.irc.channel) &&
        sameNickname(message.param(1), connection_->nick())) {
        joined_ = false;
        log(QStringLiteral("kicked from %1; joining again soon")
                .arg(QString::fromLatin1(config_.irc.channel)));
        rejoinAlarm_->start(kRejoinMs);
    }
}

// The banner and the announcement; a greeting still waiting to go out serves whoever joins
// meanwhile.
void KeeperRobot::greetChannel() {
    const QString lane = QString::fromLatin1(config_.irc.channel).toLower();
    if (queue_.waitingIn(lane) > 0)
        return;
    const QString name = QString::fromLatin1(connection_->nick());
    for (const QString& text : {QString(machine::kWelcomeBanner), machine::announcementLine(name)})
        queue_.push(lane, ircLine("PRIVMSG", {config_.irc.channel}, text.toUtf8()));
}

void KeeperRobot::onPrivateMessage(const QByteArray& nick, const QByteArray& bytes) {
    // Replies go back to the sender only, so the sender must be one name and nothing more.
    if (!isValidNickname(nick, kLongestNick) || sameNickname(nick, connection_->nick()))
        return;
    if (bytes.startsWith('\x01'))
        return; // a client-to-client request, not a word to the machinekeeper
    const QString player = playerKey(nick, caseMapping_);
    const QString text = QString::fromUtf8(bytes);
    openBatch();
    if (machine::parseHolds(text) && tellAgain(nick, player))
        return;

    const std::vector<machine::Reply> replies = keeper_.onPrivateMessage(player, text);
    const std::optional<qint64> bookedGame = watched_.takeBookedGame();
    if (text == machine::kRegisterRequest) {
        // The answer shows the game waiting now; any earlier result is behind the player.
        if (const auto delivery = books_.delivery(player);
            delivery && delivery->lastGame > delivery->deliveredGame) {
            books_.markDelivered({{player, delivery->lastGame}});
            deliveries_.forget(player);
        }
    }
    queueFor(nick, player, replies, bookedGame);
}

// Holds from a player whose last result may not have reached them: they are answered with that
// result rather than played on the next game. True when the holds need no other answer.
bool KeeperRobot::tellAgain(const QByteArray& nick, const QString& player) {
    const std::optional<Delivery> delivery = books_.delivery(player);
    if (!delivery || delivery->lastGame <= delivery->deliveredGame || !delivery->lastOutcome)
        return false;
    switch (deliveries_.status(player, delivery->lastGame)) {
    case KeeperDeliveries::Status::Sent:
        return false; // told on this connection: these holds are for the next game
    case KeeperDeliveries::Status::Queued:
        return true; // the result is on its way
    case KeeperDeliveries::Status::Unknown:
        break;
    }
    const machine::GameOutcome& last = *delivery->lastOutcome;
    const std::optional<machine::PlayerRecord> record = books_.load(player);
    const bool readable = std::ranges::all_of(last.finalDraw, machine::isSymbol) &&
                          last.creditsAfter >= 0 &&
                          last.creditsAfter <= machine::kMaxShownCredits && record &&
                          record->credits == last.creditsAfter;
    if (!readable)
        return false;
    log(QStringLiteral("telling %1 the result of game %2 again")
            .arg(QString::fromLatin1(nick))
            .arg(delivery->lastGame));
    std::optional<machine::ReelCodes> next = record->pendingFirstDraw;
    if (next && !std::ranges::all_of(*next, machine::isSymbol))
        next.reset();
    std::vector<machine::Reply> replies;
    for (const QString& line : machine::gameResultLines(last.finalDraw, last.creditsAfter, next))
        replies.push_back({false, player, line});
    queueFor(nick, player, replies, delivery->lastGame);
    return true;
}

// Messages that arrive together (one read from the server) are booked in one transaction, so
// that a burst of games costs one sync to the disk; their answers wait until it is committed.
void KeeperRobot::openBatch() {
    if (batchOpen_)
        return;
    batchOpen_ = books_.beginBatch(); // without it, each change is a transaction of its own
    // Closed on the next turn of the event loop, once the messages at hand are answered.
    if (batchOpen_)
        QMetaObject::invokeMethod(
            this, [this] { closeBatch(); }, Qt::QueuedConnection);
}

void KeeperRobot::closeBatch() {
    if (!batchOpen_)
        return;
    batchOpen_ = false;
    std::vector<HeldLine> held = std::exchange(held_, {});
    if (books_.commitBatch()) {
        for (HeldLine& line : held)
            queue_.push(line.lane, std::move(line.line), std::move(line.written), line.droppable);
        return;
    }
    // Nothing of these answers was booked: none of them may be told.
    log(QStringLiteral("the books did not take the last changes: %1").arg(books_.lastError()));
    QHash<QString, QByteArray> players;
    for (const HeldLine& line : held) {
        if (!line.player.isEmpty())
            players.insert(line.player, line.nick);
    }
    for (auto it = players.cbegin(); it != players.cend(); ++it) {
        deliveries_.forget(it.key());
        queue_.push(it.key(),
                    ircLine("PRIVMSG", {it.value()},
                            QByteArray(machine::kOutOfOrder.data(), machine::kOutOfOrder.size())));
    }
}

void KeeperRobot::emitLine(HeldLine line) {
    if (batchOpen_)
        held_.push_back(std::move(line));
    else
        queue_.push(line.lane, std::move(line.line), std::move(line.written), line.droppable);
}

void KeeperRobot::queueFor(const QByteArray& nick, const QString& player,
                           const std::vector<machine::Reply>& replies,
                           std::optional<qint64> bookedGame) {
    // A game's lines always go out; other answers are dropped whole when the player's lane is
    // full, which only a player who floods the robot can bring about.
    const bool droppable = !bookedGame;
    const qsizetype held = std::ranges::count(held_, player, &HeldLine::lane);
    if (droppable &&
        queue_.waitingIn(player) + held + qsizetype(replies.size()) > KeeperSendQueue::kLaneLimit)
        return;
    if (bookedGame)
        deliveries_.queued(player, *bookedGame);
    bool first = true;
    for (const machine::Reply& reply : replies) {
        if (reply.isPublic) {
            emitLine({QString::fromLatin1(config_.irc.channel).toLower(),
                      ircLine("PRIVMSG", {config_.irc.channel}, reply.text.toUtf8()),
                      {},
                      true,
                      {},
                      {}});
            continue;
        }
        KeeperSendQueue::Written written;
        if (bookedGame && first)
            written = [this, player, game = *bookedGame] { resultHandedOver(player, game); };
        first = false;
        emitLine({player, ircLine("PRIVMSG", {nick}, reply.text.toUtf8()), std::move(written),
                  droppable, player, nick});
    }
}

void KeeperRobot::resultHandedOver(const QString& player, qint64 game) {
    deliveries_.handedOver(player, game);
    if (!probeQueued_ && !probeAlarm_->isActive())
        probeAlarm_->start(kProbeDelayMs);
}

// ISON about ourselves: a command every server answers (RPL_ISON), harmless, and answered only
// after the server has handled every line we sent before it.
void KeeperRobot::sendProbe() {
    if (probeQueued_ || !deliveries_.needsProbe())
        return;
    probeQueued_ = true;
    queue_.push(
        kOwnLane, ircLine("ISON", {connection_->nick()}),
        [this] {
            probeQueued_ = false;
            deliveries_.probeSent();
        },
        false);
}

void KeeperRobot::onProbeAnswer() {
    const KeeperDeliveries::Marks marks = deliveries_.probeAnswered();
    if (!marks.empty() && !books_.markDelivered(marks))
        log(QStringLiteral("cannot note delivered results: %1").arg(books_.lastError()));
    if (deliveries_.needsProbe() && !probeQueued_ && !probeAlarm_->isActive())
        probeAlarm_->start(kProbeDelayMs);
}

} // namespace jackwell::keeper
