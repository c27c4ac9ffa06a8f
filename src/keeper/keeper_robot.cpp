#include "keeper/keeper_robot.h"

#include "clock/clock.h"
#include "irc/irc_message.h"
#include "irc/irc_numerics.h"
#include "keeper/keeper_books.h"
#include "machine/messages.h"
#include "machine/texts.h"

#include <QPointer>

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
    if (books_.save(player, record))
        return true;
    refusedOrRaced(player);
    return false;
}

bool KeeperRobot::WatchedBooks::commitGame(const QString& player,
                                           const machine::GameOutcome& outcome,
                                           const machine::PlayerRecord& after) {
    if (!books_.commitGame(player, outcome, after)) {
        refusedOrRaced(player);
        return false;
    }
    booked_ = after.gamesPlayed;
    return true;
}

// A change refused only because another machine changed the player meanwhile is no fault: the
// message is answered again from what the books hold now.
void KeeperRobot::WatchedBooks::refusedOrRaced(const QString& player) {
    if (books_.changedElsewhere())
        raced_ = true;
    else
        refused_(player);
}

bool KeeperRobot::WatchedBooks::takeRaced() {
    return std::exchange(raced_, false);
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
    , watched_(books, [this](const QString& player) { booksRefused(player); })
    , keeper_(QString::fromLatin1(config_.irc.nick), watched_, seed)
    , floodGuard_(clock)
    , queue_(clock, [this](const QByteArray& line) { writeLine(line); }) {
    IrcConnection::Handlers handlers;
    handlers.message = [this](const IrcMessage& message) { onMessage(message); };
    handlers.registered = [this] { onRegistered(); };
    handlers.lost = [this](const QString& reason) { onLost(reason); };
    handlers.screen = [this](QByteArrayView line) { return !isScreenedOut(line); };
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
    queue_.setGate([this] { return bytesWritten_ - bytesConfirmed_ < kUnconfirmedBytes; });
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
    presence_.clear();
    bytesWritten_ = bytesConfirmed_ = bytesAtLastProbe_ = 0;
    probeMarks_.clear();
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
        onPrivateMessage(message);
    else if (command == "JOIN")
        onJoin(message);
    else if (command == irc_numeric::isOn)
        onProbeAnswer();
    else if (command == "QUIT" || command == "PART" || command == "NICK" ||
             command == irc_numeric::noSuchNick)
        onDeparture(message);
    else if (command == irc_numeric::namReply)
        onNames(message);
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
    presence_.markHere(playerKey(nickOf(message.prefix), caseMapping_));
    if (sameNickname(nickOf(message.prefix), connection_->nick())) {
        joined_ = true;
        log(QStringLiteral("joined %1").arg(QString::fromLatin1(config_.irc.channel)));
    }
    if (joined_)
        greetChannel();
}

void KeeperRobot::onKick(const IrcMessage& message) {
    if (!sameNickname(message.param(0), config_.irc.channel))
        return;
    if (!sameNickname(message.param(1), connection_->nick())) {
        recipientGone(playerKey(message.param(1), caseMapping_));
    } else {
        joined_ = false;
        log(QStringLiteral("kicked from %1; joining again soon")
                .arg(QString::fromLatin1(config_.irc.channel)));
        rejoinAlarm_->start(kRejoinMs);
    }
}

// Who is in the channel when the robot joins: "353 me = #channel :@op +voiced plain".
void KeeperRobot::onNames(const IrcMessage& message) {
    if (message.params.size() < 4 || !sameNickname(message.param(2), config_.irc.channel))
        return;
    for (QByteArray nick : message.last().split(' ')) {
        while (!nick.isEmpty() && QByteArrayView("~&@%+").contains(nick.front()))
            nick.remove(0, 1);
        if (!nick.isEmpty())
            presence_.markHere(playerKey(nick, caseMapping_));
    }
}

// Someone the robot can no longer reach: a member of its channel who quit, left or took another
// nickname, or a nickname the server says is not there.
void KeeperRobot::onDeparture(const IrcMessage& message) {
    const QByteArray& command = message.command;
    if (command == irc_numeric::noSuchNick) {
        recipientGone(playerKey(message.param(1), caseMapping_));
        return;
    }
    if (!isUserPrefix(message.prefix))
        return;
    const QByteArray nick = nickOf(message.prefix);
    if (sameNickname(nick, connection_->nick()))
        return; // the robot's own
    if (command == "PART" && !sameNickname(message.param(0), config_.irc.channel))
        return;
    recipientGone(playerKey(nick, caseMapping_));
    if (command == "NICK")
        presence_.markHere(playerKey(message.param(0), caseMapping_));
}

// Nothing more goes to `player` until they write again; what they were not told stays in the
// books, to be told on their next message.
void KeeperRobot::recipientGone(const QString& player) {
    presence_.markGone(player);
    queue_.dropLane(player);
    std::erase_if(held_, [&](const HeldLine& line) { return line.player == player; });
    deliveries_.recipientGone(player);
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

// Whether the queue holds more than the robot can say in kBusySeconds: new messages are then
// left unanswered (and unbooked) until it has caught up.
bool KeeperRobot::isBusy() const {
    const KeeperSendQueue::Pace pace = queue_.pace();
    const qint64 linesInBusyTime = qint64(pace.lines) * kBusySeconds * 1000 / pace.windowMs;
    return queue_.waitingLines() + qsizetype(held_.size()) + linesAwaitingDisk_ >
           std::max<qint64>(100, linesInBusyTime);
}

// A flooding player's messages come by the thousand, and the server drops the robot if it
// falls behind reading them. While their bucket is empty they are dropped here, before they
// are even parsed: one comparison a line.
bool KeeperRobot::isScreenedOut(QByteArrayView line) const {
    for (const Screened& entry : screened_) {
        if (line.startsWith(entry.prefix))
            return clock_.monotonicMs() < entry.untilMs;
    }
    return false;
}

// The latest floods are screened; the one whose time is up first makes room.
void KeeperRobot::screenOut(const QByteArray& prefix, qint64 forMs) {
    const qint64 until = clock_.monotonicMs() + forMs;
    auto entry = std::ranges::find(screened_, prefix, &Screened::prefix);
    if (entry == screened_.end() && qsizetype(screened_.size()) < kScreenedAtMost)
        entry = screened_.insert(screened_.end(), Screened{prefix, 0});
    else if (entry == screened_.end())
        entry = std::ranges::min_element(screened_, {}, &Screened::untilMs);
    *entry = Screened{prefix, until};
}

void KeeperRobot::onPrivateMessage(const IrcMessage& message) {
    const QByteArray nick = nickOf(message.prefix);
    const QByteArray& bytes = message.last();
    // Replies go back to the sender only, so the sender must be one name and nothing more.
    if (!isValidNickname(nick, kLongestNick) || sameNickname(nick, connection_->nick()))
        return;
    if (bytes.startsWith('\x01'))
        return; // a client-to-client request, not a word to the machinekeeper
    const QString player = playerKey(nick, caseMapping_);
    presence_.markHere(player);
    const KeeperFloodGuard::Verdict verdict = floodGuard_.admit(player);
    if (verdict != KeeperFloodGuard::Verdict::Take)
        screenOut(':' + message.prefix + " PRIVMSG ", floodGuard_.msUntilNext(player));
    if (verdict == KeeperFloodGuard::Verdict::DropAndWarn)
        queue_.push(player,
                    ircLine("PRIVMSG", {nick},
                            QByteArray(machine::kSlowDown.data(), machine::kSlowDown.size())));
    if (verdict != KeeperFloodGuard::Verdict::Take)
        return;
    if (isBusy() || booksFailedNoted_)
        return;
    const QString text = QString::fromUtf8(bytes);
    openBatch();
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
            booksRefused(player);
            break;
        }
    }
    queueFor(nick, player, replies, watched_.takeBookedGame());
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
        releaseWhenDurable(std::move(held));
        return;
    }
    // Nothing of these answers was booked: none of them may be told.
    log(QStringLiteral("the books did not take the last changes: %1").arg(books_.lastError()));
    booksRefused({});
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

