#pragma once

// The chat client's automation library, as the program calls it (modDAPI): the one adapter
// between the library's calls, texts and status codes and a chat world's port. Callbacks always
// run on the UI thread from the event loop or during the call that caused them: OnStatus during
// the request it reports on, OnText always later, never inside the DapiGetAllText call that
// asked for it.

#include "chat/chat_port.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QObject>
#include <QStringView>

#include <functional>
#include <memory>

namespace jackwell {

class Clock;

// The chat text as the library hands it to OnText: one 8-bit text, the chat log's lines joined
// by CR LF and then four filler characters and a NUL. It comes in two pieces so that the log is
// read where it lies rather than copied to put the filler behind it; both are valid only during
// the call.
struct DeliveredText {
    QByteArrayView lines;
    QByteArrayView ending;
};

using OnStatusCallback = std::function<void(const QByteArray& status)>;
using OnEventCallback = std::function<void(const QByteArray&, qint16, const QByteArray&)>;
using OnTextCallback = std::function<void(const DeliveredText& chatText)>;

// Chooses and creates the chat world's port when the link opens; returning null makes InitDDE
// fail.
using ChatPortFactory = std::function<std::unique_ptr<ChatPort>()>;

class ChatLibrary : public QObject {
public:
    // The one request code the program sends with DapiCommunicate: the message goes privately
    // to the named avatar. The library refuses every other code ("-1").
    static constexpr qint16 kPrivateMessage = 2;
    // The event number OnEvent reports an avatar gone with (ChatLinkEvent::Gone).
    static constexpr qint16 kGoneEvent = 2;

    ChatLibrary(Clock& clock, ChatPortFactory factory);
    ~ChatLibrary() override;

    // 0 when the link is open; any other value is a failure.
    qint16 InitDDE(const QByteArray& appName, OnStatusCallback onStatus, OnEventCallback onEvent,
                   OnTextCallback onText);
    qint16 KillDDE();
    qint16 DapiRegister(const QByteArray& appName);
    qint16 DapiCommunicate(const QByteArray& appName, qint16 requestCode,
                           const QByteArray& recipient, const QByteArray& message);
    qint16 DapiGetAllText(const QByteArray& appName);

    // What a status text reported through OnStatus means: "0" and the empty text done, "-1"
    // given up, "10" not registered, "6" and every other text busy (the request is repeated).
    static ChatStatus statusOf(QStringView text);
    // `lines` as the library delivers them.
    static DeliveredText deliveredText(QByteArrayView lines);

    // The open chat world, or null while the link is closed.
    ChatPort* backend() const { return port_.get(); }
    // Why the latest InitDDE failed, in words for the player; empty after one that succeeded.
    const QString& openError() const { return openError_; }

private:
    void reportStatus(std::optional<ChatStatus> status);

    Clock& clock_;
    ChatPortFactory factory_;
    std::unique_ptr<ChatPort> port_;
    QByteArray appName_;
    QString openError_;
    OnStatusCallback onStatus_;
    OnEventCallback onEvent_;
    OnTextCallback onText_;
};

} // namespace jackwell
