#include "shell/window_placement.h"

#include <algorithm>

namespace jackwell {

QPoint placeBeside(const QRect& anchor, const QSize& size, const QRect& available, int gap) {
    const QRect right(QPoint(anchor.right() + 1 + gap, anchor.top()), size);
    if (available.contains(right))
        return right.topLeft();
    const QRect left(QPoint(anchor.left() - gap - size.width(), anchor.top()), size);
    if (available.contains(left))
        return left.topLeft();
    const int x =
        std::max(available.left(), std::min(right.left(), available.right() + 1 - size.width()));
    const int y =
        std::max(available.top(), std::min(anchor.top(), available.bottom() + 1 - size.height()));
    return {x, y};
}

bool isReachable(const QRect& geometry, const QRect& available) {
    return available.contains(QPoint(geometry.center().x(), geometry.top()));
}

} // namespace jackwell
