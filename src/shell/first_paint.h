#pragma once

#include <functional>

class QWidget;

namespace jackwell {

// Runs `then` once, from the event loop, as soon as `window` has been painted for the first
// time: work the first paint does not need waits until the player sees the window.
void afterFirstPaint(QWidget& window, std::function<void()> then);

} // namespace jackwell
