#pragma once

// The chat client's automation library, as the program calls it (modDAPI).
// Callbacks always run on the UI thread from the event loop or during the call
// that caused them: OnStatus during the request it reports on, OnText always
// later, never inside the DapiGetAllText call that asked for it.

#include "chat/chat_backend.h"

#include <QByteArray>
#include <QObject>

#include <functional>
#include <memory>

namespace jackwell {

class Clock;

using OnStatusCallback = std::function<void(const QByteArray& status)>;
using OnEventCallback = std::function<void(const QByteArray&, qint16, const QByteArray&)>;
using OnTextCallback = std::function<void(const QByteArray& chatText)>;

// Chooses and creates the backend when the link opens; returning null makes
// InitDDE fail.
using ChatBackendFactory = std::function<std::unique_ptr<ChatBackend>()>;

class ChatLibrary : public QObject {
public:
    ChatLibrary(Clock& clock, ChatBackendFactory factory);
    ~ChatLibrary() override;

    // 0 when the link is open; any other value is a failure.
    qint16 InitDDE(const QByteArray& appName, OnStatusCallback onStatus, OnEventCallback onEvent,
                   OnTextCallback onText);
    qint16 KillDDE();
    qint16 DapiRegister(const QByteArray& appName);
    qint16 DapiCommunicate(const QByteArray& appName, qint16 requestCode,
                           const QByteArray& recipient, const QByteArray& message);
    qint16 DapiGetAllText(const QByteArray& appName);

    // The open backend, or null while the link is closed.
    ChatBackend* backend() const { return backend_.get(); }
    // Why the latest InitDDE failed, in words for the player; empty after one that succeeded.
    const QString& openError() const { return openError_; }

private:
    void reportStatus(const std::optional<QByteArray>& status);

    Clock& clock_;
    ChatBackendFactory factory_;
    std::unique_ptr<ChatBackend> backend_;
    QString openError_;
    OnStatusCallback onStatus_;
    OnEventCallback onEvent_;
    OnTextCallback onText_;
};

} // namespace jackwell
