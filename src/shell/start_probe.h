#pragma once

// For the start-up benchmark: with JACKWELL_EXIT_WHEN_SHOWN=NAME in the environment, the program
// ends at once (no clean-up, nothing saved) as soon as its window with objectName NAME has been
// painted for the first time, so that its CPU time and peak memory at exit are those of its
// start. Without the variable it does nothing.
namespace jackwell {

void exitWhenShownIfAsked();

} // namespace jackwell
