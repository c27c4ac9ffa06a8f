#include "load_player.h"

#include "clock/clock.h"
#include "irc/irc_numerics.h"
#include "machine/texts.h"

#include <QHostAddress>

#include <algorithm>

namespace jackwell::load {

namespace {

QByteArray bytesOf(QLatin1StringView text) {
    return QByteArray(text.data(), text.size());
}

const QByteArray kRegister = bytesOf(machine::kRegisterRequest);
const QByteArray kUsedUp = machine::kCreditsUsedUp.toLatin1();
const QByteArray kFirstHead = bytesOf(machine::kFirstDrawHead);
const QByteArray kFinalHead = bytesOf(machine::kFinalDrawHead);

} // namespace

LoadPlayer::LoadPlayer(Clock& clock, QByteArray nick, Settings settings, quint64 seed,
                       std::function<void()> finished)
    : clock_(clock)
    , nick_(std::move(nick))
    , settings_(std::move(settings))
    , random_(seed)
    , finished_(std::move(finished)) {
    current_ = settings_.keepers.value(0);
    thinkAlarm_ = clock_.createAlarm([this] { sendHolds(); });
    resendAlarm_ = clock_.createAlarm([this] { timedOut(); });
    reconnectAlarm_ = clock_.createAlarm([this] { connectNow(); });
    connect(&socket_, &QTcpSocket::connected, this, [this] {
        socket_.write("NICK " + nick_ + "\r\nUSER " + nick_ + " 0 * :load player\r\n");
    });
    connect(&socket_, &QTcpSocket::readyRead, this, [this] { readAvailable(); });
    connect(&socket_, &QTcpSocket::disconnected, this, [this] { onDisconnected(); });
    connect(&socket_, &QTcpSocket::errorOccurred, this, [this] {
        if (phase_ == Phase::Done)
            return;
        if (!reconnecting_)
            finish(socket_.errorString());
        else if (socket_.state() == QAbstractSocket::UnconnectedState &&
                 !reconnectAlarm_->isActive())
            reconnectAlarm_->start(settings_.retryMs);
    });
}

LoadPlayer::~LoadPlayer() {
    socket_.disconnect(this);
    socket_.abort();
}

void LoadPlayer::start() {
    connectNow();
}

void LoadPlayer::connectNow() {
    socket_.abort();
    reader_.clear();
    leaving_ = false;
    socket_.connectToHost(QHostAddress::LocalHost, settings_.port);
}

void LoadPlayer::onDisconnected() {
    if (reconnecting_ && phase_ != Phase::Done) {
        reconnectAlarm_->start(settings_.retryMs / 10);
        return;
    }
    finish(QStringLiteral("disconnected by the server"));
}

void LoadPlayer::say(const QByteArray& text) {
    socket_.write("PRIVMSG " + keeper() + " :" + text + "\r\n");
}

void LoadPlayer::finish(const QString& failure) {
    if (phase_ == Phase::Done)
        return;
    phase_ = Phase::Done;
    failure_ = failure;
    thinkAlarm_->stop();
    resendAlarm_->stop();
    reconnectAlarm_->stop();
    if (failure.isEmpty() && socket_.state() == QAbstractSocket::ConnectedState) {
        socket_.write("QUIT :done\r\n");
        socket_.disconnectFromHost();
    }
    if (finished_)
        finished_();
}

void LoadPlayer::readAvailable() {
    for (const QByteArray& line : reader_.feed(socket_.readAll())) {
        if (const auto message = parseIrcLine(line))
            handle(*message);
        if (phase_ == Phase::Done)
            return;
    }
}

void LoadPlayer::handle(const IrcMessage& message) {
    if (message.command == "PING") {
        socket_.write("PONG :" + message.last() + "\r\n");
    } else if (message.command == irc_numeric::welcome) {
        onWelcome();
    } else if (message.command == irc_numeric::nicknameInUse) {
        // The server has not yet let go of the connection just dropped: try again shortly.
        socket_.abort();
        reconnectAlarm_->start(settings_.retryMs);
    } else if (message.command == "JOIN" && nickOf(message.prefix) == nick_) {
        onJoined();
    } else if (message.command == irc_numeric::noSuchNick && message.param(1) == keeper()) {
        if (outOfReach(keeper()))
            return;
        // No robot on the server just now: whatever was sent is lost, so it goes again soon.
        if (phase_ == Phase::AwaitFirst || phase_ == Phase::AwaitFinal)
            resendAlarm_->start(settings_.retryMs);
    } else if (message.command == "PRIVMSG" && isMine(nickOf(message.prefix)) &&
               message.param(0) == nick_) {
        // From another of its robots only a result counts: one it booked that the split kept
        // from the player, told once the network is whole.
        fromCurrent_ = nickOf(message.prefix) == keeper();
        if (fromCurrent_ || message.last().startsWith(kFinalHead))
            onKeeperText(message.last());
    } else if ((message.command == "KILL" || message.command == "ERROR") &&
               !settings_.nearKeepers.isEmpty() && !leaving_ && !reconnecting_) {
        // Killed by the server: back under the same name, and on with the game.
        ++result_.killed;
        reconnecting_ = true;
    } else if (message.command == "QUIT" && !settings_.nearKeepers.isEmpty()) {
        outOfReach(nickOf(message.prefix));
    } else if (message.command == "JOIN") {
        away_.removeAll(nickOf(message.prefix)); // back, for the next game
    }
}

bool LoadPlayer::isMine(const QByteArray& robot) const {
    return robot == keeper() ||
           (!settings_.nearKeepers.isEmpty() &&
            (settings_.keepers.contains(robot) || settings_.nearKeepers.contains(robot)));
}

QByteArray LoadPlayer::reachable(const QByteArray& robot) const {
    return away_.contains(robot) ? settings_.nearKeepers.front() : robot;
}

// One of its robots left, or the server says it is not there: on a split network the player
// goes on with a robot on its own server, as it would with the first; what it was waiting for
// goes there.
bool LoadPlayer::outOfReach(const QByteArray& robot) {
    if (settings_.nearKeepers.isEmpty() || settings_.nearKeepers.contains(robot) ||
        !settings_.keepers.contains(robot))
        return false;
    if (!away_.contains(robot))
        away_ << robot;
    if (robot != current_)
        return true;
    current_ = reachable(robot);
    ++result_.movedNear;
    if (phase_ == Phase::AwaitFirst || phase_ == Phase::AwaitNext) {
        say(kRegister);
        resendAlarm_->start(settings_.resendMs);
    } else if (phase_ == Phase::AwaitFinal) {
        // Played there or not, the robot here answers them from the books.
        ++result_.resent;
        say(holds_);
        resendAlarm_->start(settings_.resendMs);
    }
    return true;
}

void LoadPlayer::onWelcome() {
    if (!settings_.channel.isEmpty()) {
        if (!reconnecting_)
            phase_ = Phase::Joining;
        socket_.write("JOIN " + settings_.channel + "\r\n");
        return;
    }
    onJoined();
}

// In the channel (or playing without one): a first visit registers, a visit after a dropped
// connection waits for the result of the holds it sent before (the robot tells it as soon as the
// player is back) and sends them again if it does not come.
void LoadPlayer::onJoined() {
    if (leaving_)
        return;
    if (reconnecting_) {
        reconnecting_ = false;
        // Holds sent again while the result is on its way would be played on the next first
        // draw: they go only when nothing came for a while.
        if (phase_ == Phase::AwaitFinal)
            resendAlarm_->start(settings_.rejoinWaitMs);
        return;
    }
    if (phase_ != Phase::Joining && phase_ != Phase::Connecting)
        return;
    phase_ = Phase::AwaitFirst;
    say(kRegister);
    resendAlarm_->start(settings_.resendMs);
}

void LoadPlayer::onKeeperText(const QByteArray& text) {
    if (text.startsWith(kFinalHead)) {
        // The last result told again by a robot the holds did not go to is no answer to them.
        if (phase_ == Phase::AwaitFinal && (fromCurrent_ || text != lastFinal_)) {
            pendingFinal_ = text;
            finalAtMs_ = clock_.monotonicMs();
            phase_ = Phase::AwaitNext;
            // The next line follows at once; should it be lost, registering shows the game
            // waiting without playing it.
            resendAlarm_->start(settings_.resendMs);
        } else if (text == lastFinal_ || text == pendingFinal_) {
            ++result_.toldAgain; // an answer to holds sent again, after their result came
        } else {
            ++result_.unasked;
            result_.finals << text;
        }
        return;
    }
    const bool first = text.startsWith(kFirstHead);
    if (first)
        result_.firsts << text;
    if (!first && !text.startsWith(kUsedUp))
        return; // the offer, the pay table, help
    if (phase_ == Phase::AwaitNext) {
        takeResult(text);
        return;
    }
    if (phase_ == Phase::AwaitFinal && first && text == currentFirst_ && fromCurrent_ &&
        !settings_.nearKeepers.isEmpty()) {
        // The draw told again by the robot the holds went to: they were not played, and go
        // again at once.
        ++result_.resent;
        say(holds_);
        resendAlarm_->start(settings_.resendMs);
        return;
    }
    if (phase_ == Phase::AwaitFirst && first) {
        resendAlarm_->stop();
        currentFirst_ = text;
        phase_ = Phase::Thinking;
        if (settings_.openLoop) {
            holdsWhenDue();
            return;
        }
        std::uniform_int_distribution<int> think(settings_.thinkMinMs, settings_.thinkMaxMs);
        thinkAlarm_->start(think(random_));
    }
}

void LoadPlayer::playAt(qint64 atMs) {
    slots_.push_back(atMs);
    ++gamesGiven_;
    if (phase_ == Phase::Thinking && !thinkAlarm_->isActive())
        holdsWhenDue();
}

void LoadPlayer::finishWhenPlayed() {
    finishing_ = true;
    if (isIdle())
        finish();
}

// Open loop: the next game's holds at its time, at once when it is already past.
void LoadPlayer::holdsWhenDue() {
    if (slots_.empty()) {
        if (finishing_)
            finish();
        return;
    }
    thinkAlarm_->start(int(std::max<qint64>(0, slots_.front() - clock_.monotonicMs())));
}

// The line after a result decides what the result was: the same result followed by the same
// first draw is the last game told again, and the holds were not played.
void LoadPlayer::takeResult(const QByteArray& followedBy) {
    resendAlarm_->stop();
    const bool toldAgain = pendingFinal_ == lastFinal_ &&
                           (followedBy == currentFirst_ || followedBy.startsWith(kUsedUp));
    if (toldAgain) {
        ++result_.toldAgain;
        ++result_.resent;
        phase_ = Phase::AwaitFinal;
        say(holds_);
        resendAlarm_->start(settings_.resendMs);
        return;
    }
    result_.finals << pendingFinal_;
    result_.latenciesMs.push_back(finalAtMs_ - holdsSentAtMs_);
    result_.finalsAtMs.push_back(finalAtMs_);
    lastFinal_ = pendingFinal_;
    if (!settings_.openLoop && gamesDone() >= settings_.games) {
        finish();
        return;
    }
    phase_ = Phase::AwaitFirst;
    if (settings_.keepers.size() > 1 || current_ != reachable(settings_.keepers[keeperIndex_])) {
        // On to the next robot (or back to its own): it finds the first draw waiting in the
        // shared books.
        if (settings_.keepers.size() > 1)
            keeperIndex_ = (keeperIndex_ + 1) % settings_.keepers.size();
        current_ = reachable(settings_.keepers[keeperIndex_]);
        say(kRegister);
        resendAlarm_->start(settings_.resendMs);
        return;
    }
    if (followedBy.startsWith(kUsedUp)) {
        say(kRegister);
        resendAlarm_->start(settings_.resendMs);
    } else {
        onKeeperText(followedBy);
    }
}

void LoadPlayer::sendHolds() {
    std::uniform_int_distribution<int> bit(0, 1);
    holds_ = bytesOf(machine::kHoldPrefix) + QByteArray::number(bit(random_)) + "," +
             QByteArray::number(bit(random_)) + "," + QByteArray::number(bit(random_));
    holdsSentAtMs_ = clock_.monotonicMs();
    if (settings_.openLoop && !slots_.empty()) {
        holdsSentAtMs_ = slots_.front(); // a late sending is the robot's delay too
        slots_.pop_front();
    }
    phase_ = Phase::AwaitFinal;
    say(holds_);
    if (settings_.dropsConnection) {
        // Gone in the same write: the robot reads the holds and the QUIT together.
        ++result_.drops;
        reconnecting_ = true;
        leaving_ = true;
        socket_.write("QUIT :dropped\r\n");
        socket_.flush();
        return;
    }
    resendAlarm_->start(settings_.resendMs);
}

void LoadPlayer::timedOut() {
    if (reconnecting_)
        return; // the holds go again once connected
    ++result_.resent;
    if (phase_ == Phase::AwaitFinal) {
        say(holds_);
    } else if (phase_ == Phase::AwaitFirst || phase_ == Phase::AwaitNext) {
        say(kRegister);
    } else {
        return;
    }
    resendAlarm_->start(settings_.resendMs);
}

} // namespace jackwell::load
