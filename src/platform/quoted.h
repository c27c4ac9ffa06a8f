#pragma once

#include <QtGlobal>

namespace jackwell {

// How much of a name from outside (a player's, a nickname, a channel's) the program's messages
// and logs quote: enough to tell whose, never a flood of someone else's characters.
inline constexpr qsizetype kQuotedNameLength = 64;

template <typename Text> Text quotedName(const Text& name) {
    return name.left(kQuotedNameLength);
}

} // namespace jackwell
