#pragma once

#include "reels/card_constants.h"

#include <QRect>
#include <QtMath>

namespace jackwell {

// A control's place given in twips, as the windows are designed, in pixels.
inline QRect twipsRect(int left, int top, int width, int height) {
    const auto px = [](int twips) { return qRound(double(twips) / kTwipsPerPixel); };
    return QRect(px(left), px(top), px(width), px(height));
}

} // namespace jackwell
