#pragma once

#include <QString>

#include <functional>
#include <optional>

namespace jackwell {

class ChatLog;

// How the chat link stands, as the chat window shows it.
struct ChatLinkStatus {
    enum class State {
        Embedded,     // the embedded world: always there
        Connected,    // registered on the network
        Reconnecting, // the connection was lost a short while ago; attempts go on
        Offline,      // no connection for a while (messages are refused), or the link is closed
    };
    State state = State::Offline;
    QString server;  // "irc.example.net:6667"
    QString nick;    // our nickname on the network
    QString channel; // the channel we are in; empty when none
    // Until the next connection attempt: 0 while one is under way, none when none is planned.
    std::optional<qint64> nextTryInMs;
    // When the link went down, as seconds since midnight (local time).
    std::optional<double> offlineSince;

    bool operator==(const ChatLinkStatus&) const = default;
};

// What the chat window reads of a chat world beyond the chat text the card asks for: every
// line as it is added, how the link stands, and a way to speak in public. A backend that has
// no such view offers none (ChatBackend::feed() is null).
class ChatFeed {
public:
    struct Listener {
        std::function<void(const QString& line)> lineAdded; // a line, as the chat text holds it
        std::function<void()> statusChanged;
    };

    virtual ~ChatFeed() = default;

    // The chat text so far.
    virtual const ChatLog& chatLog() const = 0;
    virtual ChatLinkStatus linkStatus() const = 0;
    // The player's name in the world: their public lines stand under it.
    virtual QString ownName() const = 0;
    // Says `text` in public: in the channel on a network, to everyone in the embedded world.
    // The line shows in the chat text, or a system line says why it could not be said.
    virtual void sayInPublic(const QString& text) = 0;
    // One listener at a time; an empty one stops the calls.
    virtual void setListener(Listener listener) = 0;
};

} // namespace jackwell
