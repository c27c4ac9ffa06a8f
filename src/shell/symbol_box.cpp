#include "shell/symbol_box.h"

#include "shell/pictures.h"

#include <QPainter>

namespace jackwell {

SymbolBox::SymbolBox(QWidget* parent, Ground ground)
    : QWidget(parent)
    , ground_(ground) {
    setAttribute(Qt::WA_TransparentForMouseEvents);
    setAttribute(Qt::WA_OpaquePaintEvent, ground == Ground::Black);
}

void SymbolBox::setImage(int image) {
    if (image == image_)
        return;
    image_ = image;
    update();
}

// The pictures are drawn for a box of their own size; a box a pixel smaller
// (the reels' 49) gets the picture rendered at its size, never cut.
void SymbolBox::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    if (ground_ == Ground::Black)
        painter.fillRect(rect(), Qt::black);
    const QPixmap& picture =
        symbolPicture(image_, qMin(width(), height()), ground_, devicePixelRatioF());
    if (!picture.isNull())
        painter.drawPixmap(0, 0, picture);
}

} // namespace jackwell
