#include "world/chat_world.h"

namespace jackwell {

namespace {
constexpr qint16 kPrivateMessage = 2;
} // namespace

bool ChatWorld::open(const QByteArray&, EventSink) {
    open_ = true;
    if (listener_.statusChanged)
        listener_.statusChanged();
    return true;
}

void ChatWorld::close() {
    open_ = false;
    if (listener_.statusChanged)
        listener_.statusChanged();
}

std::optional<QByteArray> ChatWorld::registerApp(const QByteArray&) {
    return QByteArray("0");
}

std::optional<QByteArray> ChatWorld::communicate(const QByteArray&, qint16 requestCode,
                                                 const QByteArray& recipient,
                                                 const QByteArray& message) {
    if (!open_ || requestCode != kPrivateMessage || recipient.isEmpty())
        return QByteArray("-1");
    const QString to = QString::fromUtf8(recipient);
    const QString text = QString::fromUtf8(message);
    appendLine(QStringLiteral("ESP to ") + to + QStringLiteral(": ") + text);
    if (hook_)
        hook_(to, text);
    return QByteArray("0");
}

std::optional<QByteArray> ChatWorld::requestText(const QByteArray&) {
    return open_ ? QByteArray("0") : QByteArray("-1");
}

QByteArray ChatWorld::deliveredText() {
    return log_.delivered();
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

QByteArray ChatWorld::log() const {
    return log_.lines();
}

} // namespace jackwell
