#pragma once

// The one way the program draws its SVG pictures into pixels: at build time for the pictures
// drawn ahead (tools/predraw), at run time for the others, so that both give the same pixels.

#include <QImage>
#include <QSize>
#include <QString>

namespace jackwell {

// `file` drawn into an image of `size` device-independent pixels at `pixelRatio` device pixels
// to each; a null image when the file is missing or no SVG picture.
QImage drawSvg(const QString& file, QSize size, qreal pixelRatio);

// Where the build keeps a picture drawn ahead for this size and ratio among the resources:
// ":/assets/card/background.svg" at 197x302 and 2 is ":/predrawn/card/background-197x302@2.argb".
// It holds the image's pixels as they are in memory (premultiplied ARGB, rows one after the
// other), so that loading it is a copy: no decoder, and none of the image plugins a decoder
// would load.
QString predrawnPath(const QString& resource, QSize size, qreal pixelRatio);

// The image drawn ahead for this size and ratio; a null image when the build drew none.
QImage predrawnImage(const QString& resource, QSize size, qreal pixelRatio);

// The pixels of `image` as predrawnImage() reads them.
QByteArray predrawnBytes(const QImage& image);

} // namespace jackwell
