#include "shell/symbol_text_object.h"

#include "shell/pictures.h"

#include <QAbstractTextDocumentLayout>
#include <QFontMetricsF>
#include <QPainter>
#include <QTextDocument>

#include <cmath>

namespace jackwell {

namespace {

constexpr int kSymbolObject = QTextFormat::UserObject + 1;
constexpr int kSymbolProperty = QTextFormat::UserProperty + 1;
constexpr qreal kGap = 1; // on either side, so that pictures in a row stay apart

} // namespace

void SymbolTextObject::registerWith(QTextDocument& document) {
    QAbstractTextDocumentLayout* layout = document.documentLayout();
    layout->registerHandler(kSymbolObject, new SymbolTextObject(layout));
}

QTextCharFormat SymbolTextObject::symbolFormat(int image) {
    QTextCharFormat format;
    format.setObjectType(kSymbolObject);
    format.setProperty(kSymbolProperty, image);
    return format;
}

QSizeF SymbolTextObject::intrinsicSize(QTextDocument* document, int, const QTextFormat&) {
    const qreal side = std::ceil(QFontMetricsF(document->defaultFont()).height());
    return {side + 2 * kGap, side};
}

void SymbolTextObject::drawObject(QPainter* painter, const QRectF& rect, QTextDocument*, int,
                                  const QTextFormat& format) {
    const qreal side = rect.height();
    const qreal ratio = painter->device() ? painter->device()->devicePixelRatioF() : 1.0;
    const QPixmap& picture =
        symbolPicture(format.property(kSymbolProperty).toInt(), int(std::ceil(side * ratio)));
    if (!picture.isNull())
        painter->drawPixmap(QRectF(rect.left() + kGap, rect.top(), side, side), picture,
                            picture.rect());
}

} // namespace jackwell