// A change the books would not take: the player is told the machine is out of order (by the
// engine), the operator learns why, and books that can take nothing more stop the robot.
void KeeperRobot::booksRefused(const QString& player) {
    if (!player.isEmpty())
        log(QStringLiteral("the books refused a change for %1: %2")
                .arg(player.left(64), books_.lastError()));
    if (!books_.failedForGood())
        return;
    log(QStringLiteral("the books can take no more games: %1").arg(books_.lastError()));
    booksLost();
}

// The robot stops once the answers already promised (the out-of-order notes among them) have
// gone out, or a few seconds have passed.
void KeeperRobot::booksLost() {
    if (booksFailedNoted_)
        return;
    booksFailedNoted_ = true;
    const qint64 deadline = clock_.monotonicMs() + kLastWordsMs;
    // From the next turn of the event loop: the answer to the message at hand is made first.
    clock_.callAfter(0, this, [this, deadline] {
        books_.whenDurable([self = QPointer<KeeperRobot>(this), deadline](bool) {
            if (self)
                self->stopWhenSaid(deadline);
        });
    });
}

void KeeperRobot::stopWhenSaid(qint64 deadline) {
    if (queue_.waitingLines() > 0 && connection_->isRegistered() &&
        clock_.monotonicMs() < deadline) {
        clock_.callAfter(50, this, [this, deadline] { stopWhenSaid(deadline); });
        return;
    }
    if (booksFailed_)
        booksFailed_();
}

