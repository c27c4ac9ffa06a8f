#pragma once

// The chat text's line format: lines joined by CR LF; a private line the player
// sent begins "ESP to", one sent to the player "ESP from"; a message is known by
// a marker anywhere in the line, and the text in front of it is its speaker.

#include <QString>

#include <optional>

namespace jackwell {

enum class LineKind { Outgoing, Incoming, Other };

struct ChatLine {
    QStringView text; // with the private prefix and the character after it removed
    LineKind kind;
};

inline const QString kSystemSpeaker = QStringLiteral("<system>");

// Removes "ESP to" or "ESP from" and the one character after it, whatever it is.
ChatLine normaliseLine(QStringView line);

// Where `marker` first occurs in `line`, or -1. Same result as a plain search;
// faster on chat lines for markers whose first character is rare in them and
// does not come back early in the marker, as the colon of every message marker.
qsizetype indexOfMarker(QStringView line, QStringView marker);

// A marker found in a line whose speaker is not "<system>".
struct Message {
    QStringView speaker; // everything in front of the marker
    QStringView window;  // the line up to `kept` characters behind the marker's start
    // The window from the marker on: what follows the speaker.
    QStringView fromMarker() const { return window.mid(speaker.size()); }
};
std::optional<Message> findMessage(const ChatLine& line, QStringView marker, qsizetype kept);
// The text behind the first occurrence of `start` in a message's window, up to a further
// occurrence or the window's end: a draw's body.
QStringView bodyAfter(QStringView window, QStringView start);

} // namespace jackwell
