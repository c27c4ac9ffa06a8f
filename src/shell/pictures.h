#pragma once

// The program's pictures, rendered from their SVG sources once and kept.

#include <QIcon>
#include <QPixmap>
#include <QSize>
#include <QString>

namespace jackwell {

// Renders an SVG resource into a pixmap of `size` (in device-independent pixels, rendered at
// `pixelRatio`), or loads it where the build drew it ahead; a null pixmap when the resource is
// missing or unreadable.
QPixmap renderSvg(const QString& resource, QSize size, qreal pixelRatio = 1);

enum class Ground {
    Black, // as drawn: the symbol on its black square
    Clear, // the black made see-through: over black it looks the same, over a
           // neighbouring picture it hides nothing of it
};

// Symbol picture n (1..14) of the symbol list, as a square of `size` pixels, rendered for a
// screen of `pixelRatio` device pixels to each (sharp at any scale). Each picture is rendered
// once, when first asked for. A number outside 1..14 gives a null pixmap.
const QPixmap& symbolPicture(int image, int size, Ground ground = Ground::Black,
                             qreal pixelRatio = 1);

const QPixmap& cardBackground(qreal pixelRatio = 1); // 197 x 302
const QIcon& programIcon(); // the windows' icon: the installed theme icon, else drawn

} // namespace jackwell
