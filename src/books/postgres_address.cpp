#include "books/postgres_address.h"

#include <QStringList>
#include <QUrl>
#include <QUrlQuery>

namespace jackwell::books {

namespace {

const QStringList kSslModes = {"disable", "allow", "prefer", "require", "verify-ca", "verify-full"};

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
    return QStringLiteral("postgresql://%1@%2:%3/%4").arg(user, host).arg(port).arg(database);
}

bool isPostgresAddress(const QString& books) {
    return books.startsWith(QLatin1String("postgresql://")) ||
           books.startsWith(QLatin1String("postgres://"));
}

std::optional<PostgresAddress> parsePostgresAddress(const QString& text, QString* error) {
    const QUrl url(text, QUrl::StrictMode);
    auto refuse = [&](const QString& why) {
        *error = why;
        return std::nullopt;
    };
    const QString form = QStringLiteral("postgresql://USER@HOST:PORT/DATABASE");
    if (!url.isValid() || !isPostgresAddress(text))
        return refuse(QStringLiteral("the address of the books must read %1").arg(form));
    if (!url.password().isEmpty() || url.userInfo().contains(u':'))
        return refuse(QStringLiteral("the address of the books holds a password; put it in "
                                     "~/.pgpass or PGPASSWORD instead"));
    PostgresAddress address;
    address.user = url.userName();
    address.host = url.host();
    address.port = url.port(5432);
    address.database = url.path().mid(1);
    if (address.user.isEmpty() || !isPlainName(address.user))
        return refuse(QStringLiteral("the address of the books needs a user name: %1").arg(form));
    if (address.host.isEmpty())
        return refuse(QStringLiteral("the address of the books needs a host: %1").arg(form));
    if (address.port < 1 || address.port > 65535)
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
        } else {
            return refuse(QStringLiteral("the address of the books takes only sslmode (%1) and "
                                         "sslrootcert (an absolute path) after its database")
                              .arg(kSslModes.join(u'|')));
        }
    }
    return address;
}

} // namespace jackwell::books
