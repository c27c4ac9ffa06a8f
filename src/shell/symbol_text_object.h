#pragma once

#include <QObject>
#include <QTextCharFormat>
#include <QTextObjectInterface>

class QTextDocument;

namespace jackwell {

// A symbol's small picture standing in a line of text, as high as the line's font, drawn at
// the screen's pixel ratio. Registered once with a document's layout (which owns it), it draws
// each object character whose format symbolFormat made.
class SymbolTextObject : public QObject, public QTextObjectInterface {
    Q_OBJECT
    Q_INTERFACES(QTextObjectInterface)

public:
    static void registerWith(QTextDocument& document);
    // The format of an object character that shows symbol `image` (1..14).
    static QTextCharFormat symbolFormat(int image);

    QSizeF intrinsicSize(QTextDocument* document, int position, const QTextFormat& format) override;
    void drawObject(QPainter* painter, const QRectF& rect, QTextDocument* document, int position,
                    const QTextFormat& format) override;

private:
    using QObject::QObject;
};

} // namespace jackwell
