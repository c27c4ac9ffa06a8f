#pragma once

// The program's pictures, rendered from their SVG sources once and kept.

#include <QIcon>
#include <QPixmap>
#include <QSize>
#include <QString>

namespace jackwell {

// Renders an SVG resource into a pixmap of `size`; a null pixmap when the
// resource is missing or unreadable.
QPixmap renderSvg(const QString& resource, QSize size);

enum class Ground {
    Black, // as drawn: the symbol on its black square
    Clear, // the black made see-through: over black it looks the same, over a
           // neighbouring picture it hides nothing of it
};

// Symbol picture n (1..14) of the symbol list, as a square of `size` pixels.
// Each size and ground is rendered once, all fourteen together. A number
// outside 1..14 gives a null pixmap.
const QPixmap& symbolPicture(int image, int size, Ground ground = Ground::Black);

const QPixmap& cardBackground(); // 197 x 302
const QIcon& programIcon();      // the windows' icon: the installed theme icon, else drawn

} // namespace jackwell
