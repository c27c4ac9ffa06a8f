#include "chat/transport.h"

#include "chat/dapi.h"
#include "clock/clock.h"

#include <QStringDecoder>

#include <algorithm>

namespace jackwell {

ChatTransport::ChatTransport(ChatLibrary& library, Clock& clock, QByteArray appName)
    : library_(library)
    , clock_(clock)
    , appName_(std::move(appName)) {
    retryAlarm_ = clock_.createAlarm([this] { pump(); });
}

ChatTransport::~ChatTransport() = default;

qint16 ChatTransport::open() {
    return library_.InitDDE(
        appName_, [this](const QByteArray& s) { onStatus(s); },
        [this](const QByteArray& a, qint16 n, const QByteArray& b) { onEvent(a, n, b); },
        [this](const DeliveredText& t) { onText(t); });
}

void ChatTransport::close() {
    retryAlarm_->stop();
    queue_.clear();
    library_.KillDDE();
}

void ChatTransport::onStatus(const QByteArray& status) {
    lastStatus_ = QString::fromUtf8(status);
}

void ChatTransport::onEvent(const QByteArray&, qint16 number, const QByteArray& detail) {
    if (number == ChatLibrary::kGoneEvent && peerGone_)
        peerGone_(QString::fromUtf8(detail));
}

QString ChatTransport::cleanChatText(QByteArrayView text) {
    QString wide;
    cleanChatText(DeliveredText{text, {}}, wide);
    return wide;
}

// Widens into `into`, reusing its buffer when nothing else shares it: the chat
// text is delivered whole at every request and grows for as long as the player
// stays, so a fresh buffer each time would cost a fresh allocation of it all.
// Each piece is widened on its own, which is the same as widening them joined
// since the log's lines end on a whole character.
void ChatTransport::cleanChatText(const DeliveredText& text, QString& into) {
    if (!into.isDetached())
        into = QString();
    // UTF-16 never needs more units than UTF-8 has bytes.
    into.resize(text.lines.size() + text.ending.size());
    QChar* end = into.data();
    for (QByteArrayView piece : {text.lines, text.ending}) {
        QStringDecoder decoder(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
        end = decoder.appendToBuffer(end, piece);
    }
    into.resize(end - into.constData());
    // The library ends its text with four filler characters and a NUL: cut the
    // NUL, the four in front of it and everything behind it.
    const qsizetype p = into.indexOf(QChar(u'\0')) + 1; // past the NUL; 0 without one
    if (p > 5)
        into.truncate(p - 5);
    while (into.endsWith(QLatin1String("\r\n")))
        into.chop(2);
}

void ChatTransport::onText(const DeliveredText& text) {
    cleanChatText(text, chatText_);
    if (chatText_.isEmpty() || waiters_.empty())
        return;
    auto ready = std::move(waiters_);
    waiters_.clear();
    for (auto& waiter : ready) {
        if (waiter.context)
            waiter.then();
    }
}

void ChatTransport::sendPrivateMessage(const QString& recipient, const QString& message,
                                       QObject* context, Delivered delivered) {
    Request request;
    request.recipient = recipient.toUtf8();
    request.message = message.toUtf8();
    request.context = context;
    request.delivered = std::move(delivered);
    enqueue(std::move(request));
}

void ChatTransport::readAllChatText() {
    Request request;
    request.readText = true;
    enqueue(std::move(request));
}

void ChatTransport::fetchChatText(QObject* context, std::function<void()> then) {
    chatText_.truncate(0); // keeps the buffer for the next delivery
    waiters_.push_back({QPointer<QObject>(context), std::move(then)});
    readAllChatText();
}

void ChatTransport::enqueue(Request request) {
    queue_.push_back(std::move(request));
    // A request behind one that waits for its repetition waits its turn.
    if (!retryAlarm_->isActive())
        pump();
}

void ChatTransport::pump() {
    if (pumping_)
        return; // a request made from inside a callback joins the queue
    pumping_ = true;
    std::vector<GivenUp> givenUp;
    std::vector<std::pair<Request, bool>> delivered;
    while (!queue_.empty()) {
        const Try outcome = tryFront();
        if (outcome == Try::Pending)
            break;
        Request& request = queue_.front();
        if (outcome != Try::Done) {
            givenUp.push_back({request.readText, QString::fromUtf8(request.recipient),
                               QString::fromUtf8(request.message), outcome == Try::TimedOut});
        }
        if (request.delivered)
            delivered.emplace_back(std::move(request), outcome == Try::Done);
        queue_.pop_front();
    }
    pumping_ = false;
    // Told only now, so that whatever the handlers do finds the queue in order.
    for (const GivenUp& request : givenUp) {
        if (givenUp_)
            givenUp_(request);
    }
    for (const auto& [request, sent] : delivered) {
        if (request.context)
            request.delivered(sent);
    }
}

ChatTransport::Try ChatTransport::tryFront() {
    Request& request = queue_.front();
    const qint64 now = clock_.monotonicMs();
    if (!request.firstTryMs)
        request.firstTryMs = now;
    if (request.readText)
        library_.DapiGetAllText(appName_);
    else
        library_.DapiCommunicate(appName_, ChatLibrary::kPrivateMessage, request.recipient,
                                 request.message);
    const ChatStatus status = ChatLibrary::statusOf(lastStatus_);
    if (status == ChatStatus::Done)
        return Try::Done;
    if (status == ChatStatus::GivenUp)
        return Try::Refused;
    if (clock_.monotonicMs() - *request.firstTryMs >= kRetryBoundMs)
        return Try::TimedOut; // given up, as if refused
    if (status == ChatStatus::NotRegistered)
        library_.DapiRegister(appName_);
    const int delay =
        std::min(kLongestRetryDelayMs, kFirstRetryDelayMs << std::min(request.repetitions, 16));
    ++request.repetitions;
    retryAlarm_->start(delay);
    return Try::Pending;
}

} // namespace jackwell
