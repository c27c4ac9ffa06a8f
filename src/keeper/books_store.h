#pragma once

// The robot's books, wherever the configuration keeps them: an SQLite file that one robot keeps
// alone, or a postgresql:// address of books that robots share.

#include "keeper/keeper_books.h"

#include <QString>

#include <functional>
#include <memory>

namespace jackwell {

class Clock;

namespace keeper {

struct BooksOpening {
    BooksPurpose purpose = BooksPurpose::Serve;
    // The machine the robot serves as (see machineName()); shared books hold it to that name.
    QString machine;
    // Where shared books report their connection lost and found again.
    std::function<void(const QString&)> log;
};

// Opens the books `books` names; null with `error` set to one line naming them and the reason.
// An SQLite file must have been made with createKeeperBooks(); shared books are made on the
// first start to serve them.
std::unique_ptr<KeeperBooks> openKeeperBooks(const QString& books, Clock& clock,
                                             const BooksOpening& how, QString* error);

// Makes new, empty books where `books` says; refuses a place where books (or for SQLite, any
// file) already are.
bool createKeeperBooks(const QString& books, Clock& clock, QString* error);

} // namespace keeper
} // namespace jackwell
