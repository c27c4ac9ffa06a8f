#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QObject>
#include <QPointer>
#include <QString>

#include <deque>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

namespace jackwell {

class Alarm;
class ChatLibrary;
class Clock;
struct DeliveredText;

// The layer between the game and the chat library: private messages out, the
// whole chat text in, and the library's callbacks.
//
// Requests go out in the order they were made. Each is judged by the status the
// library reports while it runs (the last one reported, read right after the
// call; see ChatLibrary::statusOf): done, given up, not registered (register
// again and repeat) or busy (repeat). A repetition waits a short pause that
// grows each time (on the event loop, so the window stays responsive), and a
// request still not done after kRetryBoundMs is given up as if refused. Whoever
// set a given-up handler is told of each request given up, so that the player
// can learn of it.
class ChatTransport : public QObject {
public:
    static constexpr int kRetryBoundMs = 10000;
    static constexpr int kFirstRetryDelayMs = 10;
    static constexpr int kLongestRetryDelayMs = 500;

    // A request given up: refused for good by the library, or not done within
    // kRetryBoundMs. A private message given up never left.
    struct GivenUp {
        bool readText = false; // a request for the chat text, not a private message
        QString recipient;
        QString message;
        bool timedOut = false;
    };
    using GivenUpHandler = std::function<void(const GivenUp&)>;
    // Whether a private message left (true) or was given up (false).
    using Delivered = std::function<void(bool sent)>;

    ChatTransport(ChatLibrary& library, Clock& clock, QByteArray appName);
    ~ChatTransport() override;

    // Opens the link (InitDDE with the three callbacks); 0 on success.
    qint16 open();
    // Closes the link (KillDDE).
    void close();

    // The library's three callbacks (OnStatus, OnEvent, OnText).
    void onStatus(const QByteArray& status);
    void onEvent(const QByteArray& name, qint16 number, const QByteArray& detail);
    void onText(const DeliveredText& text);

    // `delivered`, given with its `context`, hears what became of the message once the
    // transport has moved on from it (possibly before this call returns), unless `context` is
    // gone by then.
    void sendPrivateMessage(const QString& recipient, const QString& message,
                            QObject* context = nullptr, Delivered delivered = {});
    void readAllChatText();

    // Empties chatText, asks for the chat text and runs `then` once a
    // non-empty text has arrived, unless `context` is gone by then. Never
    // runs `then` inside this call.
    void fetchChatText(QObject* context, std::function<void()> then);

    const QString& chatText() const { return chatText_; }
    void setChatText(const QString& text) { chatText_ = text; }
    const QString& lastStatus() const { return lastStatus_; }
    int pendingRequests() const { return int(queue_.size()); }
    // Told of each request given up, once the transport has moved on from it.
    void setGivenUpHandler(GivenUpHandler handler) { givenUp_ = std::move(handler); }
    // Told of each avatar the chat world says private messages no longer reach, when the
    // library reports it (possibly in the middle of a request).
    void setPeerGoneHandler(std::function<void(const QString& name)> handler) {
        peerGone_ = std::move(handler);
    }

    // The cleaning OnText applies before storing the chat text, of a text the library
    // delivered whole or in pieces.
    static QString cleanChatText(QByteArrayView text);
    static void cleanChatText(const DeliveredText& text, QString& into);

private:
    struct Request {
        bool readText = false;
        QByteArray recipient;
        QByteArray message;
        std::optional<qint64> firstTryMs;
        int repetitions = 0;
        QPointer<QObject> context;
        Delivered delivered;
    };
    void enqueue(Request request);
    void pump();
    enum class Try { Pending, Done, Refused, TimedOut };
    // Makes one try of the request at the front.
    Try tryFront();

    ChatLibrary& library_;
    Clock& clock_;
    QByteArray appName_;
    QString chatText_;
    QString lastStatus_;
    std::deque<Request> queue_;
    std::unique_ptr<Alarm> retryAlarm_;
    bool pumping_ = false;
    struct Waiter {
        QPointer<QObject> context;
        std::function<void()> then;
    };
    std::vector<Waiter> waiters_;
    GivenUpHandler givenUp_;
    std::function<void(const QString& name)> peerGone_;
};

} // namespace jackwell
