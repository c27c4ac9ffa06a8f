#include "platform/data_paths.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>

namespace jackwell {

namespace {
const QString kSoundsFolder = QStringLiteral("sounds");
} // namespace

QString jackwellDataDir(const QString& executableDir) {
    const QDir beside(executableDir);
    if (QFileInfo(beside.filePath(kSoundsFolder)).isDir())
        return QDir::cleanPath(beside.path());
    return QDir::cleanPath(beside.filePath(QStringLiteral("../share/jackwell")));
}

QString jackwellDataDir() {
    return jackwellDataDir(QCoreApplication::applicationDirPath());
}

QString bundledSoundsDir(const QString& dataDir) {
    return QDir(dataDir).filePath(kSoundsFolder);
}

QString preferencesFilePath() {
    const QString config = QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation);
    return QDir(config).filePath(QStringLiteral("Jackwell/Jackwell.conf"));
}

} // namespace jackwell
