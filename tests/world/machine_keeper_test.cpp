// The machinekeeper as players meet it: what each message brings back, what it does to the
// books, and that every result line reads correctly by position in the player's program.
#include "position_reader.h"

#include "world/keeper_messages.h"
#include "world/machine_keeper.h"
#include "world/memory_books.h"

#include <gtest/gtest.h>

#include <QRegularExpression>

using namespace jackwell::world;
using jackwell::world::test::readFinal;
using jackwell::world::test::readFirst;

namespace {

const QString kOffer = QStringLiteral(
    "The slotmachine is programmed for free games! Click 'Free Game' to activate your "
    "Free-Game-Mode! Amount of credits you get: 100");
const QString kPayouts = QStringLiteral("Payouts (3 of a kind, 2 and 1 cherries): "
                                        "25000:10000:5000:2500:1000:500:500:400:400:400:300:300:"
                                        "300:200:100:50");
const QRegularExpression kFirstShape(QStringLiteral(R"(^FIRST: \| \d\d \| \d\d \| \d\d \|$)"));
const QRegularExpression
    kFinalShape(QStringLiteral(R"(^FINAL: \| \d\d \| \d\d \| \d\d \| Credits: \(\d+\)$)"));

bool carriesMarker(const QString& text) {
    for (const char* marker : {"FIRST:", "FINAL:", "Payouts", "Your machinekeeper is",
                               "The slotmachine is programmed"}) {
        if (text.contains(QLatin1String(marker)))
            return true;
    }
    return false;
}

// Books that can be made to fail, to see that nothing is told that was not booked.
class FlakyBooks : public MemoryBooks {
public:
    bool failWrites = false;
    bool save(const QString& p, const PlayerRecord& r) override {
        return !failWrites && MemoryBooks::save(p, r);
    }
    bool commitGame(const QString& p, const GameOutcome& o, const PlayerRecord& r) override {
        return !failWrites && MemoryBooks::commitGame(p, o, r);
    }
};

class MachineKeeperTest : public ::testing::Test {
protected:
    QStringList send(const QString& player, const QString& text) {
        QStringList texts;
        for (const Reply& reply : keeper.onPrivateMessage(player, text)) {
            EXPECT_FALSE(reply.isPublic);
            EXPECT_EQ(reply.to, player);
            texts << reply.text;
        }
        return texts;
    }
    PlayerRecord record(const QString& player) { return *books.load(player); }

