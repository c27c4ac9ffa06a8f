#pragma once

#include <functional>

namespace jackwell {

// Turns SIGTERM, SIGINT and SIGHUP into a call of `stop` on the event loop (through a pipe the
// signal handler writes to), so that a program can end in good order (the robot says goodbye, the
// card saves its options). A second signal while stopping ends the process at once.
bool installStopSignals(std::function<void()> stop);

} // namespace jackwell
