#pragma once

#include <QString>

#include <vector>

namespace jackwell {

// The most characters of one line the chat window shows; the rest is counted, not shown, so
// that a line of any length costs the window the same.
inline constexpr qsizetype kLongestShownLine = 1000;

// `line` as the chat window shows it: one line whatever it holds. Every character that would
// break it (CR, LF, VT, FF, NEL, the line and paragraph separators) shows as a visible mark, and
// the characters a text view takes as frames or embedded objects as the replacement character,
// each in its place, so that positions up to the cut stay those of `line`. Behind
// kLongestShownLine characters the line is cut, and a note says how many more it had.
QString shownLine(const QString& line);

// Where a symbol's small picture goes in a line: behind the character before `at`.
struct SymbolMark {
    qsizetype at;
    int symbol; // 1..14, the number of the symbol's picture

    bool operator==(const SymbolMark&) const = default;
};

// The pictures of a line of the machinekeeper's protocol, read as the card reads it: behind
// each reel code of a draw ("ESP from NAME: FIRST: | 04 | 14 | 10 |", and FINAL) the symbol it
// selects, and behind each amount of the pay table the symbols of its row (three sevens, two
// cherries...). Codes that select no symbol get none; other lines get none. In order of `at`.
std::vector<SymbolMark> symbolMarks(const QString& line);

} // namespace jackwell