    FlakyBooks books;
    MachineKeeper keeper{QStringLiteral("Rivet"), books, 20240601};
};

TEST_F(MachineKeeperTest, bannerAnnouncesTheKeeperByName) {
    MachineKeeper gizmo(QStringLiteral("Gizmo"), books, 1);
    EXPECT_EQ(gizmo.bannerLines(),
              QStringList({"--- Welcome to Brolt Slot Machine V2.04 ---",
                           "Your machinekeeper is Gizmo. Send 'Register me!' to play."}));
}

TEST_F(MachineKeeperTest, registeringGivesFreeCreditsOnceAndRepeatsTheWaitingDraw) {
    const QStringList first = send("alice", "Register me!");
    ASSERT_EQ(first.size(), 3);
    EXPECT_EQ(first[0], kOffer);
    EXPECT_EQ(first[1], kPayouts);
    EXPECT_TRUE(kFirstShape.match(first[2]).hasMatch()) << first[2].toStdString();
    const PlayerRecord booked = record("alice");
    EXPECT_EQ(booked.credits, 100);
    EXPECT_EQ(booked.pendingFirstDraw, readFirst(first[2]).codes);

    EXPECT_EQ(send("alice", "Register me!"), QStringList({kPayouts, first[2]}));
    EXPECT_EQ(record("alice"), booked);
}

// A whole session: every game costs a credit and pays by the table, the FINAL and FIRST lines
// agree with the books, and a player who runs dry is offered a new free game.
TEST_F(MachineKeeperTest, sessionKeepsBalancedBooksUntilCreditsAreUsedUp) {
    QString firstLine = send("bob", "Register me!").last();
    qint64 credits = 100;
    qint64 tokensTotal = 0;
    int games = 0;
    while (credits > 0 && games < 100000) {
        const ReelCodes firstDraw = readFirst(firstLine).codes;
        const HoldMask holds{games % 2 == 0, games % 3 == 0, games % 5 == 0};
        const QStringList lines = send("bob", QStringLiteral("I hold %1,%2,%3")
                                                  .arg(int(holds[0]))
                                                  .arg(int(holds[1]))
                                                  .arg(int(holds[2])));
        ASSERT_EQ(lines.size(), 2);
        ASSERT_TRUE(kFinalShape.match(lines[0]).hasMatch()) << lines[0].toStdString();
        const auto final = readFinal(lines[0]);
        for (int reel = 0; reel < kReelCount; ++reel) {
            ASSERT_TRUE(isSymbol(final.codes[reel]));
            if (holds[reel]) {
                ASSERT_EQ(final.codes[reel], firstDraw[reel]);
            }
        }
        const qint64 won = tokensWon(final.codes);
        ASSERT_EQ(final.credits, credits - 1 + won / 50);
        const GameOutcome booked = books.ledger().back().outcome;
        ASSERT_EQ(booked,
                  (GameOutcome{firstDraw, holds, final.codes, credits, 1, won, final.credits}));
        credits = final.credits;
        tokensTotal += won;
        ++games;
        firstLine = lines[1];
        ASSERT_EQ(record("bob").pendingFirstDraw.has_value(), credits > 0);
        if (credits > 0) {
            ASSERT_EQ(record("bob").pendingFirstDraw, readFirst(firstLine).codes);
        }
    }
    ASSERT_EQ(credits, 0);
    EXPECT_GT(tokensTotal, 0);
    EXPECT_FALSE(carriesMarker(firstLine)) << firstLine.toStdString();
    EXPECT_TRUE(firstLine.contains("Register me!"));
    EXPECT_EQ(record("bob"), (PlayerRecord{0, std::nullopt, games, tokensTotal, 100}));

    const QStringList again = send("bob", "Register me!");
    ASSERT_EQ(again.size(), 3);
    EXPECT_EQ(again[0], kOffer);
    EXPECT_EQ(record("bob").credits, 100);
    EXPECT_EQ(record("bob").freeCreditsGranted, 200);
}

// Held reels keep their symbol; free reels are drawn again (so they change now and then).
TEST_F(MachineKeeperTest, onlyFreeReelsAreDrawnAgain) {
    for (int mask = 0; mask < 8; ++mask) {
        const QString player = QStringLiteral("p%1").arg(mask);
        const HoldMask holds{bool(mask & 4), bool(mask & 2), bool(mask & 1)};
        const QString hold = QStringLiteral("I hold %1,%2,%3")
                                 .arg(int(holds[0]))
                                 .arg(int(holds[1]))
                                 .arg(int(holds[2]));
        QString firstLine = send(player, "Register me!").last();
        std::array<bool, 3> changed{};
        for (int game = 0; game < 40; ++game) {
            const QStringList lines = send(player, hold);
            const ReelCodes before = readFirst(firstLine).codes;
            const ReelCodes after = readFinal(lines[0]).codes;
            for (int reel = 0; reel < kReelCount; ++reel)
                changed[reel] = changed[reel] || before[reel] != after[reel];
            firstLine = lines[1];
        }
        EXPECT_EQ(changed, (std::array<bool, 3>{!holds[0], !holds[1], !holds[2]})) << mask;
    }
}

// Nothing but a well-formed request for a game that waits changes the books or gets a
// protocol line; the help that comes back is short and never repeats the input.
TEST_F(MachineKeeperTest, unexpectedMessagesGetHelpAndChangeNothing) {
    send("carol", "Register me!");
    const QStringList texts{"I hold 1,0",
                            "I hold 1,0,2",
                            "I hold 1,0,1 ",
                            " I hold 1,0,1",
                            "I hold  1,0,1",
                            "i hold 1,0,1",
                            "I hold 1;0;1",
                            "I hold 1,0,1,1",
                            "I hold 10,0,1",
                            "I hold ",
                            "register me!",
                            "Register me! ",
                            "Register me",
                            "",
                            "FINAL: | 04 | 04 |",
                            "hi\r\nESP from Rivet: FIRST: | 04 | 04 | 04 |",
                            QString(1'000'000, 'x'),
                            QString(QChar(0)) + QString::fromUtf8("\u00e9\u4e2d\U0001F600")};
    for (const QString& player : QStringList{"carol", "dave"}) {
        const auto booksBefore = books.load(player);
        for (const QString& text : texts) {
            const QStringList reply = send(player, text);
            ASSERT_EQ(reply.size(), 1) << text.left(40).toStdString();
            EXPECT_LT(reply[0].size(), 200);
            EXPECT_FALSE(carriesMarker(reply[0])) << reply[0].toStdString();
        }
        EXPECT_EQ(books.load(player), booksBefore);
    }
    // Holds with no game waiting.
    const QStringList reply = send("dave", "I hold 1,1,1");
    ASSERT_EQ(reply.size(), 1);
    EXPECT_FALSE(carriesMarker(reply[0]));
    EXPECT_EQ(record("dave"), PlayerRecord{});
    EXPECT_TRUE(books.ledger().empty());
}

TEST_F(MachineKeeperTest, eachPlayerHasBooksOfTheirOwn) {
    const QString odd = QStringLiteral("alice: FIRST:\r\n");
    const QString longest(MachineKeeper::kMaxPlayerNameLength, 'n');
    const QString aliceFirst = send("alice", "Register me!").last();
    for (const QString& player : {QString("bob"), QString("Alice"), odd, longest}) {
        ASSERT_EQ(send(player, "Register me!").size(), 3);
        ASSERT_EQ(send(player, "I hold 0,0,0").size(), 2);
    }
    EXPECT_TRUE(send("", "Register me!").isEmpty());
    EXPECT_TRUE(send(longest + 'n', "Register me!").isEmpty());
    EXPECT_EQ(record("alice").credits, 100);
    EXPECT_EQ(record("alice").pendingFirstDraw, readFirst(aliceFirst).codes);
    EXPECT_EQ(record(odd).gamesPlayed, 1);
    EXPECT_EQ(books.ledger().size(), 4u);
}

// Draws come from the seed alone, and all fourteen symbols come up about equally often.
TEST_F(MachineKeeperTest, drawsAreSeededAndUniform) {
    MemoryBooks otherBooks;
    MachineKeeper twin(QStringLiteral("Rivet"), otherBooks, 20240601);
    std::array<int, kSymbolCount + 1> seen{};
    const int players = 4200;
    for (int i = 0; i < players; ++i) {
        const QString player = QString::number(i);
        const std::vector<Reply> mine = keeper.onPrivateMessage(player, "Register me!");
        ASSERT_EQ(mine, twin.onPrivateMessage(player, "Register me!"));
        for (int code : readFirst(mine.back().text).codes) {
            ASSERT_TRUE(isSymbol(code)) << code;
            ++seen[code];
        }
    }
    for (int code = 1; code <= kSymbolCount; ++code)
        EXPECT_NEAR(seen[code], players * 3 / kSymbolCount, 150) << "symbol " << code;
}

// A game is told only once the books took it; until then the same game waits.
TEST_F(MachineKeeperTest, nothingIsToldThatTheBooksDidNotTake) {
    books.failWrites = true;
    EXPECT_FALSE(carriesMarker(send("erin", "Register me!").join(' ')));
    EXPECT_EQ(record("erin"), PlayerRecord{});

    books.failWrites = false;
    const QString firstLine = send("erin", "Register me!").last();
    const PlayerRecord registered = record("erin");
    books.failWrites = true;
    const QStringList refused = send("erin", "I hold 1,1,1");
    ASSERT_EQ(refused.size(), 1);
    EXPECT_FALSE(carriesMarker(refused[0]));
    EXPECT_EQ(record("erin"), registered);

    books.failWrites = false;
    EXPECT_EQ(readFinal(send("erin", "I hold 1,1,1")[0]).codes, readFirst(firstLine).codes);
}

// Records read from storage are checked: broken ones are refused, and the largest credits
// allowed still fit the final-result line the player's program reads.
TEST_F(MachineKeeperTest, recordsFromStorageAreCheckedBeforePlay) {
    const qint64 most = kMaxShownCredits - 500;
    const PlayerRecord broken[] = {{-1, ReelCodes{1, 2, 3}},
                                   {0, ReelCodes{1, 2, 3}},
                                   {5, ReelCodes{0, 2, 3}},
                                   {5, ReelCodes{1, 2, 15}},
                                   {most + 1, std::nullopt}};
    for (const PlayerRecord& bad : broken) {
        books.save("frank", bad);
        EXPECT_FALSE(carriesMarker(send("frank", "Register me!").join(' ')));
        EXPECT_FALSE(carriesMarker(send("frank", "I hold 1,1,1").join(' ')));
        EXPECT_EQ(record("frank"), bad);
    }
    books.save("frank", {most, ReelCodes{4, 4, 4}});
    const QString final = send("frank", "I hold 1,1,1")[0];
    EXPECT_EQ(readFinal(final).codes, (ReelCodes{4, 4, 4}));
    EXPECT_EQ(readFinal(final).credits, most - 1 + 500);
}

} // namespace
