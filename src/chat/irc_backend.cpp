#include "chat/irc_backend.h"

#include "chat/irc_log_lines.h"
#include "clock/clock.h"
#include "irc/irc_connection.h"
#include "irc/irc_message.h"
#include "irc/irc_send_gate.h"

namespace jackwell {

namespace {

// Room for "@host" the server shows in the prefix of a passed-on line.
constexpr qsizetype kHostRoom = 64;

// CR, LF and NUL would end or cut the line; a CTCP mark would turn the
// message into a client command.
QByteArray cleanMessage(const QByteArray& message) {
    QByteArray clean = message;
    for (char& c : clean) {
        if (c == '\r' || c == '\n' || c == '\0' || c == '\x01')
            c = ' ';
    }
    return clean;
}

} // namespace

IrcBackend::IrcBackend(Clock& clock, IrcConfig config)
    : clock_(clock) {
    connection_ = std::make_unique<IrcConnection>(
        clock, std::move(config),
        IrcConnection::Handlers{
            .message = [this](const IrcMessage& message) { onMessage(message); },
            .registered = [this] { onRegistered(); },
            .lost = [this](const QString& reason) { onLost(reason); },
            .screen = nullptr, // the card wants every line
            .refused = [this](const QString& reason) { onRefused(reason); },
            .note = nullptr,
        });
    gate_ = std::make_unique<IrcSendGate>(
        clock, [this](const QByteArray& line) { connection_->send(line); });
}

IrcBackend::~IrcBackend() {
    gate_.reset();
    connection_.reset();
}

QString IrcBackend::serverName() const {
    const IrcConfig& config = connection_->config();
    return config.server + u':' + QString::number(config.port);
}

bool IrcBackend::open(EventSink events) {
    events_ = std::move(events);
    QString error;
    if (!connection_->openBlocking(&error)) {
        if (connection_->loginRefused())
            openError_ = QStringLiteral("Cannot log in to the chat network %1: %2");
        else if (!connection_->serverRefusal().isEmpty())
            openError_ = QStringLiteral("The chat network %1 turned the connection down: %2");
        else
            openError_ = QStringLiteral("Cannot reach the chat network %1: %2");
        const QString& why = connection_->serverRefusal();
        openError_ = openError_.arg(serverName(),
                                    why.isEmpty() || connection_->loginRefused() ? error : why);
        return false;
    }
    open_ = true;
    return true;
}

void IrcBackend::close() {
    open_ = false;
    closedAt_ = clock_.timeOfDay();
    channelJoined_.clear();
    gate_->setOpen(false);
    connection_->close();
    statusChanged();
}

std::optional<ChatStatus> IrcBackend::registerAgain() {
    if (connection_->isRegistered())
        return ChatStatus::Done;
    connection_->reconnectNow();
    return ChatStatus::NotRegistered;
}

std::optional<ChatStatus> IrcBackend::sendPrivateMessage(const QString& recipientName,
                                                         const QString& message) {
    if (!open_)
        return ChatStatus::GivenUp;
    const QByteArray recipient = recipientName.toUtf8();
    if (!isValidNickname(recipient, connection_->nickLength())) {
        log_.appendSystem(QStringLiteral("Message not sent: \"%1\" is not a nickname")
                              .arg(QString::fromUtf8(recipient.left(64))));
        return ChatStatus::GivenUp;
    }
    const QByteArray text = cleanMessage(message.toUtf8());
    if (text.isEmpty())
        return ChatStatus::GivenUp;
    if (!connection_->isRegistered()) {
        const qint64 since = connection_->offlineSinceMs();
        if (since >= 0 && clock_.monotonicMs() - since >= kGiveUpAfterMs) {
            log_.appendSystem(QStringLiteral("Message to %1 not sent: no connection to %2")
                                  .arg(QString::fromLatin1(recipient), serverName()));
            return ChatStatus::GivenUp;
        }
        return ChatStatus::NotRegistered;
    }
    if (gate_->isHeldBack())
        return ChatStatus::Busy;
    for (const QByteArray& piece : splitUtf8(text, textBytesPerLine(recipient)))
        gate_->push(ircLine("PRIVMSG", {recipient}, QByteArrayView(piece)));
    log_.appendLine(QStringLiteral("ESP to ") + QString::fromLatin1(recipient) +
                    QStringLiteral(": ") + QString::fromUtf8(text));
    return ChatStatus::Done;
}

std::optional<ChatStatus> IrcBackend::requestText() {
    return open_ ? ChatStatus::Done : ChatStatus::GivenUp;
}

bool IrcBackend::isHeldBack() const {
    return gate_->isHeldBack();
}

qsizetype IrcBackend::textBytesPerLine(const QByteArray& recipient) const {
    // ":nick!user@host PRIVMSG recipient :text\r\n" as the recipient gets it.
    const qsizetype prefix =
        1 + connection_->nickLength() + 1 + 1 + IrcConnection::kUserName.size() + 1 + kHostRoom + 1;
    const qsizetype command = qsizetype(sizeof("PRIVMSG ") - 1) + recipient.size() + 2;
    return kIrcMaxLineBytes - 2 - prefix - command;
}

void IrcBackend::onMessage(const IrcMessage& message) {
    if (const auto line = chatLogLine(message))
        log_.appendLine(*line);
    followPresence(message);
}

void IrcBackend::followPresence(const IrcMessage& message) {
    const QByteArray& command = message.command;
    const bool fromUs = sameNickname(nickOf(message.prefix), connection_->nick());
    const QString channel = QString::fromUtf8(message.param(0));
    if (command == "JOIN" && fromUs) {
        channelJoined_ = channel;
    } else if ((command == "PART" && fromUs) ||
               (command == "KICK" && sameNickname(message.param(1), connection_->nick()))) {
        if (channel.compare(channelJoined_, Qt::CaseInsensitive) == 0)
            channelJoined_.clear();
    } else if (command != "NICK" || !fromUs) {
        return;
    }
    statusChanged();
}

void IrcBackend::statusChanged() {
    if (listener_.statusChanged)
        listener_.statusChanged();
}

ChatLinkStatus IrcBackend::linkStatus() const {
    ChatLinkStatus status;
    status.server = serverName();
    status.nick = QString::fromLatin1(connection_->nick());
    if (!open_) {
        status.state = ChatLinkStatus::State::Offline;
        status.offlineSince = closedAt_;
        return status;
    }
    if (connection_->loginRefused()) {
        // No more tries: the login would be refused again.
        status.state = ChatLinkStatus::State::Offline;
        status.offlineSince = refusedAt_;
        return status;
    }
    if (connection_->isRegistered()) {
        status.state = ChatLinkStatus::State::Connected;
        status.channel = channelJoined_;
        return status;
    }
    const qint64 offlineFor = clock_.monotonicMs() - connection_->offlineSinceMs();
    status.state = offlineFor >= kGiveUpAfterMs ? ChatLinkStatus::State::Offline
                                                : ChatLinkStatus::State::Reconnecting;
    const double since = clock_.timeOfDay() - double(offlineFor) / 1000.0;
    status.offlineSince = since < 0 ? since + 24 * 3600 : since;
    if (const qint64 next = connection_->nextAttemptInMs(); next >= 0)
        status.nextTryInMs = next;
    return status;
}

QString IrcBackend::ownName() const {
    return QString::fromLatin1(connection_->nick());
}

void IrcBackend::sayInPublic(const QString& text) {
    const QByteArray clean = cleanMessage(text.toUtf8());
    if (!open_ || clean.trimmed().isEmpty())
        return;
    const QByteArray& channel = connection_->config().channel;
    if (channel.isEmpty()) {
        log_.appendSystem(QStringLiteral("Not said: %1 names no channel to speak in; write "
                                         "privately with /msg NAME text")
                              .arg(kChatConfigFileName));
        return;
    }
    if (!connection_->isRegistered()) {
        log_.appendSystem(QStringLiteral("Not said: no connection to %1").arg(serverName()));
        return;
    }
    for (const QByteArray& piece : splitUtf8(clean, textBytesPerLine(channel)))
        gate_->push(ircLine("PRIVMSG", {channel}, QByteArrayView(piece)));
    log_.appendLine(ownName() + QStringLiteral(": ") + QString::fromUtf8(clean));
}

void IrcBackend::setListener(Listener listener) {
    listener_ = std::move(listener);
    log_.setLineAdded(listener_.lineAdded);
}

void IrcBackend::onRegistered() {
    const QString nick = QString::fromLatin1(connection_->nick());
    log_.appendSystem((everLost_ ? QStringLiteral("Reconnected to %1 as %2")
                                 : QStringLiteral("Connected to %1 as %2"))
                          .arg(serverName(), nick));
    gate_->setOpen(true);
    if (events_)
        events_(ChatLinkEvent::Up, nick);
    statusChanged();
}

void IrcBackend::addSystemLine(const QString& text) {
    log_.appendSystem(text);
}

// The login was refused on a later connect: the link stays down, and the player reads why.
void IrcBackend::onRefused(const QString& reason) {
    everLost_ = true;
    channelJoined_.clear();
    refusedAt_ = clock_.timeOfDay();
    gate_->setOpen(false);
    log_.appendSystem(
        QStringLiteral("Cannot log in to the chat network %1: %2").arg(serverName(), reason));
    if (events_)
        events_(ChatLinkEvent::Down, reason);
    statusChanged();
}

void IrcBackend::onLost(const QString& reason) {
    everLost_ = true;
    channelJoined_.clear();
    gate_->setOpen(false);
    log_.appendSystem(
        QStringLiteral("Connection to %1 lost (%2); reconnecting").arg(serverName(), reason));
    if (events_)
        events_(ChatLinkEvent::Down, reason);
    statusChanged();
}

} // namespace jackwell
