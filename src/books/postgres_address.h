#pragma once

// Where books on a PostgreSQL server are: `postgresql://USER@HOST:PORT/DATABASE`, as the
// configuration's `books` line gives it. The password is never part of it: the server's client
// library takes it from PGPASSWORD or ~/.pgpass (PGPASSFILE).

#include <QString>

#include <optional>

namespace jackwell::books {

struct PostgresAddress {
    QString user;
    QString host;
    int port = 5432;
    QString database;
    QString sslMode;     // empty: the client library's default
    QString sslRootCert; // the authority that signed the server's certificate, if not the system's

    // The address as written, without anything secret; for messages and logs.
    QString text() const;
    bool operator==(const PostgresAddress&) const = default;
};

// True when `books` names books on a server rather than a file: it starts with
// "postgresql://" (or "postgres://").
bool isPostgresAddress(const QString& books);

// Reads an address; nullopt with `error` set to what is wrong with it. Besides the user, the
// host, the port and the database, it takes `?sslmode=...&sslrootcert=PATH`; a password in it is
// refused, so that it is never written where others may read it.
std::optional<PostgresAddress> parsePostgresAddress(const QString& text, QString* error);

} // namespace jackwell::books
