#pragma once

#include "machine/books.h"
#include "machine/memory_books.h"

#include <QDateTime>
#include <QIODevice>
#include <QString>

#include <functional>
#include <memory>
#include <optional>
#include <vector>

namespace jackwell::books {
class SqliteBooks;
}

namespace jackwell::world {

// The embedded world's machinekeeper keeps its books here: in a file of the player's data
// folder, in the same store and under the same rules as the network robot's (an SQLite file in
// WAL mode, each change one transaction, whenDurable() saying when it is safe on the disk), so
// that credits and games outlast the program; or in memory, when no file is given (the tests,
// the demo) or the file cannot be used, which the player is then told.
class RivetBooks : public machine::Books {
public:
    // Opens the file at a path in a mode, only to see that it can be: empty when it can, else
    // the system's reason ("Permission denied").
    using TryOpen = std::function<QString(const QString& path, QIODevice::OpenMode mode)>;

    // Without `tryOpen`, files are tried with QFile.
    explicit RivetBooks(TryOpen tryOpen = {});
    ~RivetBooks() override;

    // Opens the books at `path`, making them (and their folder) on the first start. A file that
    // is damaged or no books of this program is never replaced: it is moved aside to
    // PATH.damaged-YYYYMMDD-HHMMSS (`now`, with its log files) and new books are made. Books
    // that cannot be opened or written (their permissions), books kept by another running
    // Jackwell and books of a newer program are left as they are, and the books stay in memory.
    // Returns what the player must be told, naming the file; empty when the books opened as they
    // should.
    QString openFile(const QString& path, const QDateTime& now);
    // What the player must be told of books that failed since the last call, naming the file;
    // empty when all went well. A record the file cannot give leaves the file as it is: the
    // books go on in memory, as for a file that cannot be opened.
    QString takeNotice();

    std::optional<machine::PlayerRecord> load(const QString& player) override;
    bool save(const QString& player, const machine::PlayerRecord& record) override;
    bool commitGame(const QString& player, const machine::GameOutcome& outcome,
                    const machine::PlayerRecord& after) override;

    // Runs `then` from the event loop once every change so far is safe on the disk, with false
    // when that could not be made sure of; at once, with true, for books in memory.
    void whenDurable(std::function<void(bool durable)> then);
    // Every game booked for `player`, oldest first; nullopt, with `error` set, when the books
    // cannot be read.
    std::optional<std::vector<machine::GameOutcome>> games(const QString& player, QString* error);

    // The file the books are kept in; empty while they are in memory.
    QString filePath() const;
    // The books in memory (what is booked while no file is open).
    machine::MemoryBooks& memory() { return memory_; }

private:
    QString setAside(const QString& path, const QDateTime& now, QString* aside);
    QString createFile(const QString& path);

    TryOpen tryOpen_;
    machine::MemoryBooks memory_;
    std::unique_ptr<books::SqliteBooks> file_;
    QString notice_;
};

} // namespace jackwell::world
