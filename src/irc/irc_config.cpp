#include "irc/irc_config.h"

#include "irc/irc_message.h"
#include "platform/key_value_file.h"

#include <algorithm>

namespace jackwell {

namespace {

constexpr qsizetype kMaxServerLength = 253;
constexpr qsizetype kMaxPasswordLength = 400;

const QList<QByteArray> kKeys = {"server", "port", "tls", "nick", "password", "channel"};

bool isHostName(const QByteArray& value) {
    return value.size() <= kMaxServerLength && std::all_of(value.begin(), value.end(), [](char c) {
               return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
                      c == '.' || c == '-' || c == ':' || c == '_';
           });
}

// Checks one value and stores it; returns what is wrong, or an empty text.
QString take(IrcConfig& config, const QByteArray& key, const QByteArray& value) {
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
    }
    return {};
}

} // namespace

IrcConfigResult parseIrcConfig(const QByteArray& text, const QString& fileName) {
    KeyValueFile file(text, fileName);
    return parseIrcConfig(file);
}

IrcConfigResult parseIrcConfig(KeyValueFile& file) {
    IrcConfig config;
    const QString fault = file.takeAll(kKeys, [&](const QByteArray& key, const QByteArray& value) {
        return take(config, key, value);
    });
    if (!fault.isEmpty())
        return IrcConfigResult{std::nullopt, fault};
    for (const char* required : {"server", "nick"}) {
        if (!file.has(required))
            return IrcConfigResult{std::nullopt, file.missing(required)};
    }
    if (config.tls && !file.has("port"))
        config.port = 6697;
    return IrcConfigResult{config, {}};
}

IrcConfigResult readIrcConfig(const QString& path) {
    QString error;
    const std::optional<QByteArray> text =
        KeyValueFile::readText(path, QStringLiteral("a chat configuration"), &error);
    if (!text)
        return IrcConfigResult{std::nullopt, error};
    return parseIrcConfig(*text, path);
}

} // namespace jackwell
