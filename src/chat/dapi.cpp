#include "chat/dapi.h"

#include "chat/chat_log.h"
#include "clock/clock.h"

namespace jackwell {

namespace {

constexpr qint16 kOk = 0;
constexpr qint16 kNotOpen = 1;

// The library's words for the port's. A request's status is reported as a text (no text at
// all also means done); the link's events pass a number; the one request code the program
// uses is ChatLibrary::kPrivateMessage.
struct StatusText {
    ChatStatus status;
    const char* text;
};
constexpr StatusText kStatusTexts[] = {
    {ChatStatus::Done, "0"},
    {ChatStatus::GivenUp, "-1"},
    {ChatStatus::NotRegistered, "10"},
    {ChatStatus::Busy, "6"}, // and every text not in this table
};
struct EventNumber {
    ChatLinkEvent event;
    qint16 number;
};
constexpr EventNumber kEventNumbers[] = {{ChatLinkEvent::Up, 1},
                                         {ChatLinkEvent::Down, 0},
                                         {ChatLinkEvent::Gone, ChatLibrary::kGoneEvent}};

// What follows the lines in a delivered text: four filler characters and the NUL, which the
// receiver cuts off again.
constexpr char kFillerAndNul[] = "    ";
constexpr QByteArrayView kTextEnding(kFillerAndNul, sizeof kFillerAndNul);

QByteArray statusText(ChatStatus status) {
    for (const StatusText& row : kStatusTexts) {
        if (row.status == status)
            return QByteArray(row.text);
    }
    return {};
}

qint16 eventNumber(ChatLinkEvent event) {
    for (const EventNumber& row : kEventNumbers) {
        if (row.event == event)
            return row.number;
    }
    return 0;
}

} // namespace

ChatStatus ChatLibrary::statusOf(QStringView text) {
    if (text.isEmpty())
        return ChatStatus::Done;
    for (const StatusText& row : kStatusTexts) {
        if (text == QLatin1String(row.text))
            return row.status;
    }
    return ChatStatus::Busy;
}

DeliveredText ChatLibrary::deliveredText(QByteArrayView lines) {
    return {lines, kTextEnding};
}

ChatLibrary::ChatLibrary(Clock& clock, ChatPortFactory factory)
    : clock_(clock)
    , factory_(std::move(factory)) {}

ChatLibrary::~ChatLibrary() {
    KillDDE();
}

qint16 ChatLibrary::InitDDE(const QByteArray& appName, OnStatusCallback onStatus,
                            OnEventCallback onEvent, OnTextCallback onText) {
    KillDDE();
    openError_.clear();
    auto port = factory_ ? factory_() : nullptr;
    if (!port) {
        openError_ = QStringLiteral("No chat world is there to open.");
        return kNotOpen;
    }
    appName_ = appName;
    onStatus_ = std::move(onStatus);
    onEvent_ = std::move(onEvent);
    onText_ = std::move(onText);
    const bool opened = port->open([this](ChatLinkEvent event, const QString& detail) {
        if (onEvent_)
            onEvent_(appName_, eventNumber(event), detail.toUtf8());
    });
    if (!opened) {
        openError_ = port->openError();
        return kNotOpen;
    }
    port_ = std::move(port);
    return kOk;
}

qint16 ChatLibrary::KillDDE() {
    if (port_) {
        port_->close();
        port_.reset();
    }
    return kOk;
}

qint16 ChatLibrary::DapiRegister(const QByteArray&) {
    if (!port_)
        return kNotOpen;
    reportStatus(port_->registerAgain());
    return kOk;
}

qint16 ChatLibrary::DapiCommunicate(const QByteArray&, qint16 requestCode,
                                    const QByteArray& recipient, const QByteArray& message) {
    if (!port_) {
        reportStatus(ChatStatus::GivenUp);
        return kNotOpen;
    }
    if (requestCode != kPrivateMessage) {
        reportStatus(ChatStatus::GivenUp);
        return kOk;
    }
    reportStatus(
        port_->sendPrivateMessage(QString::fromUtf8(recipient), QString::fromUtf8(message)));
    return kOk;
}

qint16 ChatLibrary::DapiGetAllText(const QByteArray&) {
    if (!port_) {
        reportStatus(ChatStatus::GivenUp);
        return kNotOpen;
    }
    const std::optional<ChatStatus> status = port_->requestText();
    reportStatus(status);
    if (status && *status != ChatStatus::Done)
        return kOk; // the request was not taken; the caller repeats it
    // The text is handed over from the event loop, after this call has returned.
    clock_.callAfter(0, this, [this] {
        if (port_ && onText_)
            onText_(deliveredText(port_->chatLog().lines()));
    });
    return kOk;
}

void ChatLibrary::reportStatus(std::optional<ChatStatus> status) {
    if (status && onStatus_)
        onStatus_(statusText(*status));
}

} // namespace jackwell
