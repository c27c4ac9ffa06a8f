#pragma once

// Where books on a PostgreSQL server are: `postgresql://USER@HOST:PORT/DATABASE`, as the
// configuration's `books` line gives it. The password is never part of it: the server's client
// library takes it from PGPASSWORD or ~/.pgpass (PGPASSFILE).
//
// Books kept on a primary server with a standby list both, tried in turn, and say which may serve:
// `postgresql://USER@PRIMARY:5432,STANDBY:5432/DATABASE?target_session_attrs=read-write` reaches
// whichever of them takes writes, the standby once it has been promoted.

#include <QList>
#include <QString>

#include <optional>

namespace jackwell::books {

struct PostgresAddress {
    // The port of a server whose address names none.
    static constexpr int kDefaultPort = 5432;

    QString user;
    QString host;
    int port = kDefaultPort;
    QString database;
    QString sslMode;     // empty: the client library's default
    QString sslRootCert; // the authority that signed the server's certificate, if not the system's
    // Further servers, tried in turn after the first.
    struct Server {
        QString host;
        int port = kDefaultPort;
        bool operator==(const Server&) const = default;
    };
    QList<Server> others;
    QString targetSessionAttrs; // "read-write" or "primary": only a server that takes writes

    // The address as written, without anything secret; for messages and logs.
    QString text() const;
    bool operator==(const PostgresAddress&) const = default;
};

// True when `books` names books on a server rather than a file: it starts with
// "postgresql://" (or "postgres://").
bool isPostgresAddress(const QString& books);

// Reads an address; nullopt with `error` set to what is wrong with it. Besides the user, the
// hosts, their ports and the database, it takes `?sslmode=...&sslrootcert=PATH` and
// `target_session_attrs=...`; a password in it is refused, so that it is never written where
// others may read it.
std::optional<PostgresAddress> parsePostgresAddress(const QString& text, QString* error);

} // namespace jackwell::books
