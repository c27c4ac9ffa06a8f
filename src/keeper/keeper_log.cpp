#include "keeper/keeper_log.h"

#include "platform/key_value_file.h"

#include <QDateTime>
#include <QFile>
#include <QMutex>

#include <cstdio>
#include <memory>

namespace jackwell::keeper {

Q_LOGGING_CATEGORY(lcKeeper, "jackwell.keeper")
Q_LOGGING_CATEGORY(lcGame, "jackwell.keeper.game")

namespace {

QMutex sinkMutex;
std::unique_ptr<QFile> logFile; // null: stderr

const char* levelName(QtMsgType type) {
    switch (type) {
    case QtDebugMsg:
        return "debug";
    case QtInfoMsg:
        return "info";
    case QtWarningMsg:
        return "warning";
    case QtCriticalMsg:
        return "error";
    case QtFatalMsg:
        return "fatal";
    }
    return "info";
}

void writeLine(QtMsgType type, const QMessageLogContext&, const QString& text) {
    const QByteArray line = keeperLogLine(QDateTime::currentDateTime(), type, text).toUtf8() + '\n';
    const QMutexLocker lock(&sinkMutex);
    if (logFile) {
        logFile->write(line);
        logFile->flush();
    } else {
        std::fwrite(line.constData(), 1, size_t(line.size()), stderr);
        std::fflush(stderr);
    }
}

} // namespace

QString keeperLogLine(const QDateTime& at, QtMsgType type, const QString& text) {
    // With its offset from UTC spelled out ("+01:00", "Z"), whatever the local zone.
    const QDateTime stamp = at.toOffsetFromUtc(at.offsetFromUtc());
    return stamp.toString(Qt::ISODateWithMs) + u' ' + QLatin1String(levelName(type)) +
           QStringLiteral(": ") + KeyValueFile::escaped(text);
}

KeeperLogger keeperLogger(std::function<void(const QString& text)> listener) {
    return [listener = std::move(listener)](QtMsgType type, const QString& text) {
        switch (type) {
        case QtDebugMsg:
            qCDebug(lcKeeper).noquote() << text;
            break;
        case QtInfoMsg:
            qCInfo(lcKeeper).noquote() << text;
            break;
        case QtWarningMsg:
            qCWarning(lcKeeper).noquote() << text;
            break;
        default:
            qCCritical(lcKeeper).noquote() << text;
            break;
        }
        if (listener)
            listener(text);
    };
}

void installKeeperLog() {
    qInstallMessageHandler(writeLine);
    setKeeperLogLevel(LogLevel::Info);
}

bool setKeeperLogFile(const QString& path, QString* error) {
    std::unique_ptr<QFile> file;
    if (!path.isEmpty()) {
        file = std::make_unique<QFile>(path);
        if (!file->open(QIODevice::WriteOnly | QIODevice::Append | QIODevice::Text)) {
            *error = QStringLiteral("cannot write the log file %1: %2")
                         .arg(KeyValueFile::escaped(path), file->errorString());
            return false;
        }
    }
    const QMutexLocker lock(&sinkMutex);
    logFile = std::move(file);
    return true;
}

bool reopenKeeperLogFile(QString* error) {
    QString path;
    {
        const QMutexLocker lock(&sinkMutex);
        if (!logFile)
            return true;
        path = logFile->fileName();
    }
    return setKeeperLogFile(path, error);
}

void setKeeperLogLevel(LogLevel level) {
    switch (level) {
    case LogLevel::Debug:
        QLoggingCategory::setFilterRules(QStringLiteral("jackwell.*=true"));
        break;
    case LogLevel::Info:
        QLoggingCategory::setFilterRules(
            QStringLiteral("jackwell.*.debug=false\njackwell.*.info=true"));
        break;
    case LogLevel::Warning:
        QLoggingCategory::setFilterRules(
            QStringLiteral("jackwell.*.debug=false\njackwell.*.info=false"));
        break;
    }
}

} // namespace jackwell::keeper
