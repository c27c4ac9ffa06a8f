#pragma once

#include <QString>
#include <QtGlobal>

#include <functional>
#include <optional>
#include <vector>

namespace jackwell {

class ChatLog;

// How a request to the chat world ended.
enum class ChatStatus {
    Done,          // taken: the message left, or the chat text is ready to be handed over
    GivenUp,       // it can never succeed; asking again would not help
    NotRegistered, // the program must register again (registerAgain), then ask again
    Busy,          // not now: ask again
};

// The link coming up (the detail: our name in the world) or going down (the detail: why), or
// an avatar that private messages no longer reach (the detail: its name): it left the world, or
// the world has nobody of that name.
enum class ChatLinkEvent { Up, Down, Gone };

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
    // When the link went down, as seconds since midnight (local time); before today's midnight
    // it is below 0.
    std::optional<double> offlineSince;

    bool operator==(const ChatLinkStatus&) const = default;
};

// A chat world whose machinekeeper keeps the player's games where the program can read them (the
// embedded world's own books), for the statistics.
class KeptGames {
public:
    struct Game {
        qint64 tokensWon = 0;
        qint64 creditsAfter = 0;
        qint64 cost = 0; // credits
    };
    struct Reading {
        QString source; // where they come from, in words for the player
        std::vector<Game> games;
        QString problem; // what could not be read; empty when all was well
    };

    virtual ~KeptGames() = default;
    virtual Reading readKeptGames() = 0;
    // What the player must hear about those books (a damaged file set aside, say); empty when
    // there is nothing to say.
    virtual QString keptGamesNotice() = 0;
};

// A chat world as the program speaks to it: the embedded world or a real chat network. It
// keeps one chat log of the lines seen, which the card reads when it asks for the chat text
// and the chat window reads as it grows; private messages go out with a status.
//
// Requests report a status while they run, or none (std::nullopt) when they have nothing to
// say about it.
class ChatPort {
public:
    using EventSink = std::function<void(ChatLinkEvent, const QString& detail)>;
    struct Listener {
        // A line, as the chat log holds it, and the server's greeting it belongs to (0: none).
        std::function<void(const QString& line, int greeting)> lineAdded;
        std::function<void()> statusChanged; // linkStatus() may read otherwise
    };

    virtual ~ChatPort() = default;

    // Opens the link to the chat world; false when it cannot be reached. `events` hears the
    // link come and go from then on.
    virtual bool open(EventSink events) = 0;
    // After an open that failed: why, in words for the player (the server that refused, the
    // line of a configuration that cannot be used). Empty when there is nothing more to say.
    virtual QString openError() const { return {}; }
    virtual void close() = 0;

    // Registers the program with the chat world again.
    virtual std::optional<ChatStatus> registerAgain() = 0;
    // Sends `text` privately to the avatar `recipient`; when done, the chat log shows it.
    virtual std::optional<ChatStatus> sendPrivateMessage(const QString& recipient,
                                                         const QString& text) = 0;
    // Asks for the chat text: when done, chatLog() is ready to be read.
    virtual std::optional<ChatStatus> requestText() = 0;

    // Every line seen so far.
    virtual const ChatLog& chatLog() const = 0;
    // One listener at a time; an empty one stops the calls.
    virtual void setListener(Listener listener) = 0;

    virtual ChatLinkStatus linkStatus() const = 0;
    // The player's games as this world keeps them, or null where it keeps none (a network,
    // where the program keeps the results its card saw).
    virtual KeptGames* keptGames() { return nullptr; }
    // The player's name in the world: their public lines stand under it.
    virtual QString ownName() const = 0;
    // Says `text` in public: in the channel on a network, to everyone in the embedded world.
    // The line shows in the chat log, or a system line says why it could not be said.
    virtual void sayInPublic(const QString& text) = 0;

    // The chat window's commands. Each returns why it cannot be done here, in words for the
    // player, or nothing when it went out (the chat log shows what came of it). The defaults are
    // the embedded world's, which has one room and knows the player by one name.
    //
    // An action, "* NAME text" in public ("/me text").
    virtual void actInPublic(const QString& text) {
        sayInPublic(QStringLiteral("* ") + ownName() + u' ' + text);
    }
    // Joins `channel` and speaks there from now on.
    virtual QString joinChannel(const QString&) {
        return QStringLiteral("The embedded world is one room, and you are in it.");
    }
    // Takes the name `nick` from now on.
    virtual QString changeNick(const QString&) {
        return QStringLiteral("In the embedded world you are %1; the machinekeeper knows you "
                              "by that name.")
            .arg(ownName());
    }
};

} // namespace jackwell
