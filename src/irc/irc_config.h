#pragma once

// Chat.txt: which IRC network the chat library talks to. One `key = value` per
// line; blank lines and lines starting with '#' are ignored.
//
//   server   = irc.example.net   (required)
//   port     = 6667              (default 6667, or 6697 with TLS)
//   tls      = no                (yes: encrypted, the certificate is checked)
//   nick     = Player            (required; a valid IRC nickname)
//   password = secret            (optional server password)
//   channel  = #casino           (optional; joined on every connect)

#include <QByteArray>
#include <QString>

#include <optional>

namespace jackwell {

class KeyValueFile;

struct IrcConfig {
    QString server;
    quint16 port = 6667;
    bool tls = false;
    QByteArray nick;
    QByteArray password; // empty: none
    QByteArray channel;  // empty: none
};

struct IrcConfigResult {
    std::optional<IrcConfig> config;
    QString error; // one line naming the file, the line and the fault; empty on success
};

inline const QString kChatConfigFileName = QStringLiteral("Chat.txt");

// Reads the text of a configuration; `fileName` is only used in the error.
IrcConfigResult parseIrcConfig(const QByteArray& text, const QString& fileName);
// Reads the lines that other readers of `file` left, as the lines of Chat.txt.
IrcConfigResult parseIrcConfig(KeyValueFile& file);
// Reads the configuration file at `path`.
IrcConfigResult readIrcConfig(const QString& path);

} // namespace jackwell
