#include "shell/pictures.h"

#include "reels/card_constants.h"
#include "shell/card_layout.h"

#include <QImage>
#include <QPainter>
#include <QSvgRenderer>

#include <algorithm>
#include <array>
#include <map>
#include <tuple>

namespace jackwell {

QPixmap renderSvg(const QString& resource, QSize size, qreal pixelRatio) {
    QSvgRenderer renderer(resource);
    if (!renderer.isValid())
        return {};
    QPixmap pixmap((QSizeF(size) * pixelRatio).toSize());
    pixmap.setDevicePixelRatio(pixelRatio);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    renderer.render(&painter, QRectF(QPointF(0, 0), QSizeF(size)));
    return pixmap;
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
    using SymbolList = std::array<QPixmap, machine::kSymbolCount + 1>; // index 0: no picture
    static std::map<std::tuple<int, Ground, qreal>, SymbolList> lists;
    auto [at, added] = lists.try_emplace({size, ground, pixelRatio});
    if (added) {
        for (int n = 1; n <= machine::kSymbolCount; ++n) {
            const QString name =
                QStringLiteral(":/assets/symbols/%1.svg").arg(n, 2, 10, QChar(u'0'));
            const QPixmap drawn = renderSvg(name, QSize(size, size), pixelRatio);
            at->second[n] = ground == Ground::Clear && !drawn.isNull() ? clearBlack(drawn) : drawn;
        }
    }
    static const QPixmap none;
    return image >= 1 && image <= machine::kSymbolCount ? at->second[image] : none;
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
