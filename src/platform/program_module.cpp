#include "platform/program_module.h"

#include <QDir>
#include <QFileInfo>
#include <QLibrary>

namespace jackwell {

QStringList programModulePlaces(const QString& executableDir, const QString& fileName) {
    const QDir beside(executableDir);
    return {beside.filePath(fileName),
            QDir::cleanPath(
                beside.filePath(QStringLiteral(JACKWELL_INSTALLED_MODULE_DIR "/") + fileName)),
            QDir(QStringLiteral(JACKWELL_INSTALL_MODULE_DIR)).filePath(fileName),
            QDir(QStringLiteral(JACKWELL_BUILD_MODULE_DIR)).filePath(fileName)};
}

QFunctionPointer openProgramModule(const QStringList& places, const char* entry, QString* error) {
    for (const QString& place : places) {
        if (!QFileInfo(place).isFile())
            continue;
        QLibrary module(place); // never unloaded: what it made lives on
        if (const QFunctionPointer found = module.resolve(entry))
            return found;
        *error = QStringLiteral("%1 cannot be opened: %2").arg(place, module.errorString());
        return nullptr;
    }
    *error = QStringLiteral("no %1 in %2")
                 .arg(places.isEmpty() ? QString() : QFileInfo(places.first()).fileName(),
                      places.join(QStringLiteral(", ")));
    return nullptr;
}

} // namespace jackwell
