#include "keeper/books_store.h"

#include "keeper/postgres_address.h"
#include "keeper/postgres_books.h"
#include "keeper/sqlite_books.h"

namespace jackwell::keeper {

std::unique_ptr<KeeperBooks> openKeeperBooks(const QString& books, Clock& clock,
                                             const BooksOpening& how, QString* error) {
    if (!isPostgresAddress(books))
        return SqliteBooks::open(books, error, how.purpose);
    const std::optional<PostgresAddress> address = parsePostgresAddress(books, error);
    if (!address)
        return nullptr;
    PostgresBooks::Options options;
    options.purpose = how.purpose;
    options.machine = how.machine;
    options.log = how.log;
    return PostgresBooks::open(*address, clock, std::move(options), error);
}

bool createKeeperBooks(const QString& books, Clock& clock, QString* error) {
    if (!isPostgresAddress(books))
        return SqliteBooks::create(books, error) != nullptr;
    const std::optional<PostgresAddress> address = parsePostgresAddress(books, error);
    return address && PostgresBooks::create(*address, clock, error);
}

} // namespace jackwell::keeper
