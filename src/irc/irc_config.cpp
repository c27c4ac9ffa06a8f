#include "irc/irc_config.h"

#include "irc/irc_message.h"

#include <QFile>

#include <algorithm>

namespace jackwell {

namespace {

constexpr qint64 kMaxFileBytes = 64 * 1024;
constexpr qsizetype kMaxServerLength = 253;
constexpr qsizetype kMaxPasswordLength = 400;
constexpr qsizetype kMaxShownValue = 40;

const QList<QByteArray> kKeys = {"server", "port", "tls", "nick", "password", "channel"};

// A value as an error message may show it: quoted and cut short.
QString shown(const QByteArray& value) {
    QString text = QString::fromUtf8(value.left(kMaxShownValue));
    if (value.size() > kMaxShownValue)
        text += QStringLiteral("...");
    return u'"' + text + u'"';
}

bool hasControl(const QByteArray& value) {
    return std::any_of(value.begin(), value.end(),
                       [](char c) { return uchar(c) < 0x20 || c == 0x7F; });
}

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
            return QStringLiteral("server %1 is not a host name or address").arg(shown(value));
        config.server = QString::fromLatin1(value);
    } else if (key == "port") {
        bool ok = false;
        const uint port = value.toUInt(&ok);
        if (!ok || port < 1 || port > 65535)
            return QStringLiteral("port %1 is not a number from 1 to 65535").arg(shown(value));
        config.port = quint16(port);
    } else if (key == "tls") {
        const QByteArray lower = value.toLower();
        if (lower != "yes" && lower != "no")
            return QStringLiteral("tls must be yes or no, not %1").arg(shown(value));
        config.tls = lower == "yes";
    } else if (key == "nick") {
        if (!isValidNickname(value, kIrcDefaultNickLength))
            return QStringLiteral("nick %1 is not a valid IRC nickname (a letter first, at most "
                                  "%2 letters, digits or -[]\\`_^{|})")
                .arg(shown(value))
                .arg(kIrcDefaultNickLength);
        config.nick = value;
    } else if (key == "password") {
        if (value.size() > kMaxPasswordLength)
            return QStringLiteral("password is longer than %1 characters").arg(kMaxPasswordLength);
        config.password = value;
    } else if (key == "channel") {
        if (!isChannelName(value))
            return QStringLiteral("channel %1 is not a channel name (# first, no blanks or commas)")
                .arg(shown(value));
        config.channel = value;
    }
    return {};
}

} // namespace

IrcConfigResult parseIrcConfig(const QByteArray& text, const QString& fileName) {
    auto failAt = [&](int line, const QString& what) {
        return IrcConfigResult{std::nullopt,
                               QStringLiteral("%1, line %2: %3").arg(fileName).arg(line).arg(what)};
    };
    IrcConfig config;
    QList<QByteArray> seen;
    QByteArray body = text;
    if (body.startsWith("\xEF\xBB\xBF"))
        body.remove(0, 3);
    const QList<QByteArray> lines = body.split('\n');
    int number = 0;
    for (const QByteArray& raw : lines) {
        ++number;
        const QByteArray line = raw.trimmed();
        if (line.isEmpty() || line.startsWith('#'))
            continue;
        const qsizetype equals = line.indexOf('=');
        if (equals < 0)
            return failAt(number,
                          QStringLiteral("expected \"key = value\", found %1").arg(shown(line)));
        const QByteArray key = line.left(equals).trimmed().toLower();
        const QByteArray value = line.mid(equals + 1).trimmed();
        if (!kKeys.contains(key))
            return failAt(number, QStringLiteral("unknown key %1 (known: server, port, tls, nick, "
                                                 "password, channel)")
                                      .arg(shown(key)));
        if (seen.contains(key))
            return failAt(
                number, QStringLiteral("%1 is given a second time").arg(QString::fromLatin1(key)));
        seen.append(key);
        if (value.isEmpty())
            return failAt(number, QStringLiteral("%1 has no value").arg(QString::fromLatin1(key)));
        if (hasControl(value))
            return failAt(
                number,
                QStringLiteral("%1 contains a control character").arg(QString::fromLatin1(key)));
        const QString fault = take(config, key, value);
        if (!fault.isEmpty())
            return failAt(number, fault);
    }
    for (const char* required : {"server", "nick"}) {
        if (!seen.contains(required))
            return IrcConfigResult{
                std::nullopt,
                QStringLiteral("%1: no \"%2 = ...\" line").arg(fileName, QLatin1String(required))};
    }
    if (config.tls && !seen.contains("port"))
        config.port = 6697;
    return IrcConfigResult{config, {}};
}

IrcConfigResult readIrcConfig(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return IrcConfigResult{
            std::nullopt, QStringLiteral("%1: cannot be read (%2)").arg(path, file.errorString())};
    const QByteArray text = file.read(kMaxFileBytes + 1);
    if (text.size() > kMaxFileBytes)
        return IrcConfigResult{std::nullopt, QStringLiteral("%1: larger than %2 bytes, not a chat "
                                                            "configuration")
                                                 .arg(path)
                                                 .arg(kMaxFileBytes)};
    return parseIrcConfig(text, path);
}

} // namespace jackwell
