#pragma once

// The robot's books, wherever the configuration keeps them: an SQLite file that one robot keeps
// alone, or a postgresql:// address of books that robots share.

#include "books/keeper_books.h"

#include <QString>

#include <functional>
#include <memory>

namespace jackwell {

class Clock;

namespace books {

struct BooksOpening {
    BooksPurpose purpose = BooksPurpose::Serve;
    // The machine the robot serves as (see machineName()); shared books hold it to that name.
    QString machine;
    // Where shared books report their connection lost and found again.
    std::function<void(const QString&)> log;
};

// Opens the books `books` names; null with `error` set to one line naming them and the reason.
// An SQLite file must have been made with makeKeeperBooks(), and to serve, one robot keeps it
// alone; shared books are made on the first start to serve them.
std::unique_ptr<KeeperBooks> openKeeperBooks(const QString& books, Clock& clock,
                                             const BooksOpening& how, QString* error);

// Makes new, empty books where `books` says, as `making` asks; false, with `error` set to one
// line, when refused. Books are made only where none (for SQLite, no file) are, and an SQLite
// file made once is never made anew when missing. Shared books are left to the first start to
// serve them when made on a first run. `log` hears what was made.
bool makeKeeperBooks(const QString& books, Clock& clock, BooksMaking making,
                     const std::function<void(const QString&)>& log, QString* error);

} // namespace books
} // namespace jackwell