void KeeperRobot::emitLine(HeldLine line) {
    if (!line.player.isEmpty() && presence_.isGone(line.player))
        return; // never to a player known to have left
    if (batchOpen_) {
        held_.push_back(std::move(line));
        return;
    }
    std::vector<HeldLine> lines;
    lines.push_back(std::move(line));
    releaseWhenDurable(std::move(lines));
}

// Answers go out once what they tell of is safe on disk; the event loop goes on meanwhile.
void KeeperRobot::releaseWhenDurable(std::vector<HeldLine> lines) {
    linesAwaitingDisk_ += qsizetype(lines.size());
    books_.whenDurable(
        [self = QPointer<KeeperRobot>(this), lines = std::move(lines)](bool durable) mutable {
            if (self)
                self->release(std::move(lines), durable);
        });
}

void KeeperRobot::release(std::vector<HeldLine> lines, bool durable) {
    linesAwaitingDisk_ -= qsizetype(lines.size());
    if (!durable) {
        // A disk that cannot sync may have lost what was booked: nothing more is promised.
        log(QStringLiteral("the books could not be made safe on the disk; their last changes "
                           "are not told"));
        booksLost();
        return;
    }
    for (HeldLine& line : lines) {
        if (!line.player.isEmpty() && presence_.isGone(line.player))
            continue; // left while the disk was busy
        queue_.push(line.lane, std::move(line.line), std::move(line.written), line.droppable);
    }
}

void KeeperRobot::queueFor(const QByteArray& nick, const QString& player,
                           const std::vector<machine::Reply>& replies,
                           std::optional<qint64> bookedGame) {
    // A game's lines always go out; other answers are dropped whole when the player's lane is
    // full, which only a player who floods the robot can bring about.
    if (presence_.isGone(player))
        return; // whatever it was, the books keep it for their next message
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
        if (bookedGame && first) {
            written = [this, player, game = *bookedGame] { resultHandedOver(player, game); };
        } else if (!bookedGame && reply.text.startsWith(machine::kFirstDraw.left(6))) {
            // A first draw told on its own (the answer to "Register me!"), followed too.
            deliveries_.firstDrawQueued(player);
            written = [this, player] {
                deliveries_.firstDrawHandedOver(player);
                if (!probeQueued_ && !probeAlarm_->isActive())
                    probeAlarm_->start(kProbeDelayMs);
            };
        }
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

// Every line goes out here. A steady stream of output carries a probe every kProbeEveryBytes,
// so that the window of unconfirmed bytes keeps moving.
void KeeperRobot::writeLine(const QByteArray& line) {
    connection_->send(line);
    bytesWritten_ += line.size();
    if (bytesWritten_ - bytesAtLastProbe_ < kProbeEveryBytes)
        return;
    const QByteArray probe = ircLine("ISON", {connection_->nick()});
    connection_->send(probe);
    bytesWritten_ += probe.size();
    queue_.noteSentElsewhere(1);
    probeWritten();
}

// Every probe, whatever sent it: it covers the deliveries handed over and the bytes written
// before it.
void KeeperRobot::probeWritten() {
    deliveries_.probeSent();
    probeMarks_.push_back(bytesWritten_);
    bytesAtLastProbe_ = bytesWritten_;
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
            probeWritten();
        },
        false);
}

void KeeperRobot::onProbeAnswer() {
    if (!probeMarks_.empty()) {
        bytesConfirmed_ = std::max(bytesConfirmed_, probeMarks_.front());
        probeMarks_.pop_front();
    }
    const KeeperDeliveries::Marks marks = deliveries_.probeAnswered();
    if (!marks.empty() && !books_.markDelivered(marks))
        log(QStringLiteral("cannot note delivered results: %1").arg(books_.lastError()));
    if (deliveries_.needsProbe() && !probeQueued_ && !probeAlarm_->isActive())
        probeAlarm_->start(kProbeDelayMs);
    queue_.poke();
}

} // namespace jackwell::keeper
