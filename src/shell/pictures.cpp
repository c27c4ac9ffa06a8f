#include "shell/pictures.h"

#include "reels/card_constants.h"
#include "shell/card_layout.h"
#include "shell/svg_drawing.h"

#include <QImage>

#include <algorithm>
#include <map>
#include <tuple>

namespace jackwell {

QPixmap renderSvg(const QString& resource, QSize size, qreal pixelRatio) {
    QImage image = predrawnImage(resource, size, pixelRatio);
    if (image.isNull())
        image = drawSvg(resource, size, pixelRatio);
    return QPixmap::fromImage(std::move(image));
}

namespace {

// Each pixel becomes its own colour at the opacity of its brightest channel,
// premultiplied: drawn over black it gives back exactly the pixel it was.
QPixmap clearBlack(const QPixmap& picture) {
    QImage image = picture.toImage().convertToFormat(QImage::Format_ARGB32);
    image.setDevicePixelRatio(picture.devicePixelRatio());
    for (int y = 0; y < image.height(); ++y) {
        auto* line = reinterpret_cast<QRgb*>(image.scanLine(y));
        for (int x = 0; x < image.width(); ++x) {
            const QRgb p = line[x];
            const int alpha = std::max({qRed(p), qGreen(p), qBlue(p)});
            line[x] = qRgba(qRed(p), qGreen(p), qBlue(p), alpha);
        }
    }
    image.reinterpretAsFormat(QImage::Format_ARGB32_Premultiplied);
    return QPixmap::fromImage(image);
}

} // namespace

const QPixmap& symbolPicture(int image, int size, Ground ground, qreal pixelRatio) {
    static const QPixmap none;
    if (image < 1 || image > machine::kSymbolCount)
        return none;
    static std::map<std::tuple<int, int, Ground, qreal>, QPixmap> pictures;
    auto [at, added] = pictures.try_emplace({image, size, ground, pixelRatio});
    if (added) {
        const QString name =
            QStringLiteral(":/assets/symbols/%1.svg").arg(image, 2, 10, QChar(u'0'));
        const QPixmap drawn = renderSvg(name, QSize(size, size), pixelRatio);
        at->second = ground == Ground::Clear && !drawn.isNull() ? clearBlack(drawn) : drawn;
    }
    return at->second;
}

const QPixmap& cardBackground(qreal pixelRatio) {
    static std::map<qreal, QPixmap> pictures;
    auto [at, added] = pictures.try_emplace(pixelRatio);
    if (added)
        at->second = renderSvg(QStringLiteral(":/assets/card/background.svg"), card::kClientSize,
                               pixelRatio);
    return at->second;
}

const QIcon& programIcon() {
    static const QIcon icon = [] {
        QIcon drawn;
        for (const int size : {16, 22, 32, 48, 64, 128, 256})
            drawn.addPixmap(renderSvg(QStringLiteral(":/assets/icon.svg"), QSize(size, size)));
        return QIcon::fromTheme(QStringLiteral("jackwell"), drawn);
    }();
    return icon;
}

} // namespace jackwell
