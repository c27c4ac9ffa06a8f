#pragma once

#include <QByteArray>
#include <QString>
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
    // After an open that failed: why, in words for the player (the server that refused, the
    // line of a configuration that cannot be used). Empty when there is nothing more to say.
    virtual QString openError() const { return {}; }
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

// A chat world that cannot be opened, and says why: what the library gets when the world it
// was configured for cannot even be set up.
class UnopenableBackend final : public ChatBackend {
public:
    explicit UnopenableBackend(QString reason)
        : reason_(std::move(reason)) {}

    bool open(const QByteArray&, EventSink) override { return false; }
    QString openError() const override { return reason_; }
    void close() override {}
    std::optional<QByteArray> registerApp(const QByteArray&) override { return failed(); }
    std::optional<QByteArray> communicate(const QByteArray&, qint16, const QByteArray&,
                                          const QByteArray&) override {
        return failed();
    }
    std::optional<QByteArray> requestText(const QByteArray&) override { return failed(); }
    QByteArray deliveredText() override { return {}; }

private:
    static QByteArray failed() { return QByteArrayLiteral("-1"); }
    QString reason_;
};

} // namespace jackwell
