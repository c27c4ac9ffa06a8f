#include "books/sqlite_books.h"

#include <QAtomicInteger>
#include <QDateTime>
#include <QFile>
#include <QFileInfo>
#include <QLockFile>
#include <QSqlError>
#include <QSqlQuery>
#include <QStringList>
#include <QVariant>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace jackwell::books {

namespace {

// Another process that keeps the file locked makes a change wait this long before it is refused
// (nothing booked). Short: a game waits for every change queued before it.
constexpr int kBusyTimeoutMs = 1000;

QString nextConnectionName() {
    static QAtomicInteger<int> counter;
    return QStringLiteral("jackwell-books-%1").arg(counter.fetchAndAddRelaxed(1));
}

} // namespace

std::unique_ptr<SqliteBooks> SqliteBooks::connect(const QString& path, QString* error,
                                                  Refusal* refusal) {
    if (!QSqlDatabase::isDriverAvailable(QStringLiteral("QSQLITE"))) {
        *error = QStringLiteral("Qt's SQLite driver is missing (Debian: libqt6sql6-sqlite)");
        *refusal = Refusal::Unavailable;
        return nullptr;
    }
    std::unique_ptr<SqliteBooks> books(new SqliteBooks(
        QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), nextConnectionName()), path));
    books->db_.setDatabaseName(path);
    if (!books->db_.open()) {
        *error = QStringLiteral("%1: %2").arg(path, books->db_.lastError().text());
        *refusal = Refusal::Damaged;
        return nullptr;
    }
    return books;
}

std::unique_ptr<SqliteBooks> SqliteBooks::open(const QString& path, QString* error, Purpose purpose,
                                               Refusal* refusal) {
    Refusal ignored{};
    if (!refusal)
        refusal = &ignored;
    std::unique_ptr<QLockFile> lock;
    if (purpose == Purpose::Serve && !(lock = lockFor(path, error, refusal)))
        return nullptr;
    return open(path, error, purpose, std::move(lock), refusal);
}

std::unique_ptr<SqliteBooks> SqliteBooks::open(const QString& path, QString* error, Purpose purpose,
                                               std::unique_ptr<QLockFile> lock, Refusal* refusal) {
    const QFileInfo file(path);
    *refusal = Refusal::Damaged;
    if (!file.exists()) {
        *error = QStringLiteral("%1: no books there (new books are made with "
                                "jackwell-keeper --init CONFIG)")
                     .arg(path);
        *refusal = Refusal::Missing;
        return nullptr;
    }
    if (!file.isFile()) {
        *error = QStringLiteral("%1: not a regular file, not books").arg(path);
        return nullptr;
    }
    if (file.size() == 0) {
        *error = QStringLiteral("%1: the file is empty, not books (new books are made with "
                                "jackwell-keeper --init CONFIG)")
                     .arg(path);
        return nullptr;
    }
    std::unique_ptr<SqliteBooks> books = connect(path, error, refusal);
    if (!books)
        return nullptr;
    books->lock_ = std::move(lock);
    if (purpose == Purpose::Serve && !books->lockDatabaseFile(error)) {
        *refusal = Refusal::Unavailable;
        return nullptr;
    }
    // The file as opened: bringing its layout up to date is a change like any other.
    books->identity_ = identityOf(path).value_or(FileIdentity{});
    QString why;
    bool opened = books->configure(&why) && books->checkSchema(&why, refusal) &&
                  books->checkIntegrity(purpose, &why);
    if (opened && purpose == Purpose::Serve &&
        (!books->checkWritable(&why) || !books->upgradeSchema(&why))) {
        opened = false;
        *refusal = Refusal::Unavailable;
    }
    if (!opened) {
        *error = QStringLiteral("%1: %2").arg(path, why);
        return nullptr;
    }
    if (identityOf(path) != books->identity_) {
        *error =
            QStringLiteral("%1: the file went away or was replaced while it was opened").arg(path);
        *refusal = Refusal::Missing;
        return nullptr;
    }
    return books;
}

