#include "chatview/chat_session.h"

#include "chat/chat_log.h"
#include "chat/transport.h"
#include "chatview/chat_input.h"
#include "chatview/link_status_text.h"
#include "chatview/shown_line.h"
#include "clock/clock.h"
#include "protocol/chat_lines.h"
#include "protocol/markers.h"

#include <algorithm>

namespace jackwell {

namespace {

constexpr int kCountdownStepMs = 1000;
constexpr qsizetype kLongestQuotedMessage = 120;

QString quoted(const QString& message) {
    if (message.size() <= kLongestQuotedMessage)
        return u'"' + message + u'"';
    return u'"' + message.left(kLongestQuotedMessage) + QStringLiteral("...\"");
}

// The neutral line that stands for a first or final draw sent privately to the player in `text`;
// none for any other line.
std::optional<QString> drawAnnouncement(const QString& text) {
    const ChatLine line = normaliseLine(text);
    if (line.kind != LineKind::Incoming)
        return std::nullopt;
    const auto firstDraw = findMessage(line, kFirstMarker, 0);
    const bool first = firstDraw.has_value();
    const auto message = first ? firstDraw : findMessage(line, kFinalMarker, 0);
    if (!message)
        return std::nullopt;
    return message->speaker.toString() +
           (first ? QStringLiteral(" sent your first draw: START shows it")
                  : QStringLiteral(" sent your final draw: FINISH shows it"));
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
    greetingsBefore_ = greetingsSeen_;
    if (port_) {
        const ChatLog& log = port_->chatLog();
        const QString text = QString::fromUtf8(log.lines());
        if (!text.isEmpty()) {
            qsizetype index = 0;
            for (const QString& line : text.split(QStringLiteral("\r\n")))
                addLine(line, log.greetingOf(index++));
        }
        port_->setListener({[this](const QString& line, int greeting) { addLine(line, greeting); },
                            [this] { refreshStatus(); }});
    }
    refreshStatus();
}

void ChatSession::setKeeperName(const QString& name) {
    keeperName_ = name;
}

void ChatSession::submit(const QString& typed) {
    const ChatInput input = parseChatInput(typed);
    QString refusal;
    switch (input.kind) {
    case ChatInput::Kind::Nothing:
        return;
    case ChatInput::Kind::Fault:
        addSystemLine(input.text);
        return;
    case ChatInput::Kind::Private:
        transport_.sendPrivateMessage(input.recipient, input.text);
        return;
    case ChatInput::Kind::Query:
        startQuery(input.recipient, input.text);
        return;
    case ChatInput::Kind::Public:
        if (!queryPartner_.isEmpty())
            transport_.sendPrivateMessage(queryPartner_, input.text);
        else
            sayInPublic(input.text, false);
        return;
    case ChatInput::Kind::Action:
        sayInPublic(input.text, true);
        return;
    case ChatInput::Kind::Help:
        for (const QString& line : chatCommandHelp())
            addSystemLine(line);
        return;
    case ChatInput::Kind::Join:
    case ChatInput::Kind::Nick:
        if (!port_)
            refusal = QStringLiteral("Not done: the chat link is closed.");
        else if (input.kind == ChatInput::Kind::Join)
            refusal = port_->joinChannel(input.recipient);
        else
            refusal = port_->changeNick(input.recipient);
        break;
    }
    if (!refusal.isEmpty())
        addSystemLine(refusal);
}

void ChatSession::startQuery(const QString& partner, const QString& text) {
    queryPartner_ = partner;
    if (partner.isEmpty()) {
        addSystemLine(QStringLiteral("Plain text is said to everyone again."));
        return;
    }
    addSystemLine(QStringLiteral("Plain text goes privately to %1 from now on; /query alone "
                                 "ends that.")
                      .arg(partner));
    if (!text.trimmed().isEmpty())
        transport_.sendPrivateMessage(partner, text);
}

void ChatSession::sayInPublic(const QString& text, bool action) {
    if (!port_)
        addSystemLine(QStringLiteral("Not said: the chat link is closed."));
    else if (action)
        port_->actInPublic(text);
    else
        port_->sayInPublic(text);
}

ChatSession::Line ChatSession::lineFor(const QString& text, int greeting) const {
    Line line{shownLine(text), lookOf(text, port_ ? port_->ownName() : QString(), keeperName_),
              greeting > 0 ? greetingsBefore_ + greeting : 0};
    for (const SymbolMark& mark : symbolMarks(text)) {
        if (mark.at <= kLongestShownLine)
            line.pictures.push_back(mark);
    }
    return line;
}

// A draw sent to the player is the card's to show first: until it has, the window only says
// that it came, so that the chat never gives away what the reels are about to show.
void ChatSession::addLine(const QString& text, int greeting) {
    greetingsSeen_ = std::max(greetingsSeen_, greetingsBefore_ + greeting); // 0: no greeting
    if (!sink_.lineAdded)
        return;
    Line line = lineFor(text, greeting);
    if (const std::optional<QString> announcement = drawAnnouncement(text)) {
        heldDraws_.push_back({nextHeldDraw_, text, greeting});
        line.text = *announcement;
        line.pictures.clear();
        line.heldDraw = nextHeldDraw_++;
    }
    sink_.lineAdded(line);
}

void ChatSession::drawShown(const QString& line) {
    const auto shown =
        std::find_if(heldDraws_.rbegin(), heldDraws_.rend(),
                     [&](const HeldDraw& held) { return normaliseLine(held.text).text == line; });
    if (shown == heldDraws_.rend())
        return;
    const auto end = shown.base();
    const std::vector<HeldDraw> revealed(heldDraws_.begin(), end);
    heldDraws_.erase(heldDraws_.begin(), end);
    if (!sink_.lineRevealed)
        return;
    for (const HeldDraw& held : revealed)
        sink_.lineRevealed(held.id, lineFor(held.text, held.greeting));
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
