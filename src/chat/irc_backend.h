#pragma once

#include "chat/chat_log.h"
#include "chat/chat_port.h"
#include "irc/irc_config.h"

#include <QString>
#include <QStringList>

#include <functional>
#include <memory>

namespace jackwell {

class Clock;
class IrcConnection;
class IrcSendGate;
struct IrcMessage;

// A chat world on a real IRC network. The chat log is what this connection saw, in the chat
// client's line format (see ChatLog); a private message goes out as PRIVMSG.
//
// Statuses: Done, a message was accepted for sending; NotRegistered, no registered connection
// right now (registerAgain then brings a reconnect forward); Busy, our own lines are still
// being paced out; GivenUp, the message can never leave (a recipient that is no nickname, an
// empty message, or no connection for kGiveUpAfterMs). The whole chat text is always there to
// be read, connected or not. A message too long for one IRC line goes out as several, cut on
// UTF-8 boundaries.
//
// With a login in the configuration (SASL), a refused login makes open() fail with the
// server's reason; refused later, on a reconnect, it ends the link and says why in the log.
//
// For the chat window it tells how the connection stands (connected, reconnecting for the first
// kGiveUpAfterMs, then offline), numbers each connect's greeting from the server (see ChatLog),
// speaks in the configured channel or the one joined last, and takes another nickname, which
// later connects register with.
class IrcBackend : public ChatPort {
public:
    static constexpr int kGiveUpAfterMs = 30000;

    IrcBackend(Clock& clock, IrcConfig config);
    ~IrcBackend() override;

    // Connects and registers before returning, within a few seconds (this
    // waits on the socket); false when the network cannot be reached.
    bool open(EventSink events) override;
    QString openError() const override { return openError_; }
    void close() override;
    std::optional<ChatStatus> registerAgain() override;
    std::optional<ChatStatus> sendPrivateMessage(const QString& recipient,
                                                 const QString& text) override;
    std::optional<ChatStatus> requestText() override;
    const ChatLog& chatLog() const override { return log_; }
    void setListener(Listener listener) override;
    ChatLinkStatus linkStatus() const override;
    QString ownName() const override;
    void sayInPublic(const QString& text) override;
    void actInPublic(const QString& text) override;
    QString joinChannel(const QString& channel) override;
    QString changeNick(const QString& nick) override;

    const ChatLog& log() const { return log_; }
    IrcConnection& connection() { return *connection_; }
    bool isHeldBack() const;
    // A line of the program's own in the chat log (a warning about the configuration, say).
    void addSystemLine(const QString& text);

    // How many bytes of text fit in one PRIVMSG to `recipient`, leaving room
    // for the prefix the server puts in front when it passes the line on.
    qsizetype textBytesPerLine(const QByteArray& recipient) const;

private:
    void onMessage(const IrcMessage& message);
    int greetingOf(const IrcMessage& message, bool logged);
    // Says `text` in the channel we speak in, as a plain line or an action; false when there
    // is none or no connection (a system line says why).
    bool speak(const QByteArray& text, bool action);
    void onRegistered();
    void onLost(const QString& reason);
    void onRefused(const QString& reason);
    // Follows our own joins, parts, kicks and nickname changes.
    void followPresence(const IrcMessage& message);
    void reportGone(const IrcMessage& message);
    void statusChanged();
    QString serverName() const;

    Clock& clock_;
    ChatLog log_;
    std::unique_ptr<IrcConnection> connection_;
    std::unique_ptr<IrcSendGate> gate_;
    EventSink events_;
    bool open_ = false;
    QString openError_;
    bool everLost_ = false;
    QString channelJoined_;
    QByteArray speakingIn_; // the channel plain text goes to: the configured one or the last joined
    QByteArray nickWanted_; // a nickname the player asked for, until the server confirms it
    int greetings_ = 0;
    bool greetingOpen_ = false;
    std::optional<double> closedAt_; // time of day the link was closed, once it was
    double refusedAt_ = 0;           // time of day the server refused the login
    Listener listener_;
};

// Makes the chat port for the IRC network of a Chat.txt, the warnings its reading gave among
// its first lines; null, with why in `error`, when it cannot.
using IrcBackendMaker = std::function<std::unique_ptr<ChatPort>(
    Clock& clock, const IrcConfig& config, const QStringList& warnings, QString* error)>;

// An IrcBackend, made here (the program makes its own through the IRC module, irc_module.h).
std::unique_ptr<ChatPort> makeIrcBackend(Clock& clock, const IrcConfig& config,
                                         const QStringList& warnings, QString* error = nullptr);

} // namespace jackwell
