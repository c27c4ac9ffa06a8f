// Draws the program's icon from its SVG source as the PNG sizes of an icon theme:
//
//   jackwell-render-icons SVG FOLDER SIZE...
//
// writes FOLDER/<SIZE>x<SIZE>/apps/jackwell.png for each size, for window lists, menus and task
// bars that want a bitmap. Run at build time; the bitmaps are never kept in the sources.

#include <QDir>
#include <QImage>
#include <QPainter>
#include <QStringList>
#include <QSvgRenderer>

#include <cstdio>

int main(int argc, char* argv[]) {
    if (argc < 4) {
        std::fprintf(stderr, "usage: jackwell-render-icons SVG FOLDER SIZE...\n");
        return 2;
    }
    QSvgRenderer renderer(QString::fromLocal8Bit(argv[1]));
    if (!renderer.isValid()) {
        std::fprintf(stderr, "jackwell-render-icons: %s is no SVG picture\n", argv[1]);
        return 1;
    }
    const QDir folder(QString::fromLocal8Bit(argv[2]));
    for (int i = 3; i < argc; ++i) {
        bool isNumber = false;
        const int size = QString::fromLocal8Bit(argv[i]).toInt(&isNumber);
        if (!isNumber || size < 1 || size > 1024) {
            std::fprintf(stderr, "jackwell-render-icons: %s is no icon size\n", argv[i]);
            return 2;
        }
        QImage image(size, size, QImage::Format_ARGB32_Premultiplied);
        image.fill(Qt::transparent);
        {
            QPainter painter(&image);
            painter.setRenderHint(QPainter::Antialiasing);
            painter.setRenderHint(QPainter::SmoothPixmapTransform);
            renderer.render(&painter, QRectF(0, 0, size, size));
        }
        const QString subfolder = QStringLiteral("%1x%1/apps").arg(size);
        const QString path = folder.filePath(subfolder + QStringLiteral("/jackwell.png"));
        if (!folder.mkpath(subfolder) || !image.save(path, "PNG")) {
            std::fprintf(stderr, "jackwell-render-icons: cannot write %s\n", qPrintable(path));
            return 1;
        }
    }
    return 0;
}
