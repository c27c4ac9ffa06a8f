#include "shell/file_locations.h"

#include "platform/data_paths.h"
#include "settings/settings_file.h"
#include "shell/world_choice.h"

#include <QDir>
#include <QFileInfo>

namespace jackwell {

namespace {

// "  NAME  what it is:\n                PATH (state)\n"
QString fileEntry(const QString& name, const QString& what, const QString& path,
                  const QString& whenMissing) {
    const QString state =
        QFileInfo::exists(path) ? QString() : QStringLiteral(" (%1)").arg(whenMissing);
    return QStringLiteral("  %1%2\n                %3%4\n")
        .arg(name.leftJustified(14), what, QDir::toNativeSeparators(path), state);
}

} // namespace

QString fileLocationsText(const QString& executableDir) {
    const QString sounds = QDir(jackwellDataDir(executableDir)).filePath(QStringLiteral("sounds"));
    return QStringLiteral("Files:\n") +
           fileEntry(QStringLiteral("Settings.txt"),
                     QStringLiteral("the options, read at start and written at exit:"),
                     settingsFilePath(executableDir), QStringLiteral("not written yet")) +
           fileEntry(QStringLiteral("Chat.txt"),
                     QStringLiteral("the IRC network to play on; without it the embedded "
                                    "world plays:"),
                     chatConfigFilePath(executableDir), QStringLiteral("not there")) +
           fileEntry(QStringLiteral("sounds"), QStringLiteral("the bundled sounds:"), sounds,
                     QStringLiteral("not there"));
}

} // namespace jackwell
