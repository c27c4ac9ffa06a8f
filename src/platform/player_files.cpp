#include "platform/player_files.h"

#include <QDir>
#include <QFileInfo>

namespace jackwell {

namespace {

// The program's folder in the base folder `variable` names, or in `fallback` under the home
// folder when it is unset or not an absolute path.
QString jackwellFolderIn(const char* variable, const QString& fallback) {
    QString base = qEnvironmentVariable(variable);
    if (!QDir::isAbsolutePath(base))
        base = QDir::homePath() + fallback;
    return QDir::cleanPath(base + QStringLiteral("/Jackwell"));
}

} // namespace

QString playerConfigDir() {
    return jackwellFolderIn("XDG_CONFIG_HOME", QStringLiteral("/.config"));
}

QString playerDataDir() {
    return jackwellFolderIn("XDG_DATA_HOME", QStringLiteral("/.local/share"));
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
