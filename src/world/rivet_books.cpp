#include "world/rivet_books.h"

#include "books/ledger_audit.h"
#include "books/sqlite_books.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <utility>

namespace jackwell::world {

namespace {

using Refusal = books::SqliteBooks::Refusal;

const QString kKeptInMemory = QStringLiteral(
    "Until then Rivet keeps your credits in memory: they last until the card closes.");

// SQLite keeps a books file's latest changes beside it until they are moved into it.
const QStringList kLogSuffixes{QStringLiteral("-wal"), QStringLiteral("-shm")};

machine::GameOutcome outcomeOf(const books::LedgerGame& game) {
    return {game.firstDraw, game.holds,     game.finalDraw,   game.creditsBefore,
            game.cost,      game.tokensWon, game.creditsAfter};
}

QString tryOpenFile(const QString& path, QIODevice::OpenMode mode) {
    QFile file(path);
    return file.open(mode) ? QString() : file.errorString();
}

} // namespace

RivetBooks::RivetBooks(TryOpen tryOpen)
    : tryOpen_(tryOpen ? std::move(tryOpen) : TryOpen(tryOpenFile)) {}
RivetBooks::~RivetBooks() = default;

QString RivetBooks::openFile(const QString& path, const QDateTime& now) {
    const QFileInfo file(path);
    if (!file.exists() && !file.isSymLink())
        return createFile(path);
    // A file its permissions keep closed is kept for the day they open it again; SQLite would
    // take it for a damaged one.
    if (file.isFile()) {
        if (const QString why = tryOpen_(path, QIODevice::ReadOnly); !why.isEmpty())
            return QStringLiteral("Rivet's books %1 cannot be opened (%2), so they are left as "
                                  "they are. %3")
                .arg(QDir::toNativeSeparators(path), why, kKeptInMemory);
        if (!tryOpen_(path, QIODevice::ReadWrite).isEmpty())
            return QStringLiteral("Rivet's books %1 cannot be written, so they are left as they "
                                  "are. %2")
                .arg(QDir::toNativeSeparators(path), kKeptInMemory);
    }
    QString error;
    Refusal refusal{};
    file_ = books::SqliteBooks::open(path, &error, books::BooksPurpose::Serve, &refusal);
    if (file_)
        return {};
    switch (refusal) {
    case Refusal::Missing:
        return createFile(path);
    case Refusal::InUse:
        return QStringLiteral("Rivet's books %1 are in use by another Jackwell. %2")
            .arg(QDir::toNativeSeparators(path), kKeptInMemory);
    case Refusal::Unavailable:
    case Refusal::Newer:
        return QStringLiteral("Rivet cannot use its books (%1), so they are left as they are. %2")
            .arg(error, kKeptInMemory);
    case Refusal::Damaged:
        break;
    }
    QString aside;
    if (const QString failed = setAside(path, now, &aside); !failed.isEmpty())
        return QStringLiteral("Rivet's books cannot be read (%1) and cannot be set aside (%2). %3")
            .arg(error, failed, kKeptInMemory);
    const QString made = createFile(path);
    return QStringLiteral("Rivet's books could not be read (%1). They were set aside as %2, and "
                          "Rivet starts new books: your credits and games begin again.%3")
        .arg(error, QDir::toNativeSeparators(aside), made.isEmpty() ? QString() : u' ' + made);
}

// Moves the file and its log files aside under one new name; empty when done, else why not.
QString RivetBooks::setAside(const QString& path, const QDateTime& now, QString* aside) {
    *aside = path + QStringLiteral(".damaged-") + now.toString(QStringLiteral("yyyyMMdd-HHmmss"));
    for (int again = 1; QFileInfo::exists(*aside) || QFileInfo(*aside).isSymLink(); ++again)
        *aside = path + QStringLiteral(".damaged-") +
                 now.toString(QStringLiteral("yyyyMMdd-HHmmss")) + QStringLiteral("-%1").arg(again);
    if (!QFile::rename(path, *aside))
        return QStringLiteral("%1 cannot be renamed").arg(QDir::toNativeSeparators(path));
    for (const QString& suffix : kLogSuffixes) {
        if (QFileInfo::exists(path + suffix))
            QFile::rename(path + suffix, *aside + suffix);
    }
    return {};
}

QString RivetBooks::createFile(const QString& path) {
    QString error;
    if (!QDir().mkpath(QFileInfo(path).absolutePath()))
        error = QStringLiteral("%1: the folder cannot be made")
                    .arg(QDir::toNativeSeparators(QFileInfo(path).absolutePath()));
    else
        file_ = books::SqliteBooks::create(path, &error);
    if (file_)
        return {};
    return QStringLiteral("Rivet cannot make its books (%1). %2").arg(error, kKeptInMemory);
}

std::optional<machine::PlayerRecord> RivetBooks::load(const QString& player) {
    if (!file_)
        return memory_.load(player);
    if (std::optional<machine::PlayerRecord> record = file_->load(player))
        return record;
    // Asked again, the file would fail again, and the player would hear "out of order" at every
    // message with no word of why. It is left for the player to mend or to move away.
    notice_ = QStringLiteral("Rivet cannot read your record in its books %1 (%2), so they are "
                             "left as they are. %3")
                  .arg(QDir::toNativeSeparators(file_->path()), file_->lastError(), kKeptInMemory);
    file_.reset();
    return memory_.load(player);
}

QString RivetBooks::takeNotice() {
    return std::exchange(notice_, QString());
}

bool RivetBooks::save(const QString& player, const machine::PlayerRecord& record) {
    return file_ ? file_->save(player, record) : memory_.save(player, record);
}

bool RivetBooks::commitGame(const QString& player, const machine::GameOutcome& outcome,
                            const machine::PlayerRecord& after) {
    return file_ ? file_->commitGame(player, outcome, after)
                 : memory_.commitGame(player, outcome, after);
}

void RivetBooks::whenDurable(std::function<void(bool durable)> then) {
    if (file_)
        file_->whenDurable(std::move(then));
    else
        then(true);
}

std::optional<std::vector<machine::GameOutcome>> RivetBooks::games(const QString& player,
                                                                   QString* error) {
    std::vector<machine::GameOutcome> games;
    if (!file_) {
        for (const machine::MemoryBooks::LedgerEntry& entry : memory_.ledger()) {
            if (entry.player == player)
                games.push_back(entry.outcome);
        }
        return games;
    }
    books::Ledger ledger;
    if (!file_->readLedger(ledger)) {
        *error = file_->lastError();
        return std::nullopt;
    }
    for (const books::LedgerGame& game : ledger.games) { // by player, then game
        if (game.player == player)
            games.push_back(outcomeOf(game));
    }
    return games;
}

QString RivetBooks::filePath() const {
    return file_ ? file_->path() : QString();
}

} // namespace jackwell::world
