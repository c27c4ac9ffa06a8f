#include "chatview/chat_session.h"

#include "chat/chat_log.h"
#include "chat/transport.h"
#include "chatview/chat_input.h"
#include "chatview/link_status_text.h"
#include "clock/clock.h"

namespace jackwell {

namespace {

constexpr int kCountdownStepMs = 1000;
constexpr qsizetype kLongestQuotedMessage = 120;

QString quoted(const QString& message) {
    if (message.size() <= kLongestQuotedMessage)
        return u'"' + message + u'"';
    return u'"' + message.left(kLongestQuotedMessage) + QStringLiteral("...\"");
}

} // namespace

ChatSession::ChatSession(ChatTransport& transport, Clock& clock)
    : transport_(transport)
    , clock_(clock)
    , statusText_(linkStatusText(ChatLinkStatus{})) {
    countdown_ = clock_.createAlarm([this] { refreshStatus(); });
    transport_.setGivenUpHandler([this](const ChatTransport::GivenUp& request) {
        givenUp(request.recipient, request.message, request.readText, request.timedOut);
    });
}

ChatSession::~ChatSession() {
    sink_ = {}; // whatever it shows may be gone already
    transport_.setGivenUpHandler({});
    attach(nullptr);
}

void ChatSession::setSink(Sink sink) {
    sink_ = std::move(sink);
}

void ChatSession::attach(ChatPort* port) {
    if (port_)
        port_->setListener({});
    port_ = port;
    if (port_) {
        const QString text = QString::fromUtf8(port_->chatLog().lines());
        if (!text.isEmpty()) {
            for (const QString& line : text.split(QStringLiteral("\r\n")))
                addLine(line);
        }
        port_->setListener(
            {[this](const QString& line) { addLine(line); }, [this] { refreshStatus(); }});
    }
    refreshStatus();
}

void ChatSession::setKeeperName(const QString& name) {
    keeperName_ = name;
}

void ChatSession::submit(const QString& typed) {
    const ChatInput input = parseChatInput(typed);
    switch (input.kind) {
    case ChatInput::Kind::Nothing:
        return;
    case ChatInput::Kind::Fault:
        addSystemLine(input.text);
        return;
    case ChatInput::Kind::Private:
        transport_.sendPrivateMessage(input.recipient, input.text);
        return;
    case ChatInput::Kind::Public:
        if (port_)
            port_->sayInPublic(input.text);
        else
            addSystemLine(QStringLiteral("Not said: the chat link is closed."));
        return;
    }
}

void ChatSession::addLine(const QString& text) {
    if (sink_.lineAdded)
        sink_.lineAdded({text, lookOf(text, port_ ? port_->ownName() : QString(), keeperName_)});
}

void ChatSession::addCardLine(const QString& words) {
    ChatLineLook look;
    look.kind = ChatLineKind::Card;
    if (sink_.lineAdded)
        sink_.lineAdded({QStringLiteral("Your card: ") + words, look});
}

void ChatSession::addSystemLine(const QString& text) {
    addLine(QStringLiteral("<system>: ") + text);
}

void ChatSession::givenUp(const QString& recipient, const QString& message, bool readText,
                          bool timedOut) {
    if (readText) {
        addSystemLine(QStringLiteral("The chat text could not be fetched; click GET HOST, START "
                                     "or FINISH again to ask for it once more."));
        return;
    }
    if (timedOut) {
        addSystemLine(QStringLiteral("Not sent to %1: %2. The chat link did not take it within "
                                     "%3 s; send it again.")
                          .arg(recipient, quoted(message))
                          .arg(ChatTransport::kRetryBoundMs / 1000));
        return;
    }
    addSystemLine(QStringLiteral("Not sent to %1: %2.").arg(recipient, quoted(message)));
}

void ChatSession::refreshStatus() {
    const ChatLinkStatus status = port_ ? port_->linkStatus() : ChatLinkStatus{};
    const QString text = linkStatusText(status);
    if (isCountingDown(status))
        countdown_->start(kCountdownStepMs);
    else
        countdown_->stop();
    if (text == statusText_)
        return;
    statusText_ = text;
    if (sink_.statusChanged)
        sink_.statusChanged(statusText_);
}

} // namespace jackwell
