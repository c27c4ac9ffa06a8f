// Rivet keeps the player's credits in a file: they must outlast the world, a result must be on the
// disk before the player reads it, and a file that cannot be used is never silently replaced.
#include "books/sqlite_books.h"
#include "clock/virtual_clock.h"
#include "machine/texts.h"
#include "support/qt_printers.h"
#include "support/test_files.h"
#include "support/wait_until.h"
#include "world/embedded_world.h"

#include <QFile>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <unistd.h>

namespace jackwell {
namespace {

using world::EmbeddedWorld;

struct World {
    VirtualClock clock;
    std::unique_ptr<EmbeddedWorld> world;

    explicit World(const QString& booksPath) {
        world::EmbeddedWorldConfig config;
        config.replyDelayMinMs = config.replyDelayMaxMs = 0;
        config.publicLife = false;
        config.seed = 7;
        config.booksPath = booksPath;
        world = std::make_unique<EmbeddedWorld>(clock, config);
        world->open({});
    }
    QString log() const { return QString::fromUtf8(world->log()); }
    // Writes to Rivet and waits for the answer, which comes once the books are on the disk.
    QString ask(const QString& text) {
        const qsizetype before = world->lineCount();
        world->sendPrivateMessage("Rivet", text);
        clock.settle();
        testing::waitUntil([&] { return world->lineCount() > before + 1; }, 5000);
        return log();
    }
    machine::PlayerRecord record() { return *world->rivetBooks().load("Player"); }
};

TEST(RivetBooks, creditsAndGamesOutlastTheWorldAndAreOnDiskBeforeTheyAreTold) {
    QTemporaryDir dir;
    const QString path = dir.filePath("data/Jackwell/rivet.sqlite");
    machine::PlayerRecord before;
    {
        World first(path);
        EXPECT_TRUE(first.world->booksNotice().isEmpty()) << first.world->booksNotice();
        EXPECT_TRUE(first.ask("Register me!").contains(machine::kFreeGameOfferHead));
        first.world->sendPrivateMessage("Rivet", "I hold 0,0,0");
        first.clock.settle(); // booked; the answer waits for the disk
        EXPECT_EQ(first.record().gamesPlayed, 1);
        EXPECT_FALSE(first.log().contains(machine::kFinalDrawHead));
        // The next message waits until that answer is safe: one message at a time.
        first.world->sendPrivateMessage("Rivet", "I hold 1,1,1");
        first.clock.settle();
        EXPECT_EQ(first.record().gamesPlayed, 1);
        EXPECT_TRUE(testing::waitUntil(
            [&] { return first.log().contains(machine::kFinalDrawHead); }, 5000));
        before = first.record();
    }
    World again(path);
    EXPECT_EQ(again.world->rivetBooks().filePath(), path);
    EXPECT_EQ(again.record(), before);
    QString error;
    const auto games = again.world->rivetBooks().games(QStringLiteral("Player"), &error);
    ASSERT_TRUE(games) << error;
    ASSERT_EQ(games->size(), 1u);
    EXPECT_EQ(games->front().creditsAfter, before.credits);
    // Free credits only for a player with none left.
    EXPECT_FALSE(again.ask("Register me!").contains(machine::kFreeGameOfferHead));
}

// What is found where the books should be, and whether the books are then kept in a new file
// (the old one set aside under a name the notice gives) or in memory (the file left alone).
struct FileFault {
    const char* name;
    std::function<void(const QString& path, std::unique_ptr<books::SqliteBooks>& holder)> make;
    const char* noticeSays;
    bool setAside;
};

TEST(RivetBooks, aFileThatCannotBeUsedIsNamedAndNeverReplaced) {
    const FileFault faults[] = {
        {"not books",
         [](const QString& path, auto&) { testing::writeFile(path, "not books at all\n"); },
         "could not be read", true},
        {"empty", [](const QString& path, auto&) { testing::writeFile(path, ""); },
         "could not be read", true},
        {"in use by another card",
         [](const QString& path, auto& holder) {
             QString error;
             holder = books::SqliteBooks::create(path, &error);
         },
         "in use by another Jackwell", false},
    };
    for (const FileFault& fault : faults) {
        SCOPED_TRACE(fault.name);
        QTemporaryDir dir;
        const QString path = dir.filePath("rivet.sqlite");
        std::unique_ptr<books::SqliteBooks> holder;
        fault.make(path, holder);
        const QByteArray bytes = testing::fileBytes(path);
        World world(path);
        const QString notice = world.world->booksNotice();
        EXPECT_TRUE(notice.contains(path) && notice.contains(fault.noticeSays)) << notice;
        EXPECT_TRUE(world.log().contains("<system>: " + notice));
        const QStringList aside = QDir(dir.path()).entryList({"rivet.sqlite.damaged-*"});
        EXPECT_EQ(aside.size(), fault.setAside ? 1 : 0);
        if (fault.setAside) {
            EXPECT_TRUE(notice.contains(aside.value(0)));
            EXPECT_EQ(testing::fileBytes(dir.filePath(aside.value(0)), "(unreadable)"), bytes);
            EXPECT_EQ(world.world->rivetBooks().filePath(), path);
        } else {
            EXPECT_TRUE(world.world->rivetBooks().filePath().isEmpty()) << "kept in memory";
        }
        // Either way the player plays on.
        EXPECT_TRUE(world.ask("Register me!").contains(machine::kFirstDrawHead));
    }
}

// Books whose permissions keep them closed are not damaged: named and left as they are (root opens
// any file, so the refusal is stood in for, and tried with chmod 000 where the file system
// refuses). A record the books cannot give (a damaged row) would make every answer "out of order"
// unexplained: the player is told which file and plays on in memory, the file untouched.
TEST(RivetBooks, booksThatCannotBeOpenedOrReadAreNamedAndLeftAsTheyAre) {
    QTemporaryDir dir;
    const QString path = dir.filePath("rivet.sqlite");
    World(path).ask("Register me!");
    const QByteArray bytes = testing::fileBytes(path);
    const std::tuple<QIODevice::OpenMode, const char*> rows[] = {
        {QIODevice::ReadOnly, "cannot be opened (Permission denied)"},
        {QIODevice::ReadWrite, "cannot be written"},
    };
    for (const auto& [refused, noticeSays] : rows) {
        world::RivetBooks books([&](const QString&, QIODevice::OpenMode mode) {
            return mode == refused ? QStringLiteral("Permission denied") : QString();
        });
        const QString notice = books.openFile(path, QDateTime::currentDateTime());
        EXPECT_TRUE(notice.contains(path) && notice.contains(noticeSays)) << notice;
        EXPECT_TRUE(books.filePath().isEmpty()) << "kept in memory";
        EXPECT_EQ(QDir(dir.path()).entryList({"rivet.sqlite.damaged-*"}), QStringList());
        EXPECT_EQ(testing::fileBytes(path, "(unreadable)"), bytes);
    }
    if (geteuid() != 0) {
        ASSERT_TRUE(QFile::setPermissions(path, {}));
        const QString notice = World(path).world->booksNotice();
        QFile::setPermissions(path, QFile::ReadOwner | QFile::WriteOwner);
        EXPECT_TRUE(notice.contains(path) && notice.contains("cannot be opened")) << notice;
        EXPECT_EQ(QDir(dir.path()).entryList({"rivet.sqlite.damaged-*"}), QStringList());
    }

    {
        QSqlDatabase db = QSqlDatabase::addDatabase("QSQLITE", "damage");
        db.setDatabaseName(path);
        ASSERT_TRUE(db.open());
        QSqlQuery query(db);
        ASSERT_TRUE(query.exec("UPDATE players SET pending = 'not a draw'"));
    }
    QSqlDatabase::removeDatabase("damage");
    World world(path);
    const QString log = world.ask("Register me!");
    EXPECT_PRED2(textContains, log, "<system>: Rivet cannot read your record in its books " + path);
    EXPECT_FALSE(log.contains(machine::kOutOfOrder)) << log;
    EXPECT_TRUE(log.contains(machine::kFirstDrawHead)) << log;
    EXPECT_TRUE(world.world->rivetBooks().filePath().isEmpty()) << "kept in memory";
    EXPECT_EQ(QDir(dir.path()).entryList({"rivet.sqlite.damaged-*"}), QStringList());
}

} // namespace
} // namespace jackwell
