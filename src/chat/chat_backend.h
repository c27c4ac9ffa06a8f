#pragma once

#include <QByteArray>
#include <QtGlobal>

#include <functional>
#include <optional>

namespace jackwell {

class ChatFeed;

// What stands behind the chat library: an embedded chat world or a real chat
// network. Texts are 8-bit (UTF-8) with an explicit length.
class ChatBackend {
public:
    // Events the backend reports on its own, outside any request (OnEvent).
    using EventSink = std::function<void(const QByteArray&, qint16, const QByteArray&)>;

    virtual ~ChatBackend() = default;

    // Opens the link to the chat world; false when it cannot be reached.
    virtual bool open(const QByteArray& appName, EventSink events) = 0;
    virtual void close() = 0;
    // Registers the program with the chat client again; returns the status it reports, if any.
    virtual std::optional<QByteArray> registerApp(const QByteArray& appName) = 0;
    // One request; returns the status text reported while it ran, if any
    // ("0" done, "-1" failed for good, "10" not registered, "6" busy).
    // Request code 2 sends `message` privately to the avatar `recipient`.
    virtual std::optional<QByteArray> communicate(const QByteArray& appName, qint16 requestCode,
                                                  const QByteArray& recipient,
                                                  const QByteArray& message) = 0;
    // Accepts a request for the whole chat text; returns its status, if any.
    virtual std::optional<QByteArray> requestText(const QByteArray& appName) = 0;
    // The chat text as it is delivered: lines joined by CR LF, then four filler
    // characters and a NUL (which the receiver cuts off).
    virtual QByteArray deliveredText() = 0;

    // What the chat window shows of this world, if it offers a view of it; it lives as long as
    // the backend.
    virtual ChatFeed* feed() { return nullptr; }
};

} // namespace jackwell
