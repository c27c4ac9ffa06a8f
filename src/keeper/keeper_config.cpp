#include "keeper/keeper_config.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QList>

#include <algorithm>

namespace jackwell::keeper {

namespace {

constexpr qint64 kMaxFileBytes = 64 * 1024;
constexpr qsizetype kMaxOperField = 100;
constexpr qsizetype kMaxPathBytes = 4096;

const QList<QByteArray> kKeeperKeys = {"books", "oper", "pace", "fastpace"};

bool hasControl(QByteArrayView value) {
    return std::any_of(value.begin(), value.end(),
                       [](char c) { return uchar(c) < 0x20 || c == 0x7F; });
}

std::optional<int> numberIn(const QByteArray& value, int low, int high) {
    bool ok = false;
    const int number = value.toInt(&ok);
    if (!ok || number < low || number > high)
        return std::nullopt;
    return number;
}

// Checks one of the robot's own values and stores it; returns what is wrong, or an empty text.
QString take(KeeperConfig& config, const QByteArray& key, const QByteArray& value,
             const QString& baseDir) {
    if (key == "books") {
        if (value.isEmpty() || value.size() > kMaxPathBytes || hasControl(value))
            return QStringLiteral("books must name a file");
        config.booksPath = QDir(baseDir).filePath(QString::fromUtf8(value));
    } else if (key == "oper") {
        const QList<QByteArray> words = value.simplified().split(' ');
        if (words.size() != 2 || words[0].isEmpty() || hasControl(value) ||
            words[0].size() > kMaxOperField || words[1].size() > kMaxOperField)
            return QStringLiteral("oper must be a name and a password separated by a blank");
        config.operName = words[0];
        config.operPassword = words[1];
    } else if (key == "pace") {
        const auto pace = numberIn(value, 1, 100);
        if (!pace)
            return QStringLiteral("pace must be a number of lines per second from 1 to 100");
        config.pace = *pace;
    } else if (key == "fastpace") {
        const auto pace = numberIn(value, 1, 10000);
        if (!pace)
            return QStringLiteral("fastpace must be a number of lines per second from 1 to 10000");
        config.fastPace = *pace;
    }
    return {};
}

} // namespace

KeeperConfigResult parseKeeperConfig(const QByteArray& text, const QString& fileName,
                                     const QString& baseDir) {
    auto failAt = [&](int line, const QString& what) {
        return KeeperConfigResult{
            std::nullopt, QStringLiteral("%1, line %2: %3").arg(fileName).arg(line).arg(what)};
    };
    QByteArray body = text;
    if (body.startsWith("\xEF\xBB\xBF"))
        body.remove(0, 3);

    // The robot's own lines are taken out here; the rest are read as Chat.txt is, with the line
    // numbers kept for its messages.
    KeeperConfig config;
    QList<QByteArray> seen;
    QList<QByteArray> lines = body.split('\n');
    for (int index = 0; index < lines.size(); ++index) {
        const QByteArray line = lines[index].trimmed();
        const qsizetype equals = line.indexOf('=');
        if (line.startsWith('#') || equals < 0)
            continue;
        const QByteArray key = line.left(equals).trimmed().toLower();
        if (!kKeeperKeys.contains(key))
            continue;
        if (seen.contains(key))
            return failAt(
                index + 1,
                QStringLiteral("%1 is given a second time").arg(QString::fromLatin1(key)));
        seen.append(key);
        const QString fault = take(config, key, line.mid(equals + 1).trimmed(), baseDir);
        if (!fault.isEmpty())
            return failAt(index + 1, fault);
        lines[index].clear();
    }

    IrcConfigResult irc = parseIrcConfig(lines.join('\n'), fileName);
    if (!irc.config)
        return KeeperConfigResult{std::nullopt, irc.error};
    config.irc = *irc.config;
    if (config.irc.channel.isEmpty())
        return KeeperConfigResult{std::nullopt,
                                  QStringLiteral("%1: no \"channel = ...\" line").arg(fileName)};
    if (!seen.contains("books"))
        return KeeperConfigResult{std::nullopt,
                                  QStringLiteral("%1: no \"books = ...\" line").arg(fileName)};
    return KeeperConfigResult{config, {}};
}

KeeperConfigResult readKeeperConfig(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return KeeperConfigResult{
            std::nullopt, QStringLiteral("%1: cannot be read (%2)").arg(path, file.errorString())};
    const QByteArray text = file.read(kMaxFileBytes + 1);
    if (text.size() > kMaxFileBytes)
        return KeeperConfigResult{std::nullopt,
                                  QStringLiteral("%1: larger than %2 bytes, not a configuration")
                                      .arg(path)
                                      .arg(kMaxFileBytes)};
    return parseKeeperConfig(text, path, QFileInfo(path).absolutePath());
}

} // namespace jackwell::keeper
