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
//   sasl     = ACCOUNT PASSWORD  (optional; log in to the network's services with SASL PLAIN;
//                                 "external": with the client certificate, SASL EXTERNAL)
//   tlscert  = client.pem        (optional, with tls; the client certificate shown)
//   tlskey   = client.key        (with tlscert; its private key, PEM, not encrypted)
//   tlsca    = authority.pem     (optional, with tls; certificates of a private authority
//                                 trusted besides the system's)
//
// Files are named relative to the configuration's folder. A login that was asked for and
// does not succeed ends the attempt: the program never goes on logged out.

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <optional>

namespace jackwell {

class KeyValueFile;

struct IrcConfig {
    enum class Sasl { None, Plain, External };

    QString server;
    quint16 port = 6667;
    bool tls = false;
    QByteArray nick;
    QByteArray password; // empty: none
    QByteArray channel;  // empty: none
    Sasl sasl = Sasl::None;
    QByteArray saslAccount; // PLAIN only
    QByteArray saslPassword;
    QString tlsCertPath; // empty: none
    QString tlsKeyPath;
    QString tlsCaPath;

    // Whether the file holds a secret that must not be readable by others.
    bool holdsSecret() const { return !password.isEmpty() || sasl == Sasl::Plain; }
};

struct IrcConfigResult {
    std::optional<IrcConfig> config;
    QString error;        // one line naming the file, the line and the fault; empty on success
    QStringList warnings; // lines for the operator, such as a secret others can read
};

inline const QString kChatConfigFileName = QStringLiteral("Chat.txt");

// Reads the text of a configuration; `fileName` is only used in the error. Files it names are
// taken relative to `baseDir`.
IrcConfigResult parseIrcConfig(const QByteArray& text, const QString& fileName,
                               const QString& baseDir = {});
// Reads the lines that other readers of `file` left, as the lines of Chat.txt.
IrcConfigResult parseIrcConfig(KeyValueFile& file, const QString& baseDir = {});
// The warning for a configuration file at `path` that holds a secret others may read; empty
// when there is none.
QString secretFileWarning(const IrcConfig& config, const QString& path);
// Reads the configuration file at `path`.
IrcConfigResult readIrcConfig(const QString& path);

} // namespace jackwell
