#pragma once

// IRC lines as the chat network speaks them: reading one received line into
// its parts, building a line to send, and the rules for nicknames and
// channel names.

#include <QByteArray>
#include <QByteArrayView>
#include <QList>

#include <optional>

namespace jackwell {

// The longest line the network accepts, CR LF included.
constexpr qsizetype kIrcMaxLineBytes = 512;
// Nicknames longer than this are refused until the server names its own limit.
constexpr int kIrcDefaultNickLength = 30;
// Nicknames this long are far beyond any server's limit: no longer one is taken, from a
// server's welcome or from a sender.
constexpr int kIrcLongestNickLength = 200;

// One message tag ("account=alice" of "@account=alice;msgid=1 ..."), its value unescaped.
struct IrcTag {
    QByteArray key;
    QByteArray value; // empty for a tag without a value
    bool operator==(const IrcTag&) const = default;
};

struct IrcMessage {
    QList<IrcTag> tags;
    QByteArray prefix;  // "nick!user@host" or a server name; empty when absent
    QByteArray command; // upper case letters or three digits
    QList<QByteArray> params;

    // The last parameter, or empty.
    QByteArray last() const { return params.isEmpty() ? QByteArray() : params.last(); }
    QByteArray param(qsizetype i) const { return i < params.size() ? params[i] : QByteArray(); }
    // The value of the tag `key`; nullopt when the message does not carry it.
    std::optional<QByteArray> tag(QByteArrayView key) const;
};

// Reads one line (without or with its CR LF), its tags included. Returns
// nothing for an empty line or one without a well-formed command.
std::optional<IrcMessage> parseIrcLine(QByteArrayView line);

// The tags of a tag list ("account=alice;msgid=1", without the '@'), each value unescaped
// (\: is ';', \s a blank, \\ a backslash, \r and \n CR and LF; a lone backslash is dropped).
QList<IrcTag> parseIrcTags(QByteArrayView text);

// The nickname part of a prefix ("bob" of "bob!~bob@host"); a server name stays whole.
QByteArray nickOf(QByteArrayView prefix);
// True when the prefix names a user rather than a server.
bool isUserPrefix(QByteArrayView prefix);

// A nickname the network can carry: a letter or one of []\`_^{|} first, then
// letters, digits, those and '-'; 1 to maxLength characters.
bool isValidNickname(QByteArrayView nick, int maxLength = kIrcDefaultNickLength);
// A channel name: '#', '&', '+' or '!' first, at most 50 characters, no
// blank, comma, BEL or control character.
bool isChannelName(QByteArrayView name);
// Nicknames compared the network's way: case-blind, with []\~ equal to {}|^.
bool sameNickname(QByteArrayView a, QByteArrayView b);

// Builds a line ready to write: the command, the middle parameters and an
// optional trailing parameter, ended by CR LF. CR, LF and NUL never reach the
// line (a blank takes their place), a middle parameter loses its blanks, and
// the line is cut on a UTF-8 boundary so that it never passes kIrcMaxLineBytes.
QByteArray ircLine(QByteArrayView command, const QList<QByteArray>& middle,
                   std::optional<QByteArrayView> trailing = std::nullopt);

// Cuts text into pieces of at most maxBytes bytes each, never inside a UTF-8
// sequence, and never so that a piece ends in a blank (servers drop those)
// unless the piece is nothing else or the text ends there. An empty text
// gives no piece.
QList<QByteArray> splitUtf8(QByteArrayView text, qsizetype maxBytes);

} // namespace jackwell
