#include "world/default_backend.h"

#include "world/embedded_world.h"

namespace jackwell {

std::unique_ptr<ChatBackend> makeDefaultBackend(Clock& clock, const QString&) {
    return makeEmbeddedWorld(clock);
}

} // namespace jackwell
