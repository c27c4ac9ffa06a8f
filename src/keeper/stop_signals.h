#pragma once

#include <functional>

namespace jackwell::keeper {

// Turns SIGTERM and SIGINT into a call of `stop` on the event loop (through a pipe the signal
// handler writes to), so that the robot can say goodbye before the process ends. A second
// signal while stopping ends the process at once.
bool installStopSignals(std::function<void()> stop);

} // namespace jackwell::keeper
