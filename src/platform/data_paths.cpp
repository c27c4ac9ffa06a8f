#include "platform/data_paths.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>

namespace jackwell {

QString jackwellDataDir() {
    return jackwellDataDir(QCoreApplication::applicationDirPath());
}

QString jackwellDataDir(const QString& executableDir) {
    const QDir dir(executableDir);
    if (QFileInfo(dir.filePath(QStringLiteral("sounds"))).isDir())
        return dir.absolutePath();
    return QDir::cleanPath(dir.absoluteFilePath(QStringLiteral("../share/jackwell")));
}

} // namespace jackwell
