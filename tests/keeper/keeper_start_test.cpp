// What jackwell-keeper refuses to start on, and what it says: books are only ever made by --init,
// never taken from a missing, empty, damaged or unwritable file, and the configuration must be a
// regular file. Each refusal is one line naming the file and the reason, exit status 1, at once.
#include "machine/machine_keeper.h"
#include "support/book_entries.h"
#include "support/books_stores.h"

#include "support/keeper_process.h"
#include "support/test_files.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTcpServer>

#include <functional>
#include <random>

#include <sys/stat.h>
#include <unistd.h>

namespace jackwell::keeper {
namespace {

using testing::KeeperProcess;

// Books with a few players and games in them, as a robot leaves them.
void fillBooks(const QString& path) {
    QString error;
    auto books = QFileInfo::exists(path) ? books::SqliteBooks::open(path, &error)
                                         : books::SqliteBooks::create(path, &error);
    ASSERT_TRUE(books) << error;
    machine::MachineKeeper keeper("Rivet", *books, 7);
    for (int player = 0; player < 30; ++player) {
        const QString name = QStringLiteral("player%1").arg(player);
        keeper.onPrivateMessage(name, "Register me!");
        for (int game = 0; game < 20; ++game)
            keeper.onPrivateMessage(name, "I hold 1,0,1");
    }
}

// 2000 random bytes written over the start of one page of the file, as a failing disk might.
void damagePage(const QString& path, qint64 page, quint32 seed) {
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::ReadWrite));
    ASSERT_GE(file.size(), (page + 1) * 4096);
    std::mt19937 random(seed);
    QByteArray junk(2000, '\0');
    for (char& byte : junk)
        byte = char(random());
    file.seek(page * 4096);
    file.write(junk);
}

struct StartCase {
    const char* name;
    std::function<void(KeeperProcess&)> prepare;
    const char* said; // what the one line says after the file's name
    bool unprivileged = false;
};

TEST(KeeperStart, RefusesBooksItCannotTrustAndSaysWhy) {
    const StartCase cases[] = {
        {"no books file", [](KeeperProcess&) {},
         ": no books there (new books are made with jackwell-keeper --init CONFIG)"},
        {"an empty books file",
         [](KeeperProcess& k) { ASSERT_TRUE(QFile(k.booksPath()).open(QIODevice::WriteOnly)); },
         ": the file is empty, not books"},
        {"a folder in the books' place",
         [](KeeperProcess& k) { ASSERT_TRUE(QDir().mkpath(k.booksPath())); },
         ": not a regular file, not books"},
        {"a damaged page",
         [](KeeperProcess& k) {
             fillBooks(k.booksPath());
             damagePage(k.booksPath(), 3, 1);
         },
         ": the file is damaged"},
        {"books it may not write",
         [](KeeperProcess& k) {
             ASSERT_TRUE(QFile::setPermissions(k.booksPath(), QFile::ReadOwner | QFile::ReadOther));
         },
         ": the books cannot be written", true},
        {"a folder where the lock file cannot be made",
         [](KeeperProcess& k) {
             ASSERT_TRUE(QFile::setPermissions(k.booksPath(), QFile::ReadOwner | QFile::WriteOwner |
                                                                  QFile::ReadOther |
                                                                  QFile::WriteOther));
             ::chmod(QFile::encodeName(k.folder()).constData(), 0555);
         },
         ".lock: the lock file cannot be made there (permission denied)", true},
    };
    for (const StartCase& c : cases) {
        SCOPED_TRACE(c.name);
        KeeperProcess keeper;
        ASSERT_TRUE(keeper.writeConfig());
        QString output;
        if (c.unprivileged) {
            ASSERT_EQ(keeper.run({"--init", keeper.configPath()}, &output), 0) << output;
        }
        c.prepare(keeper);
        keeper.setUnprivileged(c.unprivileged);
        const int status = keeper.run({keeper.configPath()}, &output);
        EXPECT_EQ(status, 1) << output;
        EXPECT_TRUE(output.contains(keeper.booksPath() + c.said)) << output;
        EXPECT_EQ(output.count(u'\n'), 1) << output;
        if (QString(c.name) == "no books file") {
            EXPECT_FALSE(QFileInfo::exists(keeper.booksPath())) << "nothing was made";
        }
        ::chmod(QFile::encodeName(keeper.folder()).constData(), 0777);
    }
}

