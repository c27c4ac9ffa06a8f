#pragma once

#include <functional>

namespace jackwell {

// Turns SIGTERM, SIGINT and SIGHUP into a call of `stop` on the event loop (through a pipe the
// signal handler writes to), so that a program can end in good order (the robot says goodbye, the
// card saves its options). A second signal while stopping ends the process at once.
bool installStopSignals(std::function<void()> stop);

// Turns SIGHUP into a call of `reload` on the event loop instead, each time it comes: for a
// program that re-reads its configuration then. Call it after installStopSignals().
bool installReloadSignal(std::function<void()> reload);

} // namespace jackwell
