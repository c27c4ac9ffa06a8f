#include "load_books.h"

#include "keeper/sqlite_books.h"

#include <QSqlDatabase>
#include <QSqlQuery>

namespace jackwell::load {

namespace {

// "07,12,14" and 99 -> "FINAL: | 07 | 12 | 14 | Credits: (99)", as the robot says it.
QByteArray finalLine(const QString& draw, qint64 credits) {
    const QStringList codes = draw.split(u',');
    return QStringLiteral("FINAL: | %1 | %2 | %3 | Credits: (%4)")
        .arg(codes.value(0), codes.value(1), codes.value(2))
        .arg(credits)
        .toLatin1();
}

// "07,12,14" -> "FIRST: | 07 | 12 | 14 |"
QByteArray firstLine(const QString& draw) {
    const QStringList codes = draw.split(u',');
    return QStringLiteral("FIRST: | %1 | %2 | %3 |")
        .arg(codes.value(0), codes.value(1), codes.value(2))
        .toLatin1();
}

qint64 creditsIn(const QByteArray& line) {
    return line.mid(line.lastIndexOf('(') + 1).chopped(1).toLongLong();
}

} // namespace

BooksCheck checkBooks(const QString& booksPath, const std::vector<const LoadPlayer*>& players,
                      int gamesWanted) {
    BooksCheck check;
    QString error;
    const auto books = keeper::SqliteBooks::open(booksPath, &error);
    if (!books) {
        check.faults << error;
        return check;
    }
    const keeper::BooksAudit audit = books->audit();
    check.faults << audit.faults;

    const QString connection = QStringLiteral("load-check");
    int creditMismatches = 0;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), connection);
        db.setDatabaseName(booksPath);
        db.open();
        QSqlQuery query(db);
        query.prepare(QStringLiteral("SELECT final_draw, credits_after, first_draw FROM games"
                                     " WHERE player = ? ORDER BY game"));
        for (const LoadPlayer* player : players) {
            const QString key = QString::fromLatin1(player->nick()).toLower();
            QList<QByteArray> ledger;
            QList<QByteArray> playedOn; // the first draw of each game
            query.addBindValue(key);
            if (!query.exec()) {
                check.faults << QStringLiteral("%1: cannot read the ledger").arg(key);
                continue;
            }
            while (query.next()) {
                ledger << finalLine(query.value(0).toString(), query.value(1).toLongLong());
                playedOn << firstLine(query.value(2).toString());
            }
            // Each game must have been played on a first draw told to the player before it.
            const QList<QByteArray>& firsts = player->result().firsts;
            qsizetype nextFirst = 0;
            int unseen = 0;
            for (const QByteArray& first : playedOn) {
                const qsizetype at = firsts.indexOf(first, nextFirst);
                if (at < 0)
                    ++unseen;
                else
                    nextFirst = at + 1;
            }
            check.unseen += unseen;
            if (unseen)
                check.faults << QStringLiteral("%1: %2 games played on a first draw never told")
                                    .arg(key)
                                    .arg(unseen);
            const QList<QByteArray>& told = player->result().finals;
            int matched = 0;
            for (qsizetype i = 0; i < std::min(told.size(), ledger.size()); ++i)
                matched += told[i] == ledger[i] ? 1 : 0;
            const int lost =
                std::max(0, gamesWanted - player->gamesDone()) + int(told.size()) - matched;
            const int doubled = player->result().unasked + int(ledger.size()) - matched;
            check.lost += lost;
            check.doubled += doubled;
            if (lost || doubled)
                check.faults << QStringLiteral("%1: %2 results taken, %3 games booked, %4 alike")
                                    .arg(key)
                                    .arg(told.size())
                                    .arg(ledger.size())
                                    .arg(matched);
            const auto record = books->load(key);
            if (!told.isEmpty() && (!record || record->credits != creditsIn(told.last()))) {
                ++creditMismatches;
                check.faults << QStringLiteral("%1: credits %2 in the books, %3 told")
                                    .arg(key)
                                    .arg(record ? record->credits : -1)
                                    .arg(creditsIn(told.last()));
            }
        }
    }
    QSqlDatabase::removeDatabase(connection);
    check.balanced = audit.balanced() && creditMismatches == 0;
    return check;
}

} // namespace jackwell::load
