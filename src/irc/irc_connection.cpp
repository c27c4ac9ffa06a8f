#include "irc/irc_connection.h"

#include "clock/clock.h"
#include "irc/irc_numerics.h"
#include "irc/irc_tls.h"

#include <QDeadlineTimer>
#include <QSslSocket>
#include <QTcpSocket>

#include <algorithm>

#ifdef Q_OS_LINUX
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#endif

namespace jackwell {

namespace {

constexpr qint64 kReadChunkBytes = 64 * 1024;
// Enough socket waits for connecting, the TLS handshake and a long welcome.
constexpr int kMaxOpenWaits = 1000;
constexpr qsizetype kLongestReason = 200; // of what a server says when it turns us down

const QByteArray kRealName = "Jackwell player";

bool isNickRefusal(const QByteArray& command) {
    return command == irc_numeric::nicknameInUse || command == irc_numeric::nickCollision ||
           command == irc_numeric::unavailableResource;
}

// A server that holds back a small write until its last one is acknowledged (Nagle's rule)
// would otherwise wait for our delayed acknowledgement, about 40 ms, before passing on a message
// that comes just after one it sent us (the answer to the robot's probe, say). The kernel drops
// quick acknowledgement again on its own, so it is asked for after every read; asking also sends
// the acknowledgement still owed for what was just read.
void acknowledgeAtOnce(QAbstractSocket& socket) {
#ifdef Q_OS_LINUX
    const qintptr descriptor = socket.socketDescriptor();
    const int on = 1;
    if (descriptor >= 0)
        ::setsockopt(int(descriptor), IPPROTO_TCP, TCP_QUICKACK, &on, sizeof on);
#else
    Q_UNUSED(socket);
#endif
}

} // namespace

IrcConnection::IrcConnection(Clock& clock, IrcConfig config, Handlers handlers)
    : clock_(clock)
    , config_(std::move(config))
    , handlers_(std::move(handlers))
    , nick_(config_.nick)
    , offlineSinceMs_(clock.monotonicMs()) {
    retryAlarm_ = clock_.createAlarm([this] { startAttempt(); });
    attemptAlarm_ = clock_.createAlarm([this] {
        lose(
            QStringLiteral("no welcome from the server within %1 s").arg(kAttemptTimeoutMs / 1000));
    });
    idleAlarm_ = clock_.createAlarm([this] { idleExpired(); });
}

IrcConnection::~IrcConnection() {
    abandon();
}

void IrcConnection::abandon() {
    closed_ = true;
    stopAlarms();
    retireSocket();
    state_ = State::Offline;
}

void IrcConnection::stopAlarms() {
    retryAlarm_->stop();
    attemptAlarm_->stop();
    idleAlarm_->stop();
}

QByteArray IrcConnection::nickVariant(const QByteArray& base, int tries, int maxLength) {
    if (tries <= 0)
        return base.left(maxLength);
    const QByteArray suffix = tries == 1 ? QByteArray("_") : QByteArray::number(tries - 1);
    return base.left(std::max<qsizetype>(1, maxLength - suffix.size())) + suffix;
}

bool IrcConnection::openBlocking(QString* error) {
    opening_ = true;
    startAttempt();
    const QDeadlineTimer deadline(kOpenBudgetMs);
    for (int wait = 0;
         wait < kMaxOpenWaits && socket_ && state_ != State::Registered && !deadline.hasExpired();
         ++wait) {
        QTcpSocket* socket = socket_;
        const int left = int(std::max<qint64>(1, deadline.remainingTime()));
        // The socket's signals (connected, readyRead, errors) run inside these waits.
        if (state_ == State::Connecting)
            socket->waitForConnected(left);
        else if (state_ == State::Handshaking)
            static_cast<QSslSocket*>(socket)->waitForEncrypted(left);
        else
            socket->waitForReadyRead(left);
    }
    opening_ = false;
    if (state_ == State::Registered)
        return true;
    if (lastError_.isEmpty())
        lastError_ =
            QStringLiteral("no welcome from the server within %1 s").arg(kOpenBudgetMs / 1000);
    *error = lastError_;
    abandon(); // a start that failed is not tried again
    return false;
}

void IrcConnection::close() {
    if (socket_ && state_ != State::Offline && state_ != State::Connecting &&
        state_ != State::Handshaking) {
        // A polite goodbye, as far as it gets out without waiting.
        socket_->disconnect(this);
        socket_->write(ircLine("QUIT", {}, QByteArrayView("Jackwell closed")));
        socket_->flush();
        socket_->disconnectFromHost();
    }
    abandon(); // the socket, its goodbye on its way, is let go
}

void IrcConnection::reconnectNow() {
    if (closed_ || opening_ || state_ != State::Offline)
        return;
    if (lastAttemptAtMs_ >= 0 && clock_.monotonicMs() - lastAttemptAtMs_ < kShortestAttemptGapMs)
        return;
    retryAlarm_->stop();
    startAttempt();
}

void IrcConnection::send(const QByteArray& line) {
    if (socket_ && state_ != State::Offline && state_ != State::Connecting &&
        state_ != State::Handshaking)
        socket_->write(line);
}

bool IrcConnection::hasCapability(QByteArrayView name) const {
    return capabilities_.contains(name.toByteArray());
}

bool IrcConnection::offersCapability(QByteArrayView name) const {
    return offered_.contains(name.toByteArray());
}

std::optional<QByteArray> IrcConnection::isupport(QByteArrayView key) const {
    const auto found = isupport_.constFind(key.toByteArray());
    if (found == isupport_.cend())
        return std::nullopt;
    return *found;
}

void IrcConnection::note(const QString& text) const {
    if (handlers_.note)
        handlers_.note(text);
}

void IrcConnection::startAttempt() {
    if (loginRefused_)
        return;
    retireSocket();
    lastError_.clear();
    serverRefusal_.clear();
    state_ = State::Connecting;
    lastAttemptAtMs_ = clock_.monotonicMs();
    nickTries_ = 0;
    nick_ = config_.nick;
    reader_.clear();
    capabilities_.clear();
    offered_.clear();
    isupport_.clear();
    account_.clear();
    login_ = std::make_unique<IrcLogin>(config_);
    QTcpSocket* socket = nullptr;
    if (config_.tls) {
        if (!QSslSocket::supportsSsl()) {
            lose(QStringLiteral("TLS is not available on this system"));
            return;
        }
        auto* ssl = new QSslSocket(this);
        QString error;
        if (!prepareTls(*ssl, config_, &error)) {
            delete ssl;
            refuseLogin(error);
            return;
        }
        connect(ssl, &QSslSocket::encrypted, this, [this] { sendRegistration(); });
        socket = ssl;
    } else {
        socket = new QTcpSocket(this);
    }
    connect(socket, &QTcpSocket::connected, this, [this, socket] {
        // Every line is a whole message: it leaves at once, never held for the one before it.
        socket->setSocketOption(QAbstractSocket::LowDelayOption, 1);
        if (config_.tls)
            state_ = State::Handshaking;
        else
            sendRegistration();
    });
    connect(socket, &QTcpSocket::readyRead, this, [this] { readAvailable(); });
    connect(socket, &QTcpSocket::disconnected, this,
            [this] { lose(QStringLiteral("the server closed the connection")); });
    connect(socket, &QTcpSocket::errorOccurred, this, [this, socket] {
        if (socket == socket_)
            lose(socket->errorString());
    });
    socket_ = socket;
    if (!opening_)
        attemptAlarm_->start(kAttemptTimeoutMs);
    if (auto* ssl = qobject_cast<QSslSocket*>(socket))
        ssl->connectToHostEncrypted(config_.server, config_.port);
    else
        socket->connectToHost(config_.server, config_.port);
}

void IrcConnection::sendRegistration() {
    state_ = State::Registering;
    for (const QByteArray& line : login_->begin())
        send(line);
    if (!config_.password.isEmpty())
        send(ircLine("PASS", {}, QByteArrayView(config_.password)));
    send(ircLine("NICK", {nick_}));
    send(ircLine("USER", {kUserName, "0", "*"}, QByteArrayView(kRealName)));
}

void IrcConnection::readAvailable() {
    const QPointer<QTcpSocket> socket = socket_;
    if (socket)
        acknowledgeAtOnce(*socket);
    if (isRegistered()) {
        pingSent_ = false;
        idleAlarm_->start(kIdleBeforePingMs);
    }
    while (socket && socket == socket_ && socket->bytesAvailable() > 0) {
        const QByteArray chunk = socket->read(kReadChunkBytes);
        if (chunk.isEmpty())
            break;
        reader_.feed(chunk, [&](QByteArrayView line) {
            if (socket != socket_)
                return false; // the connection was given up while handling a line
            if (handlers_.screen && !handlers_.screen(line))
                return true;
            if (const auto message = parseIrcLine(line))
                handle(*message);
            return true;
        });
    }
    if (handlers_.readDone)
        handlers_.readDone();
}

void IrcConnection::handle(const IrcMessage& message) {
    const QByteArray& command = message.command;
    if (command == "PING") {
        send(ircLine("PONG", {}, QByteArrayView(message.last())));
        return;
    }
    if (command == "PONG")
        return;
    noteServerRefusal(message);
    if (command == "NICK" && sameNickname(nickOf(message.prefix), nick_) &&
        isValidNickname(message.param(0), kIrcLongestNickLength))
        nick_ = message.param(0);
    if (command == irc_numeric::isupport) {
        for (qsizetype i = 1; i + 1 < message.params.size(); ++i) {
            const QByteArray& token = message.params[i];
            const qsizetype equals = token.indexOf('=');
            isupport_.insert(token.left(equals < 0 ? token.size() : equals),
                             equals < 0 ? QByteArray() : token.mid(equals + 1));
        }
        const int length = isupport("NICKLEN").value_or(QByteArray()).toInt();
        if (length > 0)
            nickLength_ = std::min(length, kIrcLongestNickLength);
    }
    if (state_ == State::Registering && login_->outcome() == IrcLogin::Outcome::Negotiating &&
        command != irc_numeric::welcome) {
        negotiate(message);
        if (state_ != State::Registering)
            return; // the login was refused
    }
    if (command == irc_numeric::loggedIn)
        account_ = message.param(2);
    if (handlers_.message)
        handlers_.message(message);
    if (state_ == State::Registering) {
        if (command == irc_numeric::welcome) {
            login_->registrationDone();
            if (login_->outcome() == IrcLogin::Outcome::Refused)
                refuseLogin(login_->refusal());
            else
                onRegistered(message);
        } else if (isNickRefusal(command))
            tryNextNick();
        else if (command == irc_numeric::erroneousNickname)
            lose(QStringLiteral("the server refuses the nickname %1")
                     .arg(QString::fromLatin1(nick_)));
    }
}

// A server that turns a connection down says why (a wrong server password: 464 and an ERROR
// line) and closes it; its words, not the socket's, tell what went wrong.
void IrcConnection::noteServerRefusal(const IrcMessage& message) {
    const QByteArray& command = message.command;
    const bool refusal =
        state_ == State::Registering &&
        (command == irc_numeric::noPermForHost || command == irc_numeric::passwordMismatch ||
         command == irc_numeric::bannedFromServer);
    if (!refusal && command != "ERROR")
        return;
    QString words = QString::fromUtf8(message.last()).simplified().left(kLongestReason);
    if (refusal)
        words += QStringLiteral(" (%1)").arg(QString::fromLatin1(command));
    serverRefusal_ += (serverRefusal_.isEmpty() ? QString() : QStringLiteral("; ")) + words;
}

void IrcConnection::negotiate(const IrcMessage& message) {
    for (const QByteArray& line : login_->take(message))
        send(line);
    if (login_->outcome() == IrcLogin::Outcome::Refused) {
        refuseLogin(login_->refusal());
        return;
    }
    if (login_->outcome() == IrcLogin::Outcome::Failed) {
        lose(login_->refusal());
        return;
    }
    if (login_->outcome() != IrcLogin::Outcome::Done)
        return;
    capabilities_ = login_->enabled();
    const QList<QByteArray> offered = login_->offered().keys();
    offered_ = QSet<QByteArray>(offered.cbegin(), offered.cend());
    if (!capabilities_.isEmpty()) {
        QList<QByteArray> names(capabilities_.cbegin(), capabilities_.cend());
        std::ranges::sort(names);
        note(QStringLiteral("capabilities: %1").arg(QString::fromLatin1(names.join(' '))));
    }
    if (login_->loginWanted())
        note(QStringLiteral("logged in as %1").arg(QString::fromUtf8(login_->account())));
}

// A login that will not succeed by trying again: the connection ends for good. It is found out
// before a registration, so offlineSinceMs_ already says since when (see lose()).
void IrcConnection::refuseLogin(const QString& reason) {
    loginRefused_ = true;
    lastError_ = reason;
    abandon(); // for good: trying again would not change the answer
    if (!opening_ && handlers_.refused)
        handlers_.refused(reason);
}

void IrcConnection::tryNextNick() {
    if (++nickTries_ > kMaxNickTries) {
        lose(QStringLiteral("no free nickname after %1 tries").arg(kMaxNickTries));
        return;
    }
    nick_ = nickVariant(config_.nick, nickTries_, nickLength_);
    send(ircLine("NICK", {nick_}));
}

void IrcConnection::onRegistered(const IrcMessage& welcome) {
    if (isValidNickname(welcome.param(0), kIrcLongestNickLength))
        nick_ = welcome.param(0);
    state_ = State::Registered;
    failures_ = 0;
    offlineSinceMs_ = -1;
    attemptAlarm_->stop(); // welcomed in time
    pingSent_ = false;
    idleAlarm_->start(kIdleBeforePingMs);
    if (!config_.channel.isEmpty())
        send(ircLine("JOIN", {config_.channel}));
    if (handlers_.registered)
        handlers_.registered();
}

void IrcConnection::idleExpired() {
    if (!isRegistered())
        return;
    if (pingSent_) {
        lose(QStringLiteral("the server stopped answering"));
        return;
    }
    pingSent_ = true;
    send(ircLine("PING", {}, QByteArrayView(kUserName)));
    idleAlarm_->start(kPingAnswerMs);
}

void IrcConnection::lose(const QString& reason) {
    if (state_ == State::Offline)
        return;
    const bool wasRegistered = isRegistered();
    state_ = State::Offline;
    lastError_ = serverRefusal_.isEmpty()
                     ? reason
                     : QStringLiteral("the server closed the connection: %1").arg(serverRefusal_);
    stopAlarms(); // a retry is planned anew below when one is wanted
    retireSocket();
    if (offlineSinceMs_ < 0)
        offlineSinceMs_ = clock_.monotonicMs();
    if (opening_ || closed_)
        return;
    scheduleRetry();
    if (wasRegistered && handlers_.lost)
        handlers_.lost(reason);
}

// Detaches the socket from us and lets it go; it may be the one whose signal
// is running, so it is deleted from the event loop.
void IrcConnection::retireSocket() {
    if (!socket_)
        return;
    QTcpSocket* socket = socket_;
    socket_ = nullptr;
    socket->disconnect(this);
    socket->abort();
    socket->deleteLater();
}

void IrcConnection::scheduleRetry() {
    const int delay = std::min(kLongestRetryMs, kFirstRetryMs << std::min(failures_, 5));
    ++failures_;
    note(QStringLiteral("connecting again in %1 s (%2)").arg(delay / 1000.0).arg(lastError_));
    nextAttemptAtMs_ = clock_.monotonicMs() + delay;
    retryAlarm_->start(delay);
}

qint64 IrcConnection::nextAttemptInMs() const {
    if (state_ != State::Offline && state_ != State::Registered)
        return 0;
    if (!retryAlarm_->isActive())
        return -1;
    return std::max<qint64>(0, nextAttemptAtMs_ - clock_.monotonicMs());
}

} // namespace jackwell
