#include "irc/irc_config.h"

#include "irc/irc_message.h"
#include "platform/key_value_file.h"

#include <QDir>
#include <QFileInfo>

#include <algorithm>

namespace jackwell {

namespace {

constexpr qsizetype kMaxServerLength = 253;
constexpr qsizetype kMaxPasswordLength = 400;

constexpr qsizetype kMaxAccountLength = 100;
constexpr qsizetype kMaxPathBytes = 4096;

const QList<QByteArray> kKeys = {"server",  "port", "tls",     "nick",   "password",
                                 "channel", "sasl", "tlscert", "tlskey", "tlsca"};

bool isHostName(const QByteArray& value) {
    return value.size() <= kMaxServerLength && std::all_of(value.begin(), value.end(), [](char c) {
               return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
                      c == '.' || c == '-' || c == ':' || c == '_';
           });
}

// "ACCOUNT PASSWORD" (the password is the rest of the line) or "external".
QString takeSasl(IrcConfig& config, const QByteArray& value) {
    if (value.compare("external", Qt::CaseInsensitive) == 0) {
        config.sasl = IrcConfig::Sasl::External;
        return {};
    }
    const qsizetype blank = value.indexOf(' ');
    const QByteArray account = value.left(blank);
    const QByteArray password = blank < 0 ? QByteArray() : value.mid(blank + 1).trimmed();
    if (blank < 0 || account.isEmpty() || password.isEmpty())
        return QStringLiteral("sasl must be an account and its password separated by a blank, "
                              "or external");
    if (account.size() > kMaxAccountLength || password.size() > kMaxPasswordLength)
        return QStringLiteral("sasl: the account or the password is too long");
    config.sasl = IrcConfig::Sasl::Plain;
    config.saslAccount = account;
    config.saslPassword = password;
    return {};
}

QString takePath(QString& path, const QByteArray& key, const QByteArray& value,
                 const QString& baseDir) {
    if (value.size() > kMaxPathBytes || KeyValueFile::hasControl(value))
        return QStringLiteral("%1 must name a file").arg(QString::fromLatin1(key));
    path = QDir(baseDir).filePath(QString::fromUtf8(value));
    return {};
}

// Checks one value and stores it; returns what is wrong, or an empty text.
QString take(IrcConfig& config, const QByteArray& key, const QByteArray& value,
             const QString& baseDir) {
    if (key == "server") {
        if (!isHostName(value))
            return QStringLiteral("server %1 is not a host name or address")
                .arg(KeyValueFile::shown(value));
        config.server = QString::fromLatin1(value);
    } else if (key == "port") {
        bool ok = false;
        const uint port = value.toUInt(&ok);
        if (!ok || port < 1 || port > 65535)
            return QStringLiteral("port %1 is not a number from 1 to 65535")
                .arg(KeyValueFile::shown(value));
        config.port = quint16(port);
    } else if (key == "tls") {
        const QByteArray lower = value.toLower();
        if (lower != "yes" && lower != "no")
            return QStringLiteral("tls must be yes or no, not %1").arg(KeyValueFile::shown(value));
        config.tls = lower == "yes";
    } else if (key == "nick") {
        if (!isValidNickname(value, kIrcDefaultNickLength))
            return QStringLiteral("nick %1 is not a valid IRC nickname (a letter first, at most "
                                  "%2 letters, digits or -[]\\`_^{|})")
                .arg(KeyValueFile::shown(value))
                .arg(kIrcDefaultNickLength);
        config.nick = value;
    } else if (key == "password") {
        if (value.size() > kMaxPasswordLength)
            return QStringLiteral("password is longer than %1 characters").arg(kMaxPasswordLength);
        config.password = value;
    } else if (key == "channel") {
        if (!isChannelName(value))
            return QStringLiteral("channel %1 is not a channel name (# first, no blanks or commas)")
                .arg(KeyValueFile::shown(value));
        config.channel = value;
    } else if (key == "sasl") {
        return takeSasl(config, value);
    } else if (key == "tlscert") {
        return takePath(config.tlsCertPath, key, value, baseDir);
    } else if (key == "tlskey") {
        return takePath(config.tlsKeyPath, key, value, baseDir);
    } else if (key == "tlsca") {
        return takePath(config.tlsCaPath, key, value, baseDir);
    }
    return {};
}

// What the keys ask of each other; empty when they fit together.
QString mismatch(const IrcConfig& config) {
    if (!config.tls && (!config.tlsCertPath.isEmpty() || !config.tlsCaPath.isEmpty()))
        return QStringLiteral("tlscert and tlsca need tls = yes");
    if (config.tlsCertPath.isEmpty() != config.tlsKeyPath.isEmpty())
        return QStringLiteral("tlscert and tlskey go together");
    if (config.sasl == IrcConfig::Sasl::External && config.tlsCertPath.isEmpty())
        return QStringLiteral("sasl = external needs a client certificate (tlscert, tlskey)");
    return {};
}

} // namespace

IrcConfigResult parseIrcConfig(const QByteArray& text, const QString& fileName,
                               const QString& baseDir) {
    KeyValueFile file(text, fileName);
    return parseIrcConfig(file, baseDir);
}

IrcConfigResult parseIrcConfig(KeyValueFile& file, const QString& baseDir) {
    IrcConfig config;
    const QString fault = file.takeAll(kKeys, [&](const QByteArray& key, const QByteArray& value) {
        return take(config, key, value, baseDir);
    });
    if (!fault.isEmpty())
        return IrcConfigResult{std::nullopt, fault, {}};
    for (const char* required : {"server", "nick"}) {
        if (!file.has(required))
            return IrcConfigResult{std::nullopt, file.missing(required), {}};
    }
    if (config.tls && !file.has("port"))
        config.port = 6697;
    if (const QString wrong = mismatch(config); !wrong.isEmpty())
        return IrcConfigResult{std::nullopt, file.faultOfFile(wrong), {}};
    return IrcConfigResult{config, {}, {}};
}

QString secretFileWarning(const IrcConfig& config, const QString& path) {
    if (!config.holdsSecret() || !KeyValueFile::othersMayRead(path))
        return {};
    return QStringLiteral("warning: %1 holds a password and other users may read it; make it "
                          "private (chmod 600)")
        .arg(KeyValueFile::escaped(path));
}

IrcConfigResult readIrcConfig(const QString& path) {
    QString error;
    const std::optional<QByteArray> text =
        KeyValueFile::readText(path, QStringLiteral("a chat configuration"), &error);
    if (!text)
        return IrcConfigResult{std::nullopt, error, {}};
    IrcConfigResult result = parseIrcConfig(*text, path, QFileInfo(path).absolutePath());
    if (result.config) {
        if (const QString warning = secretFileWarning(*result.config, path); !warning.isEmpty())
            result.warnings << warning;
    }
    return result;
}

} // namespace jackwell
