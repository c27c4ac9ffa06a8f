// Results kept from a network's machinekeeper are a player's only record there: read back as sent,
// damaged lines skipped and counted, the file kept to its last games, found by network and name.

#include "history/final_lines_file.h"
#include "history/game_history.h"
#include "support/fakes.h"
#include "support/qt_printers.h"
#include "support/test_files.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace jackwell::history {
namespace {

void write(const QString& path, const QByteArray& bytes) {
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Append));
    file.write(bytes);
}

QByteArray finalLine(int game) {
    return QByteArrayLiteral("FINAL: | 01 | 02 | 03 | Credits: (") + QByteArray::number(game) +
           ")\n";
}

TEST(FinalLines, aResultIsReadAsTheMachinekeeperSentItAndNothingElse) {
    const std::tuple<const char*, std::optional<PlayedGame>> rows[] = {
        {"FINAL: | 07 | 12 | 14 | Credits: (105)", PlayedGame{50, 105, 1}},
        {"FINAL: | 14 | 14 | 06 | Credits: (0)", PlayedGame{100, 0, 1}},
        {"FINAL: | 09 | 09 | 09 | Credits: (9999999999999)", PlayedGame{10000, 9999999999999, 1}},
        {"  FINAL:|01|01|01|Credits: ( 7 )  ", PlayedGame{500, 7, 1}},
        {"FIRST: | 07 | 12 | 14 | Credits: (105)", std::nullopt},
        {"FINAL: | 07 | 12 | 15 | Credits: (105)", std::nullopt},
        {"FINAL: | 00 | 12 | 14 | Credits: (105)", std::nullopt},
        {"FINAL: | 007 | 12 | 14 | Credits: (105)", std::nullopt},
        {"FINAL: | 7a | 12 | 14 | Credits: (105)", std::nullopt},
        {"FINAL: | 07 | 12 | 14 |", std::nullopt},
        {"FINAL: | 07 | 12 | 14 | Credits: 105", std::nullopt},
        {"FINAL: | 07 | 12 | 14 | Credits: (105", std::nullopt},
        {"FINAL: | 07 | 12 | 14 | Credits: (-5)", std::nullopt},
        {"FINAL: | 07 | 12 | 14 | Credits: (10000000000000)", std::nullopt},
        {"FINAL: | 07 | 12 | 14 | 01 | Credits: (105)", std::nullopt},
    };
    for (const auto& [text, game] : rows)
        EXPECT_EQ(parseFinalText(text), game) << text;
}

// A result told twice in a row (after a lost connection) is kept once, also by a file opened anew;
// no result is refused; unreadable lines are counted; a place unread or unwritten is named.
TEST(FinalLines, resultsAreKeptOnceInTheirOrderAndDamageIsCounted) {
    QTemporaryDir dir;
    const QString path = dir.filePath("net/games.txt");
    FinalLinesFile file(path);
    QString error;
    for (const char* text :
         {"FINAL: | 14 | 14 | 14 | Credits: (110)", "FINAL: | 01 | 02 | 03 | Credits: (109)",
          " FINAL: | 01 | 02 | 03 | Credits: (109) "})
        EXPECT_TRUE(file.append(text, &error)) << error;
    EXPECT_FALSE(file.append("FIRST: | 01 | 02 | 03 |", &error));
    EXPECT_EQ(error, "not a final result: FIRST: | 01 | 02 | 03 |");
    EXPECT_TRUE(FinalLinesFile(path).append("FINAL: | 01 | 02 | 03 | Credits: (109)", &error));
    EXPECT_EQ(testing::fileBytes(path), "FINAL: | 14 | 14 | 14 | Credits: (110)\n"
                                        "FINAL: | 01 | 02 | 03 | Credits: (109)\n");

    write(path, "garbage\n\n   \nFINAL: | 01 | 02 | 03 | Credits: (10\n");
    EXPECT_TRUE(FinalLinesFile(path).append("FINAL: | 01 | 01 | 01 | Credits: (118)", &error));
    const FinalLinesFile::Reading reading = FinalLinesFile(path).read();
    EXPECT_EQ(reading.games, (std::vector<PlayedGame>{{200, 110}, {0, 109}, {500, 118}}));
    EXPECT_EQ(reading.unreadableLines, 2);
    EXPECT_EQ(reading.error, "");

    // A folder in the file's place is named; a file not there yet is no fault.
    const QString folder = dir.filePath("folder");
    QDir().mkpath(folder);
    EXPECT_FALSE(FinalLinesFile(folder).append("FINAL: | 01 | 02 | 03 | Credits: (1)", &error));
    EXPECT_TRUE(error.startsWith(folder + ": ")) << error;
    EXPECT_TRUE(FinalLinesFile(folder).read().error.startsWith(folder + ": "));
    EXPECT_EQ(FinalLinesFile(dir.filePath("none")).read().error, "");
    ASSERT_TRUE(QFile::remove(path) && QDir().rename(folder, path)); // under one who knew the file
    EXPECT_FALSE(file.append("FINAL: | 01 | 02 | 03 | Credits: (1)", &error));
    EXPECT_TRUE(error.startsWith(path + ": ")) << error;
}

