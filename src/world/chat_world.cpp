#include "world/chat_world.h"

namespace jackwell {

bool ChatWorld::open(EventSink events) {
    open_ = true;
    events_ = std::move(events);
    if (listener_.statusChanged)
        listener_.statusChanged();
    return true;
}

void ChatWorld::close() {
    open_ = false;
    if (listener_.statusChanged)
        listener_.statusChanged();
}

std::optional<ChatStatus> ChatWorld::registerAgain() {
    return ChatStatus::Done;
}

std::optional<ChatStatus> ChatWorld::sendPrivateMessage(const QString& recipient,
                                                        const QString& text) {
    if (!open_ || recipient.isEmpty())
        return ChatStatus::GivenUp;
    appendLine(QStringLiteral("ESP to ") + recipient + QStringLiteral(": ") + text);
    if (hook_)
        hook_(recipient, text);
    return ChatStatus::Done;
}

std::optional<ChatStatus> ChatWorld::requestText() {
    return open_ ? ChatStatus::Done : ChatStatus::GivenUp;
}

void ChatWorld::appendLine(const QString& line) {
    log_.appendLine(line);
}

void ChatWorld::appendPublic(const QString& speaker, const QString& text) {
    appendLine(speaker + QStringLiteral(": ") + text);
}

void ChatWorld::appendSystem(const QString& text) {
    log_.appendSystem(text);
}

void ChatWorld::appendPrivateFrom(const QString& sender, const QString& text) {
    appendLine(QStringLiteral("ESP from ") + sender + QStringLiteral(": ") + text);
}

ChatLinkStatus ChatWorld::linkStatus() const {
    ChatLinkStatus status;
    status.state = open_ ? ChatLinkStatus::State::Embedded : ChatLinkStatus::State::Offline;
    status.nick = playerName_;
    return status;
}

void ChatWorld::sayInPublic(const QString& text) {
    if (open_ && !text.isEmpty())
        appendPublic(playerName_, text);
}

void ChatWorld::setListener(Listener listener) {
    listener_ = std::move(listener);
    log_.setLineAdded(listener_.lineAdded);
}

} // namespace jackwell
