#pragma once

#include "chat/chat_port.h"
#include "chatview/chat_line_look.h"
#include "chatview/shown_line.h"

#include <QString>

#include <functional>
#include <memory>
#include <vector>

namespace jackwell {

class Alarm;
class ChatTransport;
class Clock;

// The chat window's side of the chat, without widgets: every line of the chat text as it
// arrives, with its look, as the window shows it (see shownLine); what the player types, sent
// where it belongs, the commands carried out; the state line, kept up to date while it counts
// down to the next connection attempt; and, as system lines of the window's own, the requests
// the transport gave up on, so that the player knows to send them again, and the answers to
// the commands.
class ChatSession {
public:
    struct Line {
        QString text; // as shown
        ChatLineLook look;
        // The server's greeting the line belongs to, numbered across every link the session
        // was attached to; 0 for none.
        int greeting = 0;
        // The symbols' pictures beside a protocol line's codes and amounts (see symbolMarks).
        std::vector<SymbolMark> pictures = {};
        // A draw the card has not shown yet stands in the window as a neutral line, which this
        // numbers (from 1) until the whole line replaces it; 0 for every other line.
        int heldDraw = 0;
    };
    // Where the lines and the state line go: the window.
    struct Sink {
        std::function<void(const Line&)> lineAdded;
        std::function<void(const QString&)> statusChanged;
        // The draw line `heldDraw` stood in for, shown whole now.
        std::function<void(int heldDraw, const Line&)> lineRevealed;
    };

    // Both must outlive the session. The session takes the transport's given-up handler.
    ChatSession(ChatTransport& transport, Clock& clock);
    ~ChatSession();
    ChatSession(const ChatSession&) = delete;
    ChatSession& operator=(const ChatSession&) = delete;

    void setSink(Sink sink);
    // The chat world to show while the link is open, null once it closes. Its lines so far go
    // to the sink at once, later ones as they arrive.
    void attach(ChatPort* port);
    // The card's own words: shown under the card's name, in a look no line of the chat text
    // can take, so that they never pass for the machinekeeper's.
    void addCardLine(const QString& words);
    // The card has shown the draw of this line (after its private prefix): it and every draw held
    // back before it are shown whole from now on.
    void drawShown(const QString& line);
    // The machinekeeper's name as the card knows it: its lines are marked from now on.
    void setKeeperName(const QString& name);
    const QString& keeperName() const { return keeperName_; }

    // What the player typed (see parseChatInput): plain text is said in public, or to the
    // query's partner; private messages go through the transport as the card's messages do;
    // the other commands go to the chat world; a fault or a refusal becomes a system line.
    void submit(const QString& typed);
    // Whom plain text goes to privately ("/query NAME"); empty: it is said in public.
    const QString& queryPartner() const { return queryPartner_; }

    const QString& statusText() const { return statusText_; }
    Clock& clock() const { return clock_; }

private:
    void addLine(const QString& text, int greeting = 0);
    Line lineFor(const QString& text, int greeting) const;
    void startQuery(const QString& partner, const QString& text);
    void sayInPublic(const QString& text, bool action);
    void addSystemLine(const QString& text);
    void givenUp(const QString& recipient, const QString& message, bool readText, bool timedOut);
    void refreshStatus();

    ChatTransport& transport_;
    Clock& clock_;
    Sink sink_;
    ChatPort* port_ = nullptr;
    QString keeperName_;
    QString queryPartner_;
    int greetingsBefore_ = 0; // the greetings of the links attached before this one
    int greetingsSeen_ = 0;
    QString statusText_;
    std::unique_ptr<Alarm> countdown_;
    // The draws sent to the player that the card has not shown yet, oldest first.
    struct HeldDraw {
        int id;
        QString text;
        int greeting;
    };
    std::vector<HeldDraw> heldDraws_;
    int nextHeldDraw_ = 1;
};

} // namespace jackwell
