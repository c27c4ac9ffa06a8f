#include "world/default_backend.h"

#include "world/chat_world.h"

namespace jackwell {

std::unique_ptr<ChatBackend> makeDefaultBackend(Clock&, const QString&) {
    return std::make_unique<ChatWorld>();
}

} // namespace jackwell