// Once the file holds a tenth more than the games kept, it is cut back to the last ones it can
// read; a file beyond what is ever read is read from its first whole line near the end.
TEST(FinalLines, theFileKeepsItsLastGamesAndIsReadFromItsEnd) {
    QTemporaryDir dir;
    const QString path = dir.filePath("games.txt");
    const int kept = int(FinalLinesFile::kKeptGames);
    QByteArray lines = "damaged\n";
    for (int game = 1; game < kept + kept / 10 - 1; ++game)
        lines += finalLine(game);
    write(path, lines);
    QString error;
    FinalLinesFile file(path);
    EXPECT_TRUE(file.append(finalLine(kept + kept / 10 - 1), &error));
    EXPECT_EQ(testing::fileBytes(path).count('\n'), kept + kept / 10); // not yet over
    EXPECT_TRUE(file.append(finalLine(1), &error)) << error;
    FinalLinesFile::Reading reading = file.read();
    ASSERT_EQ(reading.games.size(), std::size_t(kept));
    EXPECT_EQ(reading.games.front().creditsAfter, kept / 10 + 1);
    EXPECT_EQ(reading.games.back().creditsAfter, 1);
    EXPECT_EQ(reading.unreadableLines, 0);

    // Damage before the last 16 MiB read goes unseen, with the rest of the line it is in, even one
    // missing just its first byte; the next whole line is read (damaged, so counted).
    QByteArray big = QByteArray("damaged\n").repeated(100);
    while (big.size() <= (16 << 20) + 800)
        big += finalLine(7);
    QByteArray oneOver = "xy\nzz\n";
    while (oneOver.size() + finalLine(7).size() <= (16 << 20))
        oneOver += finalLine(7);
    oneOver += QByteArray((16 << 20) + 1 - oneOver.size(), '\n');
    for (const QByteArray& bytes : {big, oneOver}) {
        write(dir.filePath(QString::number(bytes.size())), bytes);
        reading = FinalLinesFile(dir.filePath(QString::number(bytes.size()))).read();
        EXPECT_EQ(reading.games.size(), std::size_t(kept));
        EXPECT_EQ(reading.unreadableLines, bytes == oneOver ? 1 : 0) << bytes.size();
    }
    const QString bigFile = dir.filePath(QString::number(big.size()));
    EXPECT_TRUE(FinalLinesFile(bigFile).append(finalLine(8), &error));
    EXPECT_EQ(testing::fileBytes(bigFile).count('\n'), kept) << "cut back at once";
    write(dir.filePath("exact"), QByteArray((16 << 20) - 1, 'x') + '\n'); // all read: one line
    EXPECT_TRUE(FinalLinesFile(dir.filePath("exact")).append(finalLine(8), &error));
    EXPECT_EQ(testing::fileBytes(dir.filePath("exact")).count('\n'), 2) << "not cut back yet";
}

// The statistics read a network's results from the file of that network (whatever its port) and
// that machinekeeper (named without case), and say what could not be read or kept. Only results the
// card took are games (the card tells the history of each it shows); other lines are not.
TEST(GameHistory, aNetworksGamesComeFromItsFileByNetworkAndKeeper) {
    EXPECT_EQ(FinalLinesFile::pathFor("/d", "irc.example.net", "Rivet"),
              "/d/games-rivet@irc.example.net.txt");
    EXPECT_EQ(FinalLinesFile::pathFor("/d", "10.0.0.1", "A/B@c d"),
              "/d/games-a%2Fb%40c%20d@10.0.0.1.txt");
    QTemporaryDir dir;
    testing::ScriptedBackend network;
    network.status.server = "irc.example.net:6697";
    GameHistory history(dir.path());
    EXPECT_EQ(history.read("Rivet").source, "No games are kept for this chat world.");
    history.attach(&network);
    EXPECT_TRUE(history.read("").source.startsWith("No machinekeeper yet"));
    history.resultShown("Rivet: FINAL: | 01 | 02 | 03 | Credits: (99)");
    history.resultShown("Rivet: Click FINISH for the final draw.");
    history.resultShown("B: FINAL: | 04 | 05 | 06 | Credits: (7)"); // in a file of its own
    EXPECT_EQ(history.read("B").games, (std::vector<PlayedGame>{{0, 7}}));
    EXPECT_EQ(history.read("Rivet").games, (std::vector<PlayedGame>{{0, 99}}));
    EXPECT_TRUE(history.read("Rivet").problem.isEmpty()) << history.read("Rivet").problem;
    const QString damaged = "FINAL: | 01 | 02 |" + QString(80, u'x'); // damaged on its way
    history.resultShown("Rivet: " + damaged); // not kept, and said so in its first 80 characters
    EXPECT_EQ(history.read("Rivet").problem,
              "A result could not be kept: not a final result: " + damaged.left(80));

    const QString path = FinalLinesFile::pathFor(dir.path(), "irc.example.net", "rivet");
    ASSERT_TRUE(QFile::remove(path)) << "the card's result went to the network's file";
    write(path, finalLine(5) + "damaged\n" + finalLine(4));
    const GameHistory::Games games = history.read("Rivet");
    EXPECT_EQ(games.games, (std::vector<PlayedGame>{{0, 5}, {0, 4}}));
    EXPECT_EQ(games.source, "The results Rivet sent on irc.example.net, kept in " + path);
    EXPECT_EQ(games.problem, "1 lines of " + path + " could not be read and were passed over.");
    QFile::remove(path);
    QDir().mkpath(path); // a folder in its place cannot be read
    EXPECT_TRUE(history.read("Rivet").problem.startsWith(path + ": "));
}

} // namespace
} // namespace jackwell::history
