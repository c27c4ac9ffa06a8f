#include "settings/readable_file.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

namespace jackwell {

bool checkReadable(const QString& path, QString* message) {
    QFile file(path);
    // QFile opens a folder for reading without complaint; a folder is no file to play or show.
    const bool isFolder = QFileInfo(path).isDir();
    if (!isFolder && file.open(QIODevice::ReadOnly)) {
        file.close();
        return true;
    }
    if (message) {
        const QString reason =
            isFolder ? QStringLiteral("it is a folder, not a file") : file.errorString();
        *message = QStringLiteral("The file \"%1\" cannot be opened for reading: %2.")
                       .arg(QDir::toNativeSeparators(path), reason);
    }
    return false;
}

} // namespace jackwell
