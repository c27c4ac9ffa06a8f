#pragma once

#include "irc/irc_message.h"

#include <QString>

#include <optional>

namespace jackwell {

// The chat-log line for one received IRC message, or nothing when the message
// has no place in the log (PING, MODE, ...). Private messages to us read "ESP
// from NAME: text", channel messages "NAME: text", an action "* NAME text" in
// the same places; notices, joins, parts, quits, errors and the server's
// numbered replies read "<system>: text".
std::optional<QString> chatLogLine(const IrcMessage& message);

// Whether a numbered reply belongs to a server's greeting on connect: the welcome and the
// server's features (001-099), the user counts (250-266), the message of the day (372, 375, 376,
// 422), the host shown for us (396) and a login that succeeded (900, 903).
bool isGreetingNumeric(QByteArrayView command);

// Received text as the log shows it: UTF-8 (or Latin-1 when it is not valid
// UTF-8), mIRC-style colours and formatting removed, other control characters
// turned into blanks.
QString displayText(QByteArrayView text);

} // namespace jackwell
