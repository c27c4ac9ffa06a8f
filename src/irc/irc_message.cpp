#include "irc/irc_message.h"

#include <algorithm>

namespace jackwell {

namespace {

constexpr int kMaxCommandLetters = 32;
constexpr int kMaxMiddleParams = 14;
constexpr qsizetype kMaxChannelLength = 50;

bool isLetter(char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
}
bool isDigit(char c) {
    return c >= '0' && c <= '9';
}
bool isNickSpecial(char c) {
    return (c >= 0x5B && c <= 0x60) || (c >= 0x7B && c <= 0x7D);
}
bool isContinuationByte(char c) {
    return (uchar(c) & 0xC0) == 0x80;
}

bool isValidCommand(QByteArrayView command) {
    if (command.size() == 3 && std::all_of(command.begin(), command.end(), isDigit))
        return true;
    return !command.isEmpty() && command.size() <= kMaxCommandLetters &&
           std::all_of(command.begin(), command.end(), isLetter);
}

char foldNickChar(char c) {
    if (c >= 'A' && c <= 'Z')
        return char(c - 'A' + 'a');
    switch (c) {
    case '[':
        return '{';
    case ']':
        return '}';
    case '\\':
        return '|';
    case '~':
        return '^';
    default:
        return c;
    }
}

// Where to cut `text` so that at most `max` bytes stay and no UTF-8 sequence is
// split; an invalid sequence is cut at `max` all the same.
qsizetype utf8Cut(QByteArrayView text, qsizetype max) {
    if (text.size() <= max)
        return text.size();
    qsizetype cut = max;
    while (cut > 0 && cut > max - 3 && isContinuationByte(text[cut]))
        --cut;
    return isContinuationByte(text[cut]) || cut == 0 ? max : cut;
}

} // namespace

std::optional<IrcMessage> parseIrcLine(QByteArrayView line) {
    while (!line.isEmpty() && (line.back() == '\n' || line.back() == '\r'))
        line.chop(1);
    const qsizetype n = line.size();
    qsizetype pos = 0;
    auto skipBlanks = [&] {
        while (pos < n && line[pos] == ' ')
            ++pos;
    };
    auto word = [&] {
        const qsizetype start = pos;
        while (pos < n && line[pos] != ' ')
            ++pos;
        return line.sliced(start, pos - start);
    };

    skipBlanks();
    IrcMessage message;
    if (pos < n && line[pos] == '@') {
        ++pos;
        message.tags = parseIrcTags(word());
        skipBlanks();
    }
    if (pos < n && line[pos] == ':') {
        ++pos;
        message.prefix = word().toByteArray();
        if (message.prefix.isEmpty())
            return std::nullopt;
        skipBlanks();
    }
    const QByteArrayView command = word();
    if (!isValidCommand(command))
        return std::nullopt;
    message.command = command.toByteArray().toUpper();
    for (;;) {
        skipBlanks();
        if (pos >= n)
            break;
        if (line[pos] == ':' || message.params.size() == kMaxMiddleParams) {
            if (line[pos] == ':')
                ++pos;
            message.params.append(line.sliced(pos).toByteArray());
            break;
        }
        message.params.append(word().toByteArray());
    }
    return message;
}

std::optional<QByteArray> IrcMessage::tag(QByteArrayView key) const {
    for (const IrcTag& tag : tags) {
        if (tag.key == key)
            return tag.value;
    }
    return std::nullopt;
}

QList<IrcTag> parseIrcTags(QByteArrayView text) {
    QList<IrcTag> tags;
    qsizetype start = 0;
    while (start < text.size()) {
        qsizetype end = text.indexOf(';', start);
        if (end < 0)
            end = text.size();
        const QByteArrayView item = text.sliced(start, end - start);
        start = end + 1;
        const qsizetype equals = item.indexOf('=');
        IrcTag tag{item.first(equals < 0 ? item.size() : equals).toByteArray(), {}};
        if (tag.key.isEmpty())
            continue;
        if (equals >= 0) {
            const QByteArrayView raw = item.sliced(equals + 1);
            for (qsizetype i = 0; i < raw.size(); ++i) {
                if (raw[i] != '\\') {
                    tag.value.append(raw[i]);
                    continue;
                }
                if (++i >= raw.size())
                    break;
                switch (raw[i]) {
                case ':':
                    tag.value.append(';');
                    break;
                case 's':
                    tag.value.append(' ');
                    break;
                case 'r':
                    tag.value.append('\r');
                    break;
                case 'n':
                    tag.value.append('\n');
                    break;
                default:
                    tag.value.append(raw[i]);
                }
            }
        }
        tags.append(std::move(tag));
    }
    return tags;
}

QByteArray nickOf(QByteArrayView prefix) {
    qsizetype end = 0;
    while (end < prefix.size() && prefix[end] != '!' && prefix[end] != '@')
        ++end;
    return prefix.first(end).toByteArray();
}

bool isUserPrefix(QByteArrayView prefix) {
    return prefix.contains('!') || prefix.contains('@') || !prefix.contains('.');
}

bool isValidNickname(QByteArrayView nick, int maxLength) {
    if (nick.isEmpty() || nick.size() > maxLength)
        return false;
    if (!isLetter(nick[0]) && !isNickSpecial(nick[0]))
        return false;
    return std::all_of(nick.begin() + 1, nick.end(), [](char c) {
        return isLetter(c) || isDigit(c) || isNickSpecial(c) || c == '-';
    });
}

bool isChannelName(QByteArrayView name) {
    if (name.size() < 2 || name.size() > kMaxChannelLength)
        return false;
    if (!QByteArrayView("#&+!").contains(name[0]))
        return false;
    return std::none_of(name.begin(), name.end(), [](char c) {
        return uchar(c) < 0x20 || c == ' ' || c == ',' || c == 0x7F;
    });
}

bool sameNickname(QByteArrayView a, QByteArrayView b) {
    if (a.size() != b.size())
        return false;
    for (qsizetype i = 0; i < a.size(); ++i) {
        if (foldNickChar(a[i]) != foldNickChar(b[i]))
            return false;
    }
    return true;
}

QByteArray ircLine(QByteArrayView command, const QList<QByteArray>& middle,
                   std::optional<QByteArrayView> trailing) {
    QByteArray line = command.toByteArray();
    for (const QByteArray& param : middle) {
        QByteArray clean;
        for (char c : param) {
            if (c != ' ' && c != '\r' && c != '\n' && c != '\0')
                clean.append(c);
        }
        while (clean.startsWith(':'))
            clean.remove(0, 1);
        if (!clean.isEmpty())
            line.append(' ').append(clean);
    }
    if (trailing) {
        line.append(" :");
        for (char c : *trailing)
            line.append(c == '\r' || c == '\n' || c == '\0' ? ' ' : c);
    }
    line.truncate(utf8Cut(line, kIrcMaxLineBytes - 2));
    line.append("\r\n");
    return line;
}

QList<QByteArray> splitUtf8(QByteArrayView text, qsizetype maxBytes) {
    maxBytes = std::max<qsizetype>(maxBytes, 4);
    QList<QByteArray> pieces;
    while (!text.isEmpty()) {
        qsizetype cut = utf8Cut(text, maxBytes);
        // Servers drop blanks at a line's end: leave them to the next piece.
        qsizetype kept = cut;
        while (cut < text.size() && kept > 0 && text[kept - 1] == ' ')
            --kept;
        if (kept > 0)
            cut = kept;
        pieces.append(text.first(cut).toByteArray());
        text = text.sliced(cut);
    }
    return pieces;
}

} // namespace jackwell
