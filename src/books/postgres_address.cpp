#include "books/postgres_address.h"

#include <QStringList>
#include <QUrl>
#include <QUrlQuery>

#include <algorithm>

namespace jackwell::books {

namespace {

const QStringList kSslModes = {"disable", "allow", "prefer", "require", "verify-ca", "verify-full"};
// The robot writes: only a server that takes writes may serve it ("any" takes the first reached).
const QStringList kSessionAttrs = {"read-write", "primary", "any"};

// Names the server takes without quoting: letters, digits, and a few marks.
bool isPlainName(const QString& name) {
    if (name.isEmpty() || name.size() > 63)
        return false;
    for (const QChar c : name) {
        if (!(c.isLetterOrNumber() || c == u'_' || c == u'-' || c == u'.' || c == u'$'))
            return false;
    }
    return true;
}

} // namespace

QString PostgresAddress::text() const {
    QStringList servers = {QStringLiteral("%1:%2").arg(host).arg(port)};
    for (const Server& other : others)
        servers << QStringLiteral("%1:%2").arg(other.host).arg(other.port);
    return QStringLiteral("postgresql://%1@%2/%3").arg(user, servers.join(u','), database);
}

bool isPostgresAddress(const QString& books) {
    return books.startsWith(QLatin1String("postgresql://")) ||
           books.startsWith(QLatin1String("postgres://"));
}

std::optional<PostgresAddress> parsePostgresAddress(const QString& text, QString* error) {
    auto refuse = [&](const QString& why) {
        *error = why;
        return std::nullopt;
    };
    const QString form = QStringLiteral("postgresql://USER@HOST:PORT/DATABASE");
    // Hosts after the first (HOST:PORT,HOST:PORT) are read each as the one host of an address of
    // its own; the first is read with the rest.
    const qsizetype hostsAt = text.indexOf(u'@') + 1;
    qsizetype hostsEnd = text.indexOf(u'/', hostsAt);
    if (hostsEnd < 0) // no database: the hosts are read all the same, to say what is missing
        hostsEnd = text.size();
    const QStringList hosts = text.mid(hostsAt, hostsEnd - hostsAt).split(u',');
    QList<PostgresAddress::Server> others;
    for (qsizetype i = 1; i < hosts.size(); ++i) {
        const QUrl other(QStringLiteral("postgresql://u@%1/d").arg(hosts[i]), QUrl::StrictMode);
        const int port = other.port(PostgresAddress::kDefaultPort);
        if (!other.isValid() || other.host().isEmpty() || port < 1 || other.path() != u"/d")
            return refuse(QStringLiteral("the address of the books must read %1, with more "
                                         "servers as HOST:PORT,HOST:PORT")
                              .arg(form));
        others.append({other.host(), port});
    }
    const QString first =
        hosts.size() > 1 ? text.left(hostsAt) + hosts.first() + text.mid(hostsEnd) : text;
    const QUrl url(first, QUrl::StrictMode);
    if (!url.isValid() || !isPostgresAddress(text))
        return refuse(QStringLiteral("the address of the books must read %1").arg(form));
    if (!url.password().isEmpty() || url.userInfo().contains(u':'))
        return refuse(QStringLiteral("the address of the books holds a password; put it in "
                                     "~/.pgpass or PGPASSWORD instead"));
    PostgresAddress address;
    address.others = others;
    address.user = url.userName();
    address.host = url.host();
    address.port = url.port(PostgresAddress::kDefaultPort);
    address.database = url.path().mid(1);
    if (address.user.isEmpty() || !isPlainName(address.user))
        return refuse(QStringLiteral("the address of the books needs a user name: %1").arg(form));
    if (address.host.isEmpty())
        return refuse(QStringLiteral("the address of the books needs a host: %1").arg(form));
    if (address.port < 1) // the address would not read beyond 65535
        return refuse(QStringLiteral("the port of the books' server must be 1 to 65535"));
    if (!url.path().startsWith(u'/') || !isPlainName(address.database))
        return refuse(QStringLiteral("the address of the books needs a database: %1").arg(form));
    if (url.hasFragment())
        return refuse(QStringLiteral("the address of the books ends with its database"));
    const QUrlQuery query(url);
    for (const auto& [key, value] : query.queryItems(QUrl::FullyDecoded)) {
        if (key == QLatin1String("sslmode") && kSslModes.contains(value)) {
            address.sslMode = value;
        } else if (key == QLatin1String("sslrootcert") && value.startsWith(u'/') &&
                   !value.contains(u' ') && !value.contains(u'\'')) {
            address.sslRootCert = value;
        } else if (key == QLatin1String("target_session_attrs") && kSessionAttrs.contains(value)) {
            address.targetSessionAttrs = value;
        } else {
            return refuse(QStringLiteral("the address of the books takes only sslmode (%1), "
                                         "sslrootcert (an absolute path) and "
                                         "target_session_attrs (%2) after its database")
                              .arg(kSslModes.join(u'|'), kSessionAttrs.join(u'|')));
        }
    }
    return address;
}

} // namespace jackwell::books
