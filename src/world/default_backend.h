#pragma once

#include "chat/chat_port.h"

#include <QString>

#include <memory>

namespace jackwell {

class Clock;

// Where Chat.txt is looked for: the same place as Settings.txt (see playerFilePath), beside the
// executable in the build tree, in the player's configuration folder for an installed program.
QString chatConfigFilePath(const QString& executableDir);

// The chat library's own choice of chat world: the embedded world unless a
// Chat.txt names another.
std::unique_ptr<ChatPort> makeDefaultBackend(Clock& clock, const QString& executableDir);

} // namespace jackwell