std::unique_ptr<SqliteBooks> SqliteBooks::create(const QString& path, QString* error) {
    if (QFileInfo(path).exists() || QFileInfo(path).isSymLink()) {
        *error = QStringLiteral("%1: a file is already there; new books are made only where "
                                "there is none")
                     .arg(path);
        return nullptr;
    }
    // Taken before the file is made, so that nothing is made beside a robot that serves there.
    Refusal refusal{};
    std::unique_ptr<QLockFile> lock = lockFor(path, error, &refusal);
    if (!lock)
        return nullptr;
    {
        std::unique_ptr<SqliteBooks> books = connect(path, error, &refusal);
        if (!books)
            return nullptr;
        QString why;
        bool made = books->configure(&why);
        if (made) {
            // Set up by the first statement, which made the file.
            books->identity_ = identityOf(path).value_or(FileIdentity{});
            made = books->createSchema(&why);
        }
        if (!made) {
            *error = QStringLiteral("%1: %2").arg(path, why);
            books.reset();
            QFile::remove(path);
            return nullptr;
        }
    }
    return open(path, error, Purpose::Serve, std::move(lock), &refusal);
}

std::unique_ptr<QLockFile> SqliteBooks::lockFor(const QString& path, QString* error,
                                                Refusal* refusal) {
    auto lock = std::make_unique<QLockFile>(path + QStringLiteral(".lock"));
    if (lock->tryLock(0))
        return lock;
    *refusal = lock->error() == QLockFile::LockFailedError ? Refusal::InUse : Refusal::Unavailable;
    switch (lock->error()) {
    case QLockFile::LockFailedError:
        *error = QStringLiteral("%1 is kept by another running robot").arg(path);
        break;
    case QLockFile::PermissionError:
        *error = QStringLiteral("%1.lock: the lock file cannot be made there (permission denied)")
                     .arg(path);
        break;
    default:
        *error = QStringLiteral("%1.lock: the lock file cannot be made").arg(path);
        break;
    }
    return nullptr;
}

// The lock file is named after the path it was opened by; another path to the same file (a
// symbolic or hard link) would get a lock of its own. So the database file itself is locked too:
// flock(), which SQLite's own locks (fcntl) do not touch, held until the books are closed.
bool SqliteBooks::lockDatabaseFile(QString* error) {
    const int fd = ::open(QFile::encodeName(path_).constData(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        *error = QStringLiteral("%1: cannot be opened to lock it").arg(path_);
        return false;
    }
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        ::close(fd);
        *error = QStringLiteral("%1 is kept by another running robot").arg(path_);
        return false;
    }
    fileLock_ = fd;
    return true;
}

bool SqliteBooks::make(const QString& path, BooksMaking making, const Log& log, QString* error) {
    const QString mark = path + QStringLiteral(".made");
    const bool there = QFileInfo::exists(path) || QFileInfo(path).isSymLink();
    if (making == BooksMaking::FirstRun && there)
        return true;
    if (!there && QFileInfo::exists(mark)) {
        *error = QStringLiteral("%1: books were made here before (see %2) and are missing now; "
                                "restore them from a backup, or remove %2 to make empty books")
                     .arg(path, mark);
        return false;
    }
    if (!create(path, error))
        return false;
    QFile made(mark);
    if (!made.open(QIODevice::WriteOnly) ||
        made.write(QStringLiteral("books made %1\n")
                       .arg(QDateTime::currentDateTime().toString(Qt::ISODate))
                       .toUtf8()) < 0 ||
        !made.flush())
        log(QStringLiteral("%1: cannot leave the mark of new books (%2); books missing later "
                           "could be made anew")
                .arg(mark, made.errorString()));
    log(QStringLiteral("made new books in %1").arg(path));
    return true;
}

SqliteBooks::SqliteBooks(QSqlDatabase db, QString path)
    : db_(std::move(db))
    , path_(std::move(path)) {}

