#include "chat/dapi.h"

#include "clock/clock.h"

namespace jackwell {

namespace {
constexpr qint16 kOk = 0;
constexpr qint16 kNotOpen = 1;
} // namespace

ChatLibrary::ChatLibrary(Clock& clock, ChatBackendFactory factory)
    : clock_(clock)
    , factory_(std::move(factory)) {}

ChatLibrary::~ChatLibrary() {
    KillDDE();
}

qint16 ChatLibrary::InitDDE(const QByteArray& appName, OnStatusCallback onStatus,
                            OnEventCallback onEvent, OnTextCallback onText) {
    KillDDE();
    openError_.clear();
    auto backend = factory_ ? factory_() : nullptr;
    if (!backend) {
        openError_ = QStringLiteral("No chat world is there to open.");
        return kNotOpen;
    }
    onStatus_ = std::move(onStatus);
    onEvent_ = std::move(onEvent);
    onText_ = std::move(onText);
    const bool opened =
        backend->open(appName, [this](const QByteArray& a, qint16 n, const QByteArray& b) {
            if (onEvent_)
                onEvent_(a, n, b);
        });
    if (!opened) {
        openError_ = backend->openError();
        return kNotOpen;
    }
    backend_ = std::move(backend);
    return kOk;
}

qint16 ChatLibrary::KillDDE() {
    if (backend_) {
        backend_->close();
        backend_.reset();
    }
    return kOk;
}

qint16 ChatLibrary::DapiRegister(const QByteArray& appName) {
    if (!backend_)
        return kNotOpen;
    reportStatus(backend_->registerApp(appName));
    return kOk;
}

qint16 ChatLibrary::DapiCommunicate(const QByteArray& appName, qint16 requestCode,
                                    const QByteArray& recipient, const QByteArray& message) {
    if (!backend_) {
        reportStatus(QByteArray("-1"));
        return kNotOpen;
    }
    reportStatus(backend_->communicate(appName, requestCode, recipient, message));
    return kOk;
}

qint16 ChatLibrary::DapiGetAllText(const QByteArray& appName) {
    if (!backend_) {
        reportStatus(QByteArray("-1"));
        return kNotOpen;
    }
    const auto status = backend_->requestText(appName);
    reportStatus(status);
    if (status && *status != "0" && !status->isEmpty())
        return kOk; // the request was not taken; the caller repeats it
    // The text is handed over from the event loop, after this call has returned.
    clock_.callAfter(0, this, [this] {
        if (backend_ && onText_)
            onText_(backend_->deliveredText());
    });
    return kOk;
}

void ChatLibrary::reportStatus(const std::optional<QByteArray>& status) {
    if (status && onStatus_)
        onStatus_(*status);
}

} // namespace jackwell
