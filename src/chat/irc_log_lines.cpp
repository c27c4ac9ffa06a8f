#include "chat/irc_log_lines.h"

#include "irc/irc_numerics.h"

#include <QStringDecoder>

namespace jackwell {

namespace {

constexpr char kCtcpMark = '\x01';
constexpr char kColour = '\x03';

bool isFormattingCode(char c) {
    return c == '\x02' || c == '\x0F' || c == '\x11' || c == '\x16' || c == '\x1D' || c == '\x1E' ||
           c == '\x1F';
}

bool isDigit(char c) {
    return c >= '0' && c <= '9';
}

// Skips up to two digits at `pos`; returns the position after them.
qsizetype skipDigits(QByteArrayView text, qsizetype pos) {
    for (int i = 0; i < 2 && pos < text.size() && isDigit(text[pos]); ++i)
        ++pos;
    return pos;
}

QByteArray stripFormatting(QByteArrayView text) {
    QByteArray out;
    out.reserve(text.size());
    for (qsizetype i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (c == kColour) {
            // \x03 [fg[,bg]]: one or two digits each
            qsizetype next = skipDigits(text, i + 1);
            if (next > i + 1 && next + 1 < text.size() && text[next] == ',' &&
                isDigit(text[next + 1]))
                next = skipDigits(text, next + 1);
            i = next - 1;
        } else if (isFormattingCode(c) || c == kCtcpMark) {
            continue;
        } else {
            out.append(uchar(c) < 0x20 || c == 0x7F ? ' ' : c);
        }
    }
    return out;
}

QString decode(QByteArrayView bytes) {
    QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    QString text = utf8(bytes);
    if (utf8.hasError())
        text = QString::fromLatin1(bytes);
    return text;
}

QString withReason(const QString& what, const IrcMessage& message, qsizetype reasonAt) {
    const QString reason = displayText(message.param(reasonAt));
    return reason.isEmpty() ? what : what + QStringLiteral(" (") + reason + u')';
}

QString system(const QString& text) {
    return QStringLiteral("<system>: ") + text;
}

std::optional<QString> privateOrChannel(const IrcMessage& message, const QString& sender) {
    if (message.params.size() < 2)
        return std::nullopt;
    const QByteArray& target = message.params[0];
    const QByteArray& raw = message.params[1];
    QString text;
    if (raw.startsWith(kCtcpMark)) {
        QByteArray body = raw.mid(1);
        if (body.endsWith(kCtcpMark))
            body.chop(1);
        const qsizetype blank = body.indexOf(' ');
        const QByteArray verb = blank < 0 ? body : body.left(blank);
        if (verb != "ACTION")
            return system(sender + QStringLiteral(" sent a CTCP ") + displayText(verb) +
                          QStringLiteral(" request"));
        text = QStringLiteral("* ") + sender;
        if (blank >= 0)
            text += u' ' + displayText(body.mid(blank + 1));
    } else {
        text = displayText(raw);
    }
    if (isChannelName(target))
        return sender + QStringLiteral(": ") + text;
    return QStringLiteral("ESP from ") + sender + QStringLiteral(": ") + text;
}

// A numbered reply: the first parameter is our own nickname; the others are
// shown, the last one after a colon.
std::optional<QString> numericReply(const IrcMessage& message) {
    if (message.params.size() < 2)
        return std::nullopt;
    QStringList middle;
    for (qsizetype i = 1; i + 1 < message.params.size(); ++i)
        middle.append(displayText(message.params[i]));
    const QString last = displayText(message.params.last());
    if (middle.isEmpty())
        return system(last);
    return system(middle.join(u' ') + QStringLiteral(": ") + last);
}

} // namespace

bool isGreetingNumeric(QByteArrayView command) {
    if (!irc_numeric::isNumeric(command))
        return false;
    const int number = command.toByteArray().toInt();
    return (number >= 1 && number <= 99) || (number >= 250 && number <= 266) || number == 372 ||
           number == 375 || number == 376 || number == 422 || number == 396 || number == 900 ||
           number == 903;
}

QString displayText(QByteArrayView text) {
    return decode(stripFormatting(text));
}

std::optional<QString> chatLogLine(const IrcMessage& message) {
    const QByteArray& command = message.command;
    const QString sender = displayText(nickOf(message.prefix));
    const bool fromUser = !message.prefix.isEmpty() && isUserPrefix(message.prefix);
    if (irc_numeric::isNumeric(command))
        return numericReply(message);
    if (command == "PRIVMSG") {
        if (!fromUser)
            return message.params.size() < 2 ? std::nullopt
                                             : std::optional(system(displayText(message.last())));
        return privateOrChannel(message, sender);
    }
    if (command == "NOTICE") {
        if (message.params.size() < 2)
            return std::nullopt;
        const QString text = displayText(message.last());
        return system(fromUser ? u'-' + sender + QStringLiteral("- ") + text : text);
    }
    if (command == "ERROR")
        return system(QStringLiteral("Error from the server: ") + displayText(message.last()));
    if (!fromUser)
        return std::nullopt;
    if (command == "JOIN" && !message.params.isEmpty())
        return system(sender + QStringLiteral(" joined ") + displayText(message.params[0]));
    if (command == "PART" && !message.params.isEmpty())
        return system(withReason(sender + QStringLiteral(" left ") + displayText(message.params[0]),
                                 message, 1));
    if (command == "QUIT")
        return system(withReason(sender + QStringLiteral(" quit"), message, 0));
    if (command == "NICK" && !message.params.isEmpty())
        return system(sender + QStringLiteral(" is now known as ") +
                      displayText(message.params[0]));
    if (command == "KICK" && message.params.size() >= 2)
        return system(
            withReason(displayText(message.params[1]) + QStringLiteral(" was kicked from ") +
                           displayText(message.params[0]) + QStringLiteral(" by ") + sender,
                       message, 2));
    if (command == "TOPIC" && message.params.size() >= 2)
        return system(sender + QStringLiteral(" set the topic of ") +
                      displayText(message.params[0]) + QStringLiteral(" to: ") +
                      displayText(message.params[1]));
    return std::nullopt;
}

} // namespace jackwell
