#pragma once

#include "chat/chat_backend.h"
#include "chat/chat_feed.h"
#include "chat/chat_log.h"

#include <QByteArray>
#include <QString>

#include <functional>

namespace jackwell {

// The embedded chat world: a chat log of lines in the chat client's format,
// "ESP to NAME: text" for a private message the player sent, "ESP from NAME:
// text" for one sent to the player, "NAME: text" for a public line and
// "<system>: text" for the world's own notices.
//
// It is also its own view for the chat window (ChatFeed): the player speaks in public under
// their name, "Player" unless set otherwise.
class ChatWorld : public ChatBackend, public ChatFeed {
public:
    // Called with (recipient, text) whenever the player sends a private message.
    using PrivateMessageHook = std::function<void(const QString&, const QString&)>;

    bool open(const QByteArray& appName, EventSink events) override;
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
    QString ownName() const override { return playerName_; }
    void sayInPublic(const QString& text) override;
    void setListener(Listener listener) override;
    void setOwnName(const QString& name) { playerName_ = name; }

    // Appends one line to the log as it stands; a line break inside it is kept
    // out of the log's line structure by turning it into a blank.
    void appendLine(const QString& line);
    void appendPublic(const QString& speaker, const QString& text);
    void appendSystem(const QString& text);
    void appendPrivateFrom(const QString& sender, const QString& text);

    void setPrivateMessageHook(PrivateMessageHook hook) { hook_ = std::move(hook); }
    bool isOpen() const { return open_; }
    // The log without the delivery filler, lines joined by CR LF.
    QByteArray log() const;
    qsizetype lineCount() const { return log_.lineCount(); }

private:
    ChatLog log_;
    bool open_ = false;
    PrivateMessageHook hook_;
    QString playerName_ = QStringLiteral("Player");
    Listener listener_;
};

} // namespace jackwell
