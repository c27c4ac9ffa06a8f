#include "platform/player_files.h"

#include <QDir>
#include <QFileInfo>

namespace jackwell {

QString playerConfigDir() {
    QString base = qEnvironmentVariable("XDG_CONFIG_HOME");
    if (!QDir::isAbsolutePath(base))
        base = QDir::homePath() + QStringLiteral("/.config");
    return QDir::cleanPath(base + QStringLiteral("/Jackwell"));
}

bool isInstalledProgram(const QString& executableDir) {
    return QFileInfo(QDir(executableDir).filePath(QStringLiteral("../share/jackwell"))).isDir();
}

QString playerFilePath(const QString& executableDir, const QString& fileName) {
    const QString beside = QDir(executableDir).absoluteFilePath(fileName);
    if (QFileInfo::exists(beside))
        return beside;
    if (!isInstalledProgram(executableDir) && QFileInfo(executableDir).isWritable())
        return beside;
    return QDir(playerConfigDir()).filePath(fileName);
}

} // namespace jackwell
