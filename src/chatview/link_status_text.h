#pragma once

#include "chat/chat_port.h"

#include <QString>

namespace jackwell {

// The chat window's state line: "Embedded world", "Connected to SERVER as NICK in CHANNEL",
// "Reconnecting to SERVER (next try in N s)", "Offline since HH:MM (next try in N s)".
QString linkStatusText(const ChatLinkStatus& status);

// Whether the state line counts down and must be written again as time passes.
bool isCountingDown(const ChatLinkStatus& status);

} // namespace jackwell
