#pragma once

class QDir;

namespace jackwell {
class VirtualClock;
}

namespace jackwell::demo {

// The card and the chat docked in one window, as a Wayland desktop shows them, after GET HOST and
// REGISTER in a world of its own: saved as wayland-docked.png. 0 when saved.
int saveDockedPicture(VirtualClock& clock, const QDir& outputDir);

} // namespace jackwell::demo
