#include "shell/svg_drawing.h"

#include <QPainter>
#include <QResource>
#include <QSvgRenderer>

#include <cstring>

namespace jackwell {

QImage drawSvg(const QString& file, QSize size, qreal pixelRatio) {
    QSvgRenderer renderer(file);
    if (!renderer.isValid())
        return {};
    QImage image((QSizeF(size) * pixelRatio).toSize(), QImage::Format_ARGB32_Premultiplied);
    image.setDevicePixelRatio(pixelRatio);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    renderer.render(&painter, QRectF(QPointF(0, 0), QSizeF(size)));
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
