#include "shell/svg_drawing.h"

#include <QImageReader>
#include <QResource>

#include <cstring>

namespace jackwell {

// Through Qt's SVG image plugin, which loads the SVG library only when a picture is drawn: the
// program draws none before its first paint, and links none.
QImage drawSvg(const QString& file, QSize size, qreal pixelRatio) {
    QImageReader reader(file, "svg");
    reader.setScaledSize((QSizeF(size) * pixelRatio).toSize());
    QImage image = reader.read();
    if (image.isNull())
        return {};
    image.convertTo(QImage::Format_ARGB32_Premultiplied);
    image.setDevicePixelRatio(pixelRatio);
    return image;
}

QString predrawnPath(const QString& resource, QSize size, qreal pixelRatio) {
    QString stem = resource;
    stem.remove(QLatin1String(":/assets/")).remove(QLatin1String(".svg"));
    return QStringLiteral(":/predrawn/%1-%2x%3@%4.argb")
        .arg(stem)
        .arg(size.width())
        .arg(size.height())
        .arg(pixelRatio);
}

QImage predrawnImage(const QString& resource, QSize size, qreal pixelRatio) {
    const QResource predrawn(predrawnPath(resource, size, pixelRatio));
    if (!predrawn.isValid())
        return {};
    QImage image((QSizeF(size) * pixelRatio).toSize(), QImage::Format_ARGB32_Premultiplied);
    const QByteArray bytes = predrawn.uncompressedData();
    if (bytes.size() != image.sizeInBytes() || image.bytesPerLine() != image.width() * 4)
        return {};
    std::memcpy(image.bits(), bytes.constData(), bytes.size());
    image.setDevicePixelRatio(pixelRatio);
    return image;
}

QByteArray predrawnBytes(const QImage& image) {
    const QImage pixels = image.convertToFormat(QImage::Format_ARGB32_Premultiplied);
    QByteArray bytes;
    for (int y = 0; y < pixels.height(); ++y)
        bytes.append(reinterpret_cast<const char*>(pixels.constScanLine(y)), pixels.width() * 4);
    return bytes;
}

} // namespace jackwell
