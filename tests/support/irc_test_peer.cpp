#include "support/irc_test_peer.h"

#include "irc/irc_numerics.h"
#include "support/ngircd_server.h"
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

bool IrcTestPeer::connectTo(quint16 port, int timeoutMs) {
    socket_.connectToHost(NgircdServer::kHost, port);
    if (!socket_.waitForConnected(timeoutMs))
        return false;
    sendRaw("NICK " + nick_ + "\r\nUSER " + nick_ + " 0 * :test peer\r\n");
    return blockUntil([this] { return registered_; }, timeoutMs);
}

bool IrcTestPeer::receivedCommand(QByteArrayView command) const {
    return std::any_of(received_.begin(), received_.end(),
                       [&](const IrcMessage& m) { return m.command == command; });
}

bool IrcTestPeer::connectWithLogin(quint16 port, const QByteArray& account,
                                   const QByteArray& password, int timeoutMs) {
    socket_.connectToHost(NgircdServer::kHost, port);
    if (!socket_.waitForConnected(timeoutMs))
        return false;
    sendRaw("CAP LS 302\r\nNICK " + nick_ + "\r\nUSER " + nick_ + " 0 * :test peer\r\n");
    sendRaw("CAP REQ :sasl account-tag extended-join account-notify message-tags\r\n");
    const auto acknowledged = [this] {
        return std::any_of(received_.begin(), received_.end(), [](const IrcMessage& m) {
            return m.command == "CAP" && m.param(1) == "ACK";
        });
    };
    if (!blockUntil(acknowledged, timeoutMs))
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
    return blockUntil([this] { return registered_; }, timeoutMs);
}

bool IrcTestPeer::changeNick(const QByteArray& nick, int timeoutMs) {
    sendRaw("NICK " + nick + "\r\n");
    const bool changed = blockUntil(
        [&] {
            return std::any_of(received_.begin(), received_.end(), [&](const IrcMessage& m) {
                return m.command == "NICK" && nickOf(m.prefix) == nick_ && m.param(0) == nick;
            });
        },
        timeoutMs);
    if (changed)
        nick_ = nick;
    return changed;
}

bool IrcTestPeer::join(const QByteArray& channel, int timeoutMs) {
    sendRaw("JOIN " + channel + "\r\n");
    return blockUntil(
        [&] {
            return std::any_of(received_.begin(), received_.end(), [&](const IrcMessage& m) {
                return m.command == "JOIN" && nickOf(m.prefix) == nick_ && m.param(0) == channel;
            });
        },
        timeoutMs);
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
        if (message->command == irc_numeric::welcome)
            registered_ = true;
        received_.push_back(*message);
    }
}

std::optional<IrcMessage> IrcTestPeer::waitFor(const std::function<bool(const IrcMessage&)>& match,
                                               int timeoutMs) {
    std::optional<IrcMessage> found;
    waitUntil(
        [&] {
            for (const IrcMessage& message : received_) {
                if (match(message)) {
                    found = message;
                    return true;
                }
            }
            return false;
        },
        timeoutMs);
    return found;
}

bool IrcTestPeer::waitForPrivmsg(const QByteArray& sender, const QByteArray& text, int timeoutMs) {
    return waitFor(
               [&](const IrcMessage& m) {
                   return m.command == "PRIVMSG" && nickOf(m.prefix) == sender &&
                          m.param(1) == text;
               },
               timeoutMs)
        .has_value();
}

QList<QByteArray> IrcTestPeer::privmsgsFrom(const QByteArray& sender) const {
    QList<QByteArray> texts;
    for (const IrcMessage& message : received_) {
        if (message.command == "PRIVMSG" && nickOf(message.prefix) == sender)
            texts.append(message.param(1));
    }
    return texts;
}

} // namespace jackwell::testing
