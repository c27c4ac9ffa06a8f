#include "support/fakes.h"

namespace jackwell::testing {

std::optional<QByteArray> ScriptedBackend::next() {
    if (statuses.empty())
        return otherwise;
    // Taken apart rather than copied whole: GCC 12 warns, wrongly, that a
    // copied std::optional<QByteArray> may be used uninitialised.
    const bool reports = statuses.front().has_value();
    const QByteArray status = reports ? *statuses.front() : QByteArray();
    statuses.pop_front();
    if (!reports)
        return std::nullopt;
    return status;
}

} // namespace jackwell::testing
