#pragma once

#include "chat/chat_log.h"
#include "chat/chat_port.h"

#include <QByteArray>
#include <QString>

#include <functional>

namespace jackwell {

// The embedded chat world: a chat log of lines in the chat client's format,
// "ESP to NAME: text" for a private message the player sent, "ESP from NAME:
// text" for one sent to the player, "NAME: text" for a public line and
// "<system>: text" for the world's own notices. The player speaks in public under their name,
// "Player" unless set otherwise.
class ChatWorld : public ChatPort {
public:
    // Called with (recipient, text) whenever the player sends a private message.
    using PrivateMessageHook = std::function<void(const QString&, const QString&)>;

    bool open(EventSink events) override;
    void close() override;
    std::optional<ChatStatus> registerAgain() override;
    std::optional<ChatStatus> sendPrivateMessage(const QString& recipient,
                                                 const QString& text) override;
    std::optional<ChatStatus> requestText() override;
    const ChatLog& chatLog() const override { return log_; }
    void setListener(Listener listener) override;
    ChatLinkStatus linkStatus() const override;
    QString ownName() const override { return playerName_; }
    void sayInPublic(const QString& text) override;

    // Appends one line to the log as it stands; a line break inside it is kept
    // out of the log's line structure by turning it into a blank.
    void appendLine(const QString& line);
    void appendPublic(const QString& speaker, const QString& text);
    void appendSystem(const QString& text);
    void appendPrivateFrom(const QString& sender, const QString& text);

    void setPrivateMessageHook(PrivateMessageHook hook) { hook_ = std::move(hook); }
    bool isOpen() const { return open_; }
    // Tells the program that private messages to `name` reach nobody.
    void reportGone(const QString& name) {
        if (events_)
            events_(ChatLinkEvent::Gone, name);
    }
    // The log's lines joined by CR LF.
    QByteArray log() const { return log_.lines(); }
    qsizetype lineCount() const { return log_.lineCount(); }

private:
    ChatLog log_;
    bool open_ = false;
    EventSink events_;
    PrivateMessageHook hook_;
    // The avatar the program speaks as; the machinekeeper keeps its books under this name.
    QString playerName_ = QStringLiteral("Player");
    Listener listener_;
};

} // namespace jackwell
