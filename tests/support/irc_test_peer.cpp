#include "support/irc_test_peer.h"

#include "irc/irc_numerics.h"
#include "support/test_server.h"
#include "support/wait_until.h"

#include <QDeadlineTimer>

namespace jackwell::testing {

IrcTestPeer::IrcTestPeer(QByteArray nick)
    : nick_(std::move(nick)) {
    connect(&socket_, &QTcpSocket::readyRead, this, [this] { readLines(); });
}

bool IrcTestPeer::blockUntil(const std::function<bool()>& done, int timeoutMs) {
    const QDeadlineTimer deadline(timeoutMs);
    for (int wait = 0; wait < 1000 && !done() && !deadline.hasExpired(); ++wait) {
        if (socket_.state() != QAbstractSocket::ConnectedState)
            return false;
        socket_.waitForReadyRead(int(std::max<qint64>(1, deadline.remainingTime())));
    }
    return done();
}

bool IrcTestPeer::receivedCommand(QByteArrayView command, QByteArrayView param1) const {
    return std::ranges::any_of(received_, [&](const IrcMessage& m) {
        return m.command == command && (param1.isNull() || m.param(1) == param1);
    });
}

bool IrcTestPeer::connectTo(quint16 port, int timeoutMs) {
    if (socket_.state() == QAbstractSocket::UnconnectedState) // else asked again, to register
        socket_.connectToHost(TestServer::kHost, port);
    if (!socket_.waitForConnected(timeoutMs))
        return false;
    sendRaw("NICK " + nick_ + "\r\nUSER " + nick_ + " 0 * :test peer\r\n");
    return blockUntil([this] { return receivedCommand(irc_numeric::welcome); }, timeoutMs);
}

bool IrcTestPeer::connectWithLogin(quint16 port, const QByteArray& account,
                                   const QByteArray& password, int timeoutMs) {
    socket_.connectToHost(TestServer::kHost, port);
    if (!socket_.waitForConnected(timeoutMs))
        return false;
    sendRaw("CAP LS 302\r\nNICK " + nick_ + "\r\nUSER " + nick_ + " 0 * :test peer\r\n");
    // The login alone first: a server may refuse a request that names one it does not offer.
    sendRaw("CAP REQ :sasl\r\nCAP REQ :account-tag extended-join account-notify message-tags\r\n");
    if (!blockUntil([this] { return receivedCommand("CAP", "ACK"); }, timeoutMs))
        return false;
    sendRaw("AUTHENTICATE PLAIN\r\n");
    if (!blockUntil([this] { return receivedCommand("AUTHENTICATE"); }, timeoutMs))
        return false;
    sendRaw("AUTHENTICATE " + (account + '\0' + account + '\0' + password).toBase64() + "\r\n");
    if (!blockUntil([this] { return receivedCommand("903") || receivedCommand("904"); },
                    timeoutMs) ||
        !receivedCommand("903"))
        return false;
    sendRaw("CAP END\r\n");
    return blockUntil([this] { return receivedCommand(irc_numeric::welcome); }, timeoutMs);
}

// Sends `command` for `target` and waits until the server says it was done for this peer.
bool IrcTestPeer::sendAndConfirm(const QByteArray& command, const QByteArray& target,
                                 int timeoutMs) {
    sendRaw(command + ' ' + target + "\r\n");
    return blockUntil([&] { return hasReceived(command, nick_, {target}); }, timeoutMs);
}

bool IrcTestPeer::changeNick(const QByteArray& nick, int timeoutMs) {
    if (!sendAndConfirm("NICK", nick, timeoutMs))
        return false;
    nick_ = nick;
    return true;
}

bool IrcTestPeer::join(const QByteArray& channel, int timeoutMs) {
    return sendAndConfirm("JOIN", channel, timeoutMs);
}

void IrcTestPeer::privmsg(const QByteArray& target, const QByteArray& text) {
    sendRaw("PRIVMSG " + target + " :" + text + "\r\n");
}

void IrcTestPeer::sendRaw(const QByteArray& bytes) {
    socket_.write(bytes);
    socket_.flush();
}

void IrcTestPeer::readLines() {
    pending_ += socket_.readAll();
    for (qsizetype end = pending_.indexOf('\n'); end >= 0; end = pending_.indexOf('\n')) {
        QByteArray line = pending_.left(end);
        pending_.remove(0, end + 1);
        if (line.endsWith('\r'))
            line.chop(1);
        rawLines_.append(line);
        const auto message = parseIrcLine(line);
        if (!message)
            continue;
        if (message->command == "PING")
            sendRaw("PONG :" + message->last() + "\r\n");
        received_.push_back(*message);
    }
}

std::optional<IrcMessage> IrcTestPeer::waitFor(const std::function<bool(const IrcMessage&)>& match,
                                               int timeoutMs) {
    std::optional<IrcMessage> found;
    waitUntil(
        [&] {
            const auto at = std::ranges::find_if(received_, match);
            if (at != received_.end())
                found = *at;
            return found.has_value();
        },
        timeoutMs);
    return found;
}

bool IrcTestPeer::hasReceived(QByteArrayView command, QByteArrayView sender,
                              const QByteArrayList& params) const {
    return std::ranges::any_of(received_, [&](const IrcMessage& m) {
        for (qsizetype i = 0; i < params.size(); ++i) {
            if (m.param(i) != params[i])
                return false;
        }
        return (command.isEmpty() || m.command == command) &&
               (sender.isEmpty() || nickOf(m.prefix) == sender);
    });
}

bool IrcTestPeer::waitForMessage(QByteArrayView command, QByteArrayView sender,
                                 const QByteArrayList& params, int timeoutMs) {
    return waitUntil([&] { return hasReceived(command, sender, params); }, timeoutMs);
}

bool IrcTestPeer::waitForPrivmsg(const QByteArray& sender, const QByteArrayView& text,
                                 int timeoutMs) {
    return waitUntil([&] { return privmsgsFrom(sender).contains(text); }, timeoutMs);
}

QList<QByteArray> IrcTestPeer::privmsgsFrom(const QByteArray& sender, QByteArrayView start) const {
    QList<QByteArray> texts;
    for (const IrcMessage& message : received_) {
        if (message.command == "PRIVMSG" && nickOf(message.prefix) == sender &&
            !isChannelName(message.param(0)) && message.param(1).startsWith(start))
            texts.append(message.param(1));
    }
    return texts;
}

bool IrcTestPeer::waitUntilGone(const QByteArray& nick, int timeoutMs) {
    const QDeadlineTimer deadline(timeoutMs);
    while (!deadline.hasExpired()) {
        const std::size_t before = received_.size();
        sendRaw("ISON " + nick + "\r\n");
        std::optional<QByteArray> online;
        waitUntil(
            [&] {
                for (std::size_t i = before; i < received_.size() && !online; ++i) {
                    if (received_[i].command == irc_numeric::isOn)
                        online = received_[i].last().trimmed();
                }
                return online.has_value();
            },
            1000);
        if (online && online->isEmpty())
            return true;
        runEventsFor(100);
    }
    return false;
}

} // namespace jackwell::testing
