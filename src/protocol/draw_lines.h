#pragma once

// Which of the machinekeeper's draws in a chat text belong to the game on the card. The chat text
// holds every draw the machinekeeper ever sent, and the handlers take the last one they meet; the
// card asks here first whether that last one is new to it, so that it never shows an older draw
// (or none at all) as this game's.

#include <QString>

#include <optional>
#include <vector>

namespace jackwell {

class Tokenizer;

// A draw line the card has shown, to be known again in a later chat text: its text after the
// private prefix, and which line of its kind it was (from 1) in the text it was taken from.
struct ShownLine {
    QString text;
    int ordinal = 0;

    bool operator==(const ShownLine&) const = default;
};

// The lines of a chat text that tell where a game stands, in the order they stand.
class DrawLines {
public:
    enum class Kind {
        First,    // a first draw sent to the player
        Final,    // a final draw sent to the player
        Balance,  // the credits a returning player has, sent on registering
        Holds,    // holds the player sent
        Register, // "Register me!" the player sent
    };
    struct Line {
        Kind kind;
        QString text; // after the private prefix
        int ordinal;  // which line of its kind, from 1
    };

    static DrawLines read(Tokenizer& tokenizer, const QString& chatText);

    // The last first draw, when it stands after `shown` (the one last shown; none: any is new).
    std::optional<ShownLine> newFirst(const std::optional<ShownLine>& shownFirst) const;
    // The last final draw, when it answers holds sent after the first draw `shownFirst` and
    // stands after the final draw `shownFinal`.
    std::optional<ShownLine> newFinal(const std::optional<ShownLine>& shownFirst,
                                      const std::optional<ShownLine>& shownFinal) const;
    // The credits of the last balance line, when no final draw stands after it.
    std::optional<QString> balance() const;
    // Whether anything the machinekeeper sent stands after the last "Register me!".
    bool registrationAnswered() const;

private:
    // Where `shown` stands among the lines (an index), or -1 when it is no longer in the text:
    // the oldest lines make room as the chat grows, so then everything left came after it.
    qsizetype indexOf(Kind kind, const std::optional<ShownLine>& shown) const;
    qsizetype lastOf(Kind kind, qsizetype after) const;
    qsizetype firstOf(Kind kind, qsizetype after) const;
    static ShownLine shownAt(const Line& line) { return {line.text, line.ordinal}; }

    std::vector<Line> lines_;
};

} // namespace jackwell
