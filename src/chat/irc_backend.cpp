#include "chat/irc_backend.h"

#include "chat/irc_log_lines.h"
#include "clock/clock.h"
#include "irc/irc_connection.h"
#include "irc/irc_message.h"
#include "irc/irc_numerics.h"
#include "irc/irc_send_gate.h"
#include "platform/quoted.h"

namespace jackwell {

namespace {

// Room for "@host" the server shows in the prefix of a passed-on line.
constexpr qsizetype kHostRoom = 64;
constexpr char kCtcpMark = '\x01';

// A CTCP mark would turn the message into a client command. (CR, LF and NUL, which would end
// or cut the line, are blanked by the line writer on the wire and by the chat log in the log.)
QByteArray cleanMessage(const QByteArray& message) {
    return QByteArray(message).replace(kCtcpMark, ' ');
}

} // namespace

IrcBackend::IrcBackend(Clock& clock, IrcConfig config)
    : clock_(clock)
    , speakingIn_(config.channel) {
    connection_ = std::make_unique<IrcConnection>(
        clock, std::move(config),
        IrcConnection::Handlers{
            .message = [this](const IrcMessage& message) { onMessage(message); },
            .registered = [this] { onRegistered(); },
            .lost = [this](const QString& reason) { onLost(reason); },
            .screen = nullptr, // the card wants every line
            .refused = [this](const QString& reason) { onRefused(reason); },
            .note = nullptr,
            .readDone = nullptr,
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
    gate_->setOpen(false); // until a connection is registered again
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
                              .arg(QString::fromUtf8(quotedName(recipient))));
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
    const auto line = chatLogLine(message);
    const int greeting = greetingOf(message, line.has_value());
    if (line)
        log_.appendLine(*line, greeting);
    followPresence(message);
    reportGone(message);
}

// Private messages to a nickname the server does not know, or to someone who quit, go nowhere.
// Leaving a channel is not leaving the network: private messages still reach the one who left.
void IrcBackend::reportGone(const IrcMessage& message) {
    QByteArray nick;
    if (message.command == irc_numeric::noSuchNick)
        nick = message.param(1);
    else if (message.command == "QUIT" && isUserPrefix(message.prefix))
        nick = nickOf(message.prefix);
    if (!nick.isEmpty() && events_ && !sameNickname(nick, connection_->nick()))
        events_(ChatLinkEvent::Gone, displayText(nick));
}

// A greeting runs from the first of its numerics or server notices to the end of the message of
// the day, or to the first line of another kind in the log.
int IrcBackend::greetingOf(const IrcMessage& message, bool logged) {
    const bool serverNotice = message.command == "NOTICE" && !isUserPrefix(message.prefix) &&
                              (greetingOpen_ || !connection_->isRegistered());
    if (!serverNotice && !isGreetingNumeric(message.command)) {
        greetingOpen_ = greetingOpen_ && !logged;
        return 0;
    }
    if (!greetingOpen_)
        ++greetings_;
    greetingOpen_ =
        message.command != irc_numeric::endOfMotd && message.command != irc_numeric::noMotd;
    return greetings_;
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
    } else if (command == "NICK" && sameNickname(message.param(0), connection_->nick())) {
        // Ours: the connection has taken the new nickname already.
        if (!nickWanted_.isEmpty() && sameNickname(message.param(0), nickWanted_))
            connection_->setRegistrationNick(std::exchange(nickWanted_, {}));
    } else {
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
    status.offlineSince = clock_.timeOfDay() - double(offlineFor) / 1000.0;
    if (const qint64 next = connection_->nextAttemptInMs(); next >= 0)
        status.nextTryInMs = next;
    return status;
}

QString IrcBackend::ownName() const {
    return QString::fromLatin1(connection_->nick());
}

void IrcBackend::sayInPublic(const QString& text) {
    const QByteArray clean = cleanMessage(text.toUtf8());
    if (open_ && !clean.trimmed().isEmpty() && speak(clean, false))
        log_.appendLine(ownName() + QStringLiteral(": ") + QString::fromUtf8(clean));
}

void IrcBackend::actInPublic(const QString& text) {
    const QByteArray clean = cleanMessage(text.toUtf8());
    if (open_ && !clean.trimmed().isEmpty() && speak(clean, true))
        log_.appendLine(ownName() + QStringLiteral(": * ") + ownName() + u' ' +
                        QString::fromUtf8(clean));
}

bool IrcBackend::speak(const QByteArray& text, bool action) {
    if (speakingIn_.isEmpty()) {
        log_.appendSystem(QStringLiteral("Not said: %1 names no channel to speak in; join one "
                                         "with /join #channel or write privately with /msg "
                                         "NAME text")
                              .arg(kChatConfigFileName));
        return false;
    }
    if (!connection_->isRegistered()) {
        log_.appendSystem(QStringLiteral("Not said: no connection to %1").arg(serverName()));
        return false;
    }
    // An action is wrapped in CTCP marks, which take room of their own.
    const QByteArray open = action ? kCtcpMark + QByteArray("ACTION ") : QByteArray();
    const QByteArray close = action ? QByteArray(1, kCtcpMark) : QByteArray();
    const qsizetype room = textBytesPerLine(speakingIn_) - open.size() - close.size();
    for (const QByteArray& piece : splitUtf8(text, room))
        gate_->push(ircLine("PRIVMSG", {speakingIn_}, QByteArrayView(open + piece + close)));
    return true;
}

QString IrcBackend::joinChannel(const QString& channel) {
    const QByteArray name = channel.toUtf8();
    if (!isChannelName(name))
        return QStringLiteral("Not joined: %1 is no channel name.").arg(quotedName(channel));
    if (!open_ || !connection_->isRegistered())
        return QStringLiteral("Not joined: no connection to %1.").arg(serverName());
    gate_->push(ircLine("JOIN", {name}));
    speakingIn_ = name;
    return {};
}

QString IrcBackend::changeNick(const QString& nick) {
    const QByteArray name = nick.toUtf8();
    if (!isValidNickname(name, connection_->nickLength()))
        return QStringLiteral("Not changed: %1 is no nickname the network takes.")
            .arg(quotedName(nick));
    if (!open_ || !connection_->isRegistered())
        return QStringLiteral("Not changed: no connection to %1.").arg(serverName());
    nickWanted_ = name;
    gate_->push(ircLine("NICK", {name}));
    return {};
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
    if (!speakingIn_.isEmpty() && speakingIn_ != connection_->config().channel)
        gate_->push(ircLine("JOIN", {speakingIn_})); // the channel joined last, again
    if (events_)
        events_(ChatLinkEvent::Up, nick);
    statusChanged();
}

void IrcBackend::addSystemLine(const QString& text) {
    log_.appendSystem(text);
}

// The login was refused on a connect after a loss, which closed everything already (onLost):
// the link stays down, and the player reads why.
void IrcBackend::onRefused(const QString& reason) {
    refusedAt_ = clock_.timeOfDay();
    log_.appendSystem(
        QStringLiteral("Cannot log in to the chat network %1: %2").arg(serverName(), reason));
    if (events_)
        events_(ChatLinkEvent::Down, reason);
    statusChanged();
}

void IrcBackend::onLost(const QString& reason) {
    everLost_ = true;
    greetingOpen_ = false;
    channelJoined_.clear();
    gate_->setOpen(false);
    log_.appendSystem(
        QStringLiteral("Connection to %1 lost (%2); reconnecting").arg(serverName(), reason));
    if (events_)
        events_(ChatLinkEvent::Down, reason);
    statusChanged();
}

std::unique_ptr<ChatPort> makeIrcBackend(Clock& clock, const IrcConfig& config,
                                         const QStringList& warnings, QString*) {
    auto backend = std::make_unique<IrcBackend>(clock, config);
    for (const QString& warning : warnings)
        backend->addSystemLine(warning);
    return backend;
}

} // namespace jackwell
