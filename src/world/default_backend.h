#pragma once

#include "chat/chat_backend.h"

#include <QString>

#include <memory>

namespace jackwell {

class Clock;

// The chat library's own choice of chat world: the embedded world unless a
// configuration beside the executable names another.
std::unique_ptr<ChatBackend> makeDefaultBackend(Clock& clock, const QString& executableDir);

} // namespace jackwell
