#include "books/books_store.h"

#include "books/postgres_address.h"
#include "books/postgres_books.h"
#include "books/sqlite_books.h"

namespace jackwell::books {

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

bool makeKeeperBooks(const QString& books, Clock& clock, BooksMaking making,
                     const std::function<void(const QString&)>& log, QString* error) {
    if (!isPostgresAddress(books))
        return SqliteBooks::make(books, making, log, error);
    if (making == BooksMaking::FirstRun)
        return true;
    const std::optional<PostgresAddress> address = parsePostgresAddress(books, error);
    if (!address || !PostgresBooks::create(*address, clock, error))
        return false;
    log(QStringLiteral("made new books in %1").arg(books));
    return true;
}

} // namespace jackwell::books
