#pragma once

#include <QString>

namespace jackwell {

// What a line of the chat text is, as the chat window tells the kinds apart.
enum class ChatLineKind {
    PrivateFrom, // "ESP from NAME: text": a private message to the player
    PrivateTo,   // "ESP to NAME: text": one the player sent
    Public,      // "NAME: text": said to everyone
    System,      // "<system>: text": the world's or the program's own notice
    Card,        // the card's own words (a game's outcome); never a line of the chat text
};

struct ChatLineLook {
    ChatLineKind kind = ChatLineKind::Public;
    QString speaker;     // who wrote (from, public) or to whom (to); empty for system lines
    bool own = false;    // the player's own line
    bool keeper = false; // the machinekeeper's line, or one the player wrote to it

    bool operator==(const ChatLineLook&) const = default;
};

// How `line` looks, for a player named `ownName` (compared without letter case, as chat
// networks compare names) and a machinekeeper named `keeperName` (compared exactly, as the card
// compares it; empty while none is known). The line kinds are told apart by their beginnings as
// the card tells them apart: "ESP to" and "ESP from" and the one character after them.
ChatLineLook lookOf(const QString& line, const QString& ownName, const QString& keeperName);

} // namespace jackwell
