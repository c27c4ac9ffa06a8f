// Draws SVG pictures ahead, at build time, into the files the program loads in place of
// drawing them (their pixels as they are in memory, see src/shell/svg_drawing.h):
//
//   jackwell-predraw SVG WIDTHxHEIGHT RATIO OUT.argb
//
// with the program's own drawing (src/shell/svg_drawing.h), so that the pixels are the ones it
// would draw.

#include "shell/svg_drawing.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QGuiApplication>

#include <cstdio>

int main(int argc, char* argv[]) {
    QGuiApplication app(argc, argv);
    const QStringList size = QString::fromLocal8Bit(argc > 2 ? argv[2] : "").split(u'x');
    bool ratioIsNumber = false;
    const double ratio = QString::fromLocal8Bit(argc > 3 ? argv[3] : "").toDouble(&ratioIsNumber);
    if (argc != 5 || size.size() != 2 || size[0].toInt() < 1 || size[1].toInt() < 1 ||
        !ratioIsNumber || ratio <= 0) {
        std::fprintf(stderr, "usage: jackwell-predraw SVG WIDTHxHEIGHT RATIO OUT.argb\n");
        return 2;
    }
    const QImage image = jackwell::drawSvg(QString::fromLocal8Bit(argv[1]),
                                           QSize(size[0].toInt(), size[1].toInt()), ratio);
    const QString out = QString::fromLocal8Bit(argv[4]);
    if (image.isNull()) {
        std::fprintf(stderr, "jackwell-predraw: %s is no SVG picture\n", argv[1]);
        return 1;
    }
    QFile file(out);
    if (!QDir().mkpath(QFileInfo(out).path()) || !file.open(QIODevice::WriteOnly) ||
        file.write(jackwell::predrawnBytes(image)) != image.width() * image.height() * 4) {
        std::fprintf(stderr, "jackwell-predraw: cannot write %s\n", argv[4]);
        return 1;
    }
    return 0;
}
