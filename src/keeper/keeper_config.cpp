#include "keeper/keeper_config.h"

#include "keeper/player_key.h"
#include "keeper/postgres_address.h"
#include "platform/key_value_file.h"

#include <QDir>
#include <QFileInfo>
#include <QList>

namespace jackwell::keeper {

namespace {

constexpr qsizetype kMaxOperField = 100;
constexpr qsizetype kMaxPathBytes = 4096;

const QList<QByteArray> kKeeperKeys = {"books", "oper", "pace", "fastpace"};

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
        if (value.isEmpty() || value.size() > kMaxPathBytes || KeyValueFile::hasControl(value))
            return QStringLiteral("books must name a file");
        const QString books = QString::fromUtf8(value);
        if (isPostgresAddress(books)) {
            QString error;
            if (!parsePostgresAddress(books, &error))
                return error;
            config.booksPath = books;
        } else {
            config.booksPath = QDir(baseDir).filePath(books);
        }
    } else if (key == "oper") {
        const QList<QByteArray> words = value.simplified().split(' ');
        if (words.size() != 2 || words[0].isEmpty() || KeyValueFile::hasControl(value) ||
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
    // The robot's own lines are taken first; the rest are read as Chat.txt is.
    KeyValueFile file(text, fileName);
    KeeperConfig config;
    const QString fault =
        file.takeOwn(kKeeperKeys, [&](const QByteArray& key, const QByteArray& value) {
            return take(config, key, value, baseDir);
        });
    if (!fault.isEmpty())
        return KeeperConfigResult{std::nullopt, fault};

    IrcConfigResult irc = parseIrcConfig(file);
    if (!irc.config)
        return KeeperConfigResult{std::nullopt, irc.error};
    config.irc = *irc.config;
    if (config.irc.channel.isEmpty())
        return KeeperConfigResult{std::nullopt, file.missing("channel")};
    if (!file.has("books"))
        return KeeperConfigResult{std::nullopt, file.missing("books")};
    return KeeperConfigResult{config, {}};
}

QString machineName(const KeeperConfig& config) {
    return playerKey(config.irc.nick, CaseMapping::Rfc1459) + u'@' + config.irc.server.toLower();
}

KeeperConfigResult readKeeperConfig(const QString& path) {
    QString error;
    const std::optional<QByteArray> text =
        KeyValueFile::readText(path, QStringLiteral("a configuration"), &error);
    if (!text)
        return KeeperConfigResult{std::nullopt, error};
    return parseKeeperConfig(*text, path, QFileInfo(path).absolutePath());
}

} // namespace jackwell::keeper