SqliteBooks::~SqliteBooks() {
    const QString name = db_.connectionName();
    db_.close();
    db_ = QSqlDatabase();
    QSqlDatabase::removeDatabase(name);
    if (fileLock_ >= 0)
        ::close(fileLock_);
}

bool SqliteBooks::configure(QString* error) {
    QSqlQuery query(db_);
    // The first statement reads the file: a file that is not a database fails here.
    if (!query.exec(QStringLiteral("PRAGMA busy_timeout = %1").arg(kBusyTimeoutMs)) ||
        !query.exec(QStringLiteral("PRAGMA journal_mode = WAL")) || !query.next()) {
        *error = query.lastError().text();
        return false;
    }
    if (query.value(0).toString().compare(u"wal", Qt::CaseInsensitive) != 0) {
        *error = QStringLiteral("the file cannot be put into WAL mode");
        return false;
    }
    // Commits do not wait for the disk; whenDurable() does. The log's pages are moved into the
    // file by the sync thread, never by a commit.
    return run(QStringLiteral("PRAGMA synchronous = NORMAL"), error) &&
           run(QStringLiteral("PRAGMA wal_autocheckpoint = 0"), error);
}

// SQLite's own look at every page it reads: a damaged page is found here instead of serving
// on and turning up later as games that do not add up.
bool SqliteBooks::checkIntegrity(Purpose purpose, QString* error) {
    QSqlQuery query(db_);
    query.setForwardOnly(true);
    const QString statement = purpose == Purpose::Audit
                                  ? QStringLiteral("PRAGMA integrity_check(20)")
                                  : QStringLiteral("PRAGMA quick_check(20)");
    if (!query.exec(statement)) {
        *error = QStringLiteral("the file is damaged (%1)").arg(query.lastError().text());
        return false;
    }
    QStringList faults;
    while (query.next()) {
        const QString line = query.value(0).toString();
        if (line != u"ok")
            faults << line;
    }
    if (query.lastError().isValid()) {
        *error = QStringLiteral("the file is damaged (%1)").arg(query.lastError().text());
        return false;
    }
    if (!faults.isEmpty()) {
        *error = QStringLiteral("the file is damaged (%1)").arg(faults.mid(0, 3).join(u"; "));
        return false;
    }
    return true;
}

// SQLite opens a file it may not write for reading alone, and says so only at the first
// change. A change that is rolled back at once shows it now.
bool SqliteBooks::checkWritable(QString* error) {
    QString why;
    const bool writable =
        run(QStringLiteral("BEGIN IMMEDIATE"), &why) &&
        run(QStringLiteral("PRAGMA application_id = %1").arg(kApplicationId), &why);
    QString ignored;
    run(QStringLiteral("ROLLBACK"), &ignored);
    if (!writable)
        *error = QStringLiteral("the books cannot be written (%1)").arg(why);
    return writable;
}

std::optional<SqliteBooks::FileIdentity> SqliteBooks::identityOf(const QString& path) {
    struct stat status {};
    if (::stat(QFile::encodeName(path).constData(), &status) != 0)
        return std::nullopt;
    return FileIdentity{quint64(status.st_dev), quint64(status.st_ino)};
}

// Whether the path still names the file the books were opened on. A file deleted or replaced
// (restored from a backup, copied over) under a running robot would otherwise take games that
// no later start ever sees.
bool SqliteBooks::stillOurFile() {
    if (identityOf(path_) == identity_)
        return true;
    failedForGood_ = true;
    return fail(QStringLiteral("%1 was deleted or replaced while the books were open; nothing "
                               "more is booked")
                    .arg(path_));
}

// Runs a statement without bound values.
bool SqliteBooks::run(const QString& statement, QString* error) {
    QSqlQuery query(db_);
    if (query.exec(statement))
        return true;
    *error = query.lastError().text();
    return false;
}

} // namespace jackwell::books
