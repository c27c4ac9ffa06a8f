#pragma once

#include <QPoint>
#include <QRect>
#include <QSize>

namespace jackwell {

// Where a window of `size` stands beside the window `anchor` on a screen whose free area is
// `available`, `gap` pixels apart, level with its top: to its right when it fits there, else
// to its left, else as far right as it can while wholly on the screen (over the anchor, if it
// must: on screen comes first).
QPoint placeBeside(const QRect& anchor, const QSize& size, const QRect& available, int gap);

// Whether a window at `geometry` can be reached on a screen whose free area is `available`:
// the middle of its top edge lies on it.
bool isReachable(const QRect& geometry, const QRect& available);

} // namespace jackwell