// Books are made on purpose, once: --prepare (run by a service before every start) makes them
// where there are none and leaves those there alone, --init touches no file that is there, and an
// audit only reads (books it may not write, a backup say, too). Books found missing after they
// were made are refused, not made anew (which would hand every player their free credits again).
TEST(KeeperStart, BooksAreMadeOnPurposeOnceAndNeverAnewWhenMissing) {
    KeeperProcess keeper;
    ASSERT_TRUE(keeper.writeConfig());
    const auto bytes = [&] { return testing::fileBytes(keeper.booksPath()); };
    QString output;
    ASSERT_EQ(keeper.run({"--prepare", keeper.configPath()}, &output), 0) << output;
    EXPECT_TRUE(output.contains("made new books in " + keeper.booksPath()));
    fillBooks(keeper.booksPath());
    const QByteArray filled = bytes();
    ASSERT_EQ(keeper.run({"--prepare", keeper.configPath()}, &output), 0) << output;
    EXPECT_FALSE(output.contains("made new books")) << output;
    EXPECT_EQ(keeper.run({"--init", keeper.configPath()}, &output), 1);
    EXPECT_PRED2(textContains, output, keeper.booksPath() + ": a file is already there");
    EXPECT_EQ(bytes(), filled);
    const QString config = keeper.configPath(); // not both
    EXPECT_EQ(keeper.run({"--prepare", config, "--init", config}, &output), 2);
    EXPECT_PRED2(textContains, output, "go one at a time");
    // The full check of --audit finds a damaged page wherever it is.
    const qint64 pages = QFileInfo(keeper.booksPath()).size() / 4096;
    ASSERT_GE(pages, 4);
    const QString damaged = keeper.booksPath() + ".damaged";
    for (qint64 page = 1; page < pages; ++page) {
        SCOPED_TRACE(page);
        QFile::remove(damaged);
        ASSERT_TRUE(QFile::copy(keeper.booksPath(), damaged));
        damagePage(damaged, page, quint32(page));
        EXPECT_EQ(keeper.run({"--audit", damaged}, &output), 2) << output;
        EXPECT_TRUE(output.contains(": the file is damaged")) << output;
    }
    ASSERT_TRUE(QFile::setPermissions(keeper.booksPath(), QFile::ReadOwner | QFile::ReadOther));
    keeper.setUnprivileged(true);
    ASSERT_EQ(keeper.run({"--audit", keeper.booksPath()}, &output), 0) << output;
    EXPECT_TRUE(output.contains("players=30 games=600 balanced=yes")) << output;
    keeper.setUnprivileged(false);
    testing::SqliteStore store; // books with a number no game makes: named, exit status 2
    ASSERT_TRUE(store.open()->save("alice", testing::registeredPlayer()));
    store.tamper("UPDATE players SET credits = 2.5");
    EXPECT_EQ(keeper.run({"--players", store.path()}, &output), 2) << output;
    EXPECT_TRUE(output.contains("credits = 2.5, which no game makes")) << output;
    store.tamper("UPDATE players SET credits = 3"); // credits the ledger does not explain
    EXPECT_EQ(keeper.run({"--audit", store.path()}, &output), 1) << output;
    EXPECT_TRUE(output.contains("balanced=no")) << output;

    ASSERT_TRUE(QFile::remove(keeper.booksPath()));
    EXPECT_EQ(keeper.run({"--players", keeper.booksPath()}, &output), 2) << output; // none to read
    for (const char* making : {"--prepare", "--init"}) {
        SCOPED_TRACE(making);
        EXPECT_EQ(keeper.run({making, keeper.configPath()}, &output), 1);
        EXPECT_PRED2(textContains, output, keeper.booksPath() + ": books were made here before");
        EXPECT_FALSE(QFileInfo::exists(keeper.booksPath()));
    }
    // The operator who means to start afresh removes the mark.
    ASSERT_TRUE(QFile::remove(keeper.booksPath() + ".made"));
    EXPECT_EQ(keeper.run({"--prepare", keeper.configPath()}, &output), 0) << output;
    EXPECT_TRUE(QFileInfo::exists(keeper.booksPath()));
}

// A configuration that is a FIFO once made the robot wait forever for a writer.
TEST(KeeperStart, AConfigurationThatIsNoFileIsRefusedAtOnce) {
    KeeperProcess keeper;
    const QString fifo = QDir(keeper.folder()).filePath("fifo.txt");
    ASSERT_EQ(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
    QString output;
    for (const QStringList& arguments : {QStringList{fifo}, QStringList{"--init", fifo}}) {
        EXPECT_EQ(keeper.run(arguments, &output, 5000), 1) << output;
        EXPECT_PRED2(textContains, output, fifo + ": not a regular file, not a configuration");
    }
    ASSERT_TRUE(keeper.writeConfig("logfile = missing/robot.log\n")); // nor a log it cannot write
    EXPECT_EQ(keeper.run({keeper.configPath()}, &output, 5000), 1) << output;
    EXPECT_PRED2(textContains, output, "cannot write the log file");
    QTcpServer taken; // nor metrics where another program listens
    ASSERT_TRUE(taken.listen(QHostAddress::LocalHost));
    const QByteArray port = QByteArray::number(taken.serverPort());
    ASSERT_TRUE(keeper.writeConfig("metrics = 127.0.0.1:" + port + "\n"));
    ASSERT_EQ(keeper.run({"--init", keeper.configPath()}, &output), 0) << output;
    EXPECT_EQ(keeper.run({keeper.configPath()}, &output, 5000), 1) << output;
    EXPECT_PRED2(textContains, output, "metrics: cannot listen on 127.0.0.1:" + port);
}

} // namespace
} // namespace jackwell::keeper
