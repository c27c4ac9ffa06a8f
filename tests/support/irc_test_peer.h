#pragma once

// Another user on a test IRC server, scripted by the test: it connects, registers and joins without
// running the event loop (the program under test cannot act meanwhile), then records what it gets.

#include "irc/irc_message.h"
#include "support/wait_until.h"

#include <QByteArray>
#include <QObject>
#include <QTcpSocket>

#include <functional>
#include <optional>
#include <vector>

namespace jackwell::testing {

class IrcTestPeer : public QObject {
public:
    explicit IrcTestPeer(QByteArray nick);

    // Connects to 127.0.0.1:port and registers; blocks for at most timeoutMs.
    bool connectTo(quint16 port, int timeoutMs = kWaitMs);
    // The same, logged in to `account` by SASL PLAIN with the account caps; false unless done.
    bool connectWithLogin(quint16 port, const QByteArray& account, const QByteArray& password,
                          int timeoutMs = kWaitMs);
    // Takes another nickname and waits (blocking) for the server to confirm it.
    bool changeNick(const QByteArray& nick, int timeoutMs = kWaitMs);
    // Joins a channel and waits (blocking) for the server to confirm it.
    bool join(const QByteArray& channel, int timeoutMs = kWaitMs);

    void privmsg(const QByteArray& target, const QByteArray& text);
    // Writes bytes as they are (the caller supplies the line end).
    void sendRaw(const QByteArray& bytes);

    // Waits on the event loop until a received message satisfies `match`.
    std::optional<IrcMessage> waitFor(const std::function<bool(const IrcMessage&)>& match,
                                      int timeoutMs = kWaitMs);
    // Whether a `command` came from `sender`, `params` first in it (empty command or sender: any).
    bool hasReceived(QByteArrayView command, QByteArrayView sender,
                     const QByteArrayList& params = {}) const;
    // Waits on the event loop until such a message has come.
    bool waitForMessage(QByteArrayView command, QByteArrayView sender,
                        const QByteArrayList& params = {}, int timeoutMs = kWaitMs);
    // Waits for a private message from `sender` whose text is exactly `text`.
    bool waitForPrivmsg(const QByteArray& sender, const QByteArrayView& text,
                        int timeoutMs = kWaitMs);
    // In order, the texts `sender` sent this peer privately (not to a channel) starting `start`.
    QList<QByteArray> privmsgsFrom(const QByteArray& sender, QByteArrayView start = {}) const;
    // Until the server says (asked with ISON) that nobody uses `nick`.
    bool waitUntilGone(const QByteArray& nick, int timeoutMs = kWaitMs);

    const QByteArray& nick() const { return nick_; }
    bool isConnected() const { return socket_.state() == QAbstractSocket::ConnectedState; }
    // What was written and has not yet left for the server.
    qint64 unsentBytes() const { return socket_.bytesToWrite(); }
    // Every line received, as it came (without CR LF).
    const QList<QByteArray>& rawLines() const { return rawLines_; }
    const std::vector<IrcMessage>& received() const { return received_; }

private:
    bool blockUntil(const std::function<bool()>& done, int timeoutMs);
    bool sendAndConfirm(const QByteArray& command, const QByteArray& target, int timeoutMs);
    bool receivedCommand(QByteArrayView command, QByteArrayView param1 = {}) const;
    void readLines();

    QByteArray nick_;
    QTcpSocket socket_;
    QByteArray pending_;
    QList<QByteArray> rawLines_;
    std::vector<IrcMessage> received_;
};

} // namespace jackwell::testing
