#pragma once

#include "chat/chat_port.h"
#include "chat/irc_backend.h"

#include <QString>

#include <memory>

namespace jackwell {

class Clock;

// Where Chat.txt is looked for: the same place as Settings.txt (see playerFilePath), beside the
// executable in the build tree, in the player's configuration folder for an installed program.
QString chatConfigFilePath(const QString& executableDir);

// Where the embedded world's machinekeeper keeps the player's books: rivet.sqlite in the
// player's data folder (see playerDataDir).
QString rivetBooksFilePath();

// The program's one choice of chat world, made at start-up for the chat library: the embedded
// world unless a Chat.txt names another, which `makeIrc` makes. The embedded world's machinekeeper
// keeps its books in `rivetBooksPath` (none: in memory).
std::unique_ptr<ChatPort> makeDefaultBackend(Clock& clock, const QString& executableDir,
                                             const QString& rivetBooksPath = {},
                                             const IrcBackendMaker& makeIrc = makeIrcBackend);

} // namespace jackwell
