#pragma once

#include "chat/chat_backend.h"
#include "chat/chat_feed.h"
#include "chat/chat_log.h"
#include "irc/irc_config.h"

#include <QString>

#include <memory>

namespace jackwell {

class Clock;
class IrcConnection;
class IrcSendGate;
struct IrcMessage;

// The chat library over a real IRC network. The chat text is the log of what
// this connection saw, in the chat client's line format (see ChatLog);
// request code 2 sends a private message (PRIVMSG).
//
// Statuses: "0" a message was accepted for sending; "10" no registered
// connection right now (registerApp then brings a reconnect forward); "6" our
// own lines are still being paced out; "-1" the request can never succeed (not
// a private message, a recipient that is no nickname, an empty message, or no
// connection for kGiveUpAfterMs). The whole chat text is always there to be
// delivered, connected or not. A message too long for one IRC line goes out as
// several, cut on UTF-8 boundaries.
//
// As the chat window's view (ChatFeed) it tells how the connection stands (connected,
// reconnecting for the first kGiveUpAfterMs, then offline) and speaks in the configured
// channel.
class IrcBackend : public ChatBackend, public ChatFeed {
public:
    static constexpr int kGiveUpAfterMs = 30000;

    IrcBackend(Clock& clock, IrcConfig config);
    ~IrcBackend() override;

    // Connects and registers before returning, within a few seconds (this
    // waits on the socket); false when the network cannot be reached.
    bool open(const QByteArray& appName, EventSink events) override;
    QString openError() const override { return openError_; }
    void close() override;
    std::optional<QByteArray> registerApp(const QByteArray& appName) override;
    std::optional<QByteArray> communicate(const QByteArray& appName, qint16 requestCode,
                                          const QByteArray& recipient,
                                          const QByteArray& message) override;
    std::optional<QByteArray> requestText(const QByteArray& appName) override;
    QByteArray deliveredText() override;
    ChatFeed* feed() override { return this; }

    // ChatFeed
    const ChatLog& chatLog() const override { return log_; }
    ChatLinkStatus linkStatus() const override;
    QString ownName() const override;
    void sayInPublic(const QString& text) override;
    void setListener(Listener listener) override;

    const ChatLog& log() const { return log_; }
    IrcConnection& connection() { return *connection_; }
    bool isHeldBack() const;

    // How many bytes of text fit in one PRIVMSG to `recipient`, leaving room
    // for the prefix the server puts in front when it passes the line on.
    qsizetype textBytesPerLine(const QByteArray& recipient) const;

private:
    void onMessage(const IrcMessage& message);
    void onRegistered();
    void onLost(const QString& reason);
    // Follows our own joins, parts, kicks and nickname changes.
    void followPresence(const IrcMessage& message);
    void statusChanged();
    QString serverName() const;

    Clock& clock_;
    ChatLog log_;
    std::unique_ptr<IrcConnection> connection_;
    std::unique_ptr<IrcSendGate> gate_;
    EventSink events_;
    QByteArray appName_;
    bool open_ = false;
    QString openError_;
    bool everLost_ = false;
    QString channelJoined_;
    double closedAt_ = 0; // time of day the link was closed
    Listener listener_;
};

} // namespace jackwell
