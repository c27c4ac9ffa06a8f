#include "keeper/keeper_config.h"

#include "books/postgres_address.h"
#include "keeper/player_key.h"
#include "platform/key_value_file.h"

#include <QDir>
#include <QFileInfo>
#include <QHostAddress>
#include <QList>

namespace jackwell::keeper {

namespace {

constexpr qsizetype kMaxOperField = 100;
constexpr qsizetype kMaxPathBytes = 4096;

const QList<QByteArray> kKeeperKeys = {"books", "oper",    "pace",  "fastpace", "identity",
                                       "log",   "logfile", "greet", "metrics"};

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
        if (jackwell::books::isPostgresAddress(books)) {
            QString error;
            if (!jackwell::books::parsePostgresAddress(books, &error))
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
    } else if (key == "identity") {
        const QByteArray lower = value.toLower();
        if (lower != "auto" && lower != "account" && lower != "nick")
            return QStringLiteral("identity must be account, nick or auto");
        config.identity = lower == "account" ? Identity::Account
                          : lower == "nick"  ? Identity::Nick
                                             : Identity::Auto;
    } else if (key == "log") {
        const QByteArray lower = value.toLower();
        if (lower != "debug" && lower != "info" && lower != "warning")
            return QStringLiteral("log must be debug, info or warning");
        config.logLevel = lower == "debug"  ? LogLevel::Debug
                          : lower == "info" ? LogLevel::Info
                                            : LogLevel::Warning;
    } else if (key == "logfile") {
        if (value.isEmpty() || value.size() > kMaxPathBytes || KeyValueFile::hasControl(value))
            return QStringLiteral("logfile must name a file");
        config.logFile = QDir(baseDir).filePath(QString::fromUtf8(value));
    } else if (key == "greet") {
        const QByteArray lower = value.toLower();
        if (lower != "yes" && lower != "no")
            return QStringLiteral("greet must be yes or no");
        config.greet = lower == "yes";
    } else if (key == "metrics") {
        // ADDRESS:PORT, an IPv6 address in brackets.
        const qsizetype colon = value.lastIndexOf(':');
        QByteArray host = value.left(std::max<qsizetype>(colon, 0));
        if (host.startsWith('[') && host.endsWith(']'))
            host = host.mid(1, host.size() - 2);
        const auto port = numberIn(value.mid(colon + 1), 1, 65535);
        if (colon < 0 || !port || QHostAddress(QString::fromLatin1(host)).isNull())
            return QStringLiteral("metrics must be an address and a port, as 127.0.0.1:9187");
        config.metricsHost = QString::fromLatin1(host);
        config.metricsPort = quint16(*port);
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
        return KeeperConfigResult{std::nullopt, fault, {}};

    IrcConfigResult irc = parseIrcConfig(file, baseDir);
    if (!irc.config)
        return KeeperConfigResult{std::nullopt, irc.error, {}};
    config.irc = *irc.config;
    if (config.irc.channel.isEmpty())
        return KeeperConfigResult{std::nullopt, file.missing("channel"), {}};
    if (!file.has("books"))
        return KeeperConfigResult{std::nullopt, file.missing("books"), {}};
    return KeeperConfigResult{config, {}, {}};
}

QString machineName(const KeeperConfig& config) {
    return playerKey(config.irc.nick, CaseMapping::Rfc1459) + u'@' + config.irc.server.toLower();
}

KeeperConfigResult readKeeperConfig(const QString& path) {
    QString error;
    const std::optional<QByteArray> text =
        KeyValueFile::readText(path, QStringLiteral("a configuration"), &error);
    if (!text)
        return KeeperConfigResult{std::nullopt, error, {}};
    KeeperConfigResult result = parseKeeperConfig(*text, path, QFileInfo(path).absolutePath());
    if (result.config && result.config->holdsSecret() && KeyValueFile::othersMayRead(path))
        result.warnings << QStringLiteral("%1 holds a password and other users may "
                                          "read it; make it private (chmod 600)")
                               .arg(KeyValueFile::escaped(path));
    return result;
}

QStringList KeeperConfig::needRestart(const KeeperConfig& a, const KeeperConfig& b) {
    QStringList keys;
    auto differ = [&](bool changed, const char* key) {
        if (changed)
            keys << QString::fromLatin1(key);
    };
    differ(a.irc.server != b.irc.server, "server");
    differ(a.irc.port != b.irc.port, "port");
    differ(a.irc.tls != b.irc.tls, "tls");
    differ(a.irc.nick != b.irc.nick, "nick");
    differ(a.irc.password != b.irc.password, "password");
    differ(a.irc.channel != b.irc.channel, "channel");
    differ(a.irc.sasl != b.irc.sasl || a.irc.saslAccount != b.irc.saslAccount ||
               a.irc.saslPassword != b.irc.saslPassword,
           "sasl");
    differ(a.irc.tlsCertPath != b.irc.tlsCertPath, "tlscert");
    differ(a.irc.tlsKeyPath != b.irc.tlsKeyPath, "tlskey");
    differ(a.irc.tlsCaPath != b.irc.tlsCaPath, "tlsca");
    differ(a.booksPath != b.booksPath, "books");
    differ(a.operName != b.operName || a.operPassword != b.operPassword, "oper");
    differ(a.identity != b.identity, "identity");
    differ(a.logFile != b.logFile, "logfile");
    differ(a.metricsHost != b.metricsHost || a.metricsPort != b.metricsPort, "metrics");
    return keys;
}

} // namespace jackwell::keeper
