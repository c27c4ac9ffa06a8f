// What every store of the robot's books promises: a game is booked whole, only the one waiting
// and only once; a save only grants free credits; what was booked reads back as booked; the audit
// finds books changed behind the store's back; books taken away take nothing more. (Each store's
// own: sqlite_books_test, postgres_books_test; a damaged or missing file: keeper_start_test.)
#include "books/ledger_audit.h"

#include "support/book_entries.h"
#include "support/books_stores.h"
#include "support/qt_printers.h"
#include "support/wait_until.h"

#include <gtest/gtest.h>

#include <QDateTime>

#include <functional>

using namespace jackwell::books;
using namespace jackwell::machine;
using namespace jackwell::testing;

namespace {

template <typename Store> using KeeperBooksTest = StoreTest<Store>;

struct StoreName {
    template <typename Store> static std::string GetName(int) { return Store::kName; }
};

using Stores = ::testing::Types<jackwell::testing::SqliteStore, jackwell::testing::PostgresStore>;
TYPED_TEST_SUITE(KeeperBooksTest, Stores, StoreName);

// Records, last games, delivery marks (never back) and the ledger, durable and opened again.
TYPED_TEST(KeeperBooksTest, WhatWasBookedReadsBackAfterOpeningAgain) {
    const qint64 before = QDateTime::currentSecsSinceEpoch();
    const PlayerRecord start = registeredPlayer();
    const auto [first, afterFirst] = nextGame(start, {true, false, true}, {3, 14, 14}, {4, 6, 7});
    PlayerRecord granted = afterFirst;
    granted.credits += 50;
    granted.freeCreditsGranted += 50;
    const auto [second, afterSecond] =
        nextGame(granted, {true, false, false}, {4, 4, 4}, {1, 2, 3});
    {
        auto books = this->opened();
        ASSERT_TRUE(books->save("alice", start));
        ASSERT_TRUE(books->commitGame("alice", first, afterFirst));
        ASSERT_TRUE(books->save("alice", afterFirst)) << "nothing granted, no grant";
        ASSERT_TRUE(books->save("alice", granted));
        ASSERT_TRUE(books->commitGame("alice", second, afterSecond));
        ASSERT_TRUE(books->save("Bob", registeredPlayer()));
        ASSERT_TRUE(books->markFirstDrawsTold({{"Bob", 2}, {"nobody", 1}}))
            << "Bob's mark is for a game not waiting";
        ASSERT_TRUE(books->markDelivered({{"alice", 2}, {"nobody", 5}}));
        ASSERT_TRUE(books->markDelivered({{"alice", 0}})) << "marks never move back";
        ASSERT_TRUE(books->markFirstDrawsTold({})) << "nothing to mark";
        // What tells a player of a change awaits whenDurable(): answered later, in the order asked.
        QList<int> answers;
        for (int i = 1; i <= 3; ++i)
            books->whenDurable([&answers, i](bool durable) { answers << (durable ? i : -i); });
        EXPECT_TRUE(answers.isEmpty());
        ASSERT_TRUE(jackwell::testing::waitUntil([&] { return answers.size() == 3; }, 10000));
        EXPECT_EQ(answers, (QList<int>{1, 2, 3}));
    }
    auto books = this->opened();
    EXPECT_EQ(books->load("alice"), afterSecond);
    EXPECT_EQ(books->load("nobody"), PlayerRecord{}) << "a mark makes no player";
    const auto delivery = books->delivery("alice");
    ASSERT_TRUE(delivery);
    EXPECT_EQ(std::pair(delivery->lastGame, delivery->deliveredGame), std::pair(2LL, 2LL));
    EXPECT_EQ(delivery->lastOutcome, second);
    EXPECT_FALSE(delivery->onItsWayElsewhere);
    EXPECT_FALSE(delivery->firstDrawUntold) << "told with the result of the last game";
    EXPECT_EQ(books->load("Bob"), registeredPlayer()) << "each player's own row";
    EXPECT_TRUE(books->delivery("Bob")->firstDrawUntold);
    ASSERT_TRUE(books->markFirstDrawsTold({{"Bob", 1}}));
    EXPECT_FALSE(books->delivery("Bob")->firstDrawUntold);

    Ledger ledger;
    ASSERT_TRUE(books->readLedger(ledger)) << books->lastError();
    QStringList players, grants;
    for (const LedgerPlayer& p : ledger.players)
        players << QString::asprintf("%s %lld %lld %lld %lld", qPrintable(p.name), p.credits,
                                     p.gamesPlayed, p.tokensWon, p.freeCreditsGranted);
    EXPECT_EQ(players, (QStringList{"Bob 100 0 0 100", QStringLiteral("alice %1 2 %2 150")
                                                           .arg(afterSecond.credits)
                                                           .arg(afterSecond.tokensWon)}))
        << "in the order of the names' characters";
    for (const LedgerGrant& g : ledger.grants)
        grants << QStringLiteral("%1 %2 %3").arg(g.player).arg(g.afterGame).arg(g.credits);
    grants.sort();
    EXPECT_EQ(grants, (QStringList{"Bob 0 100", "alice 0 100", "alice 1 50"}));
    ASSERT_EQ(ledger.games.size(), 2u);
    const GameOutcome outcomes[] = {first, second};
    for (int i = 0; i < 2; ++i) {
        const LedgerGame& game = ledger.games[i];
        EXPECT_EQ(game.player, "alice");
        EXPECT_EQ(game.game, i + 1);
        EXPECT_EQ((GameOutcome{game.firstDraw, game.holds, game.finalDraw, game.creditsBefore,
                               game.cost, game.tokensWon, game.creditsAfter}),
                  outcomes[i]);
        EXPECT_EQ(game.machine, TypeParam::kMachine);
        EXPECT_GE(game.playedAt.toSecsSinceEpoch(), before);
        EXPECT_LE(game.playedAt.toSecsSinceEpoch(), QDateTime::currentSecsSinceEpoch());
    }
    // Balanced, but 50 free credits to a player who had some are against the machine's rules.
    const BooksAudit audit = books->audit();
    EXPECT_EQ(audit.faults,
              QStringList{"alice: 50 free credits granted after game 1 with 101 credits left"});
    EXPECT_EQ(std::pair(audit.players, audit.games), std::pair(2LL, 2LL));
}

// Only the waiting game is booked, from the player's credits, with its result, once; a save may
// grant free credits or change the waiting draw, no more. What is refused or fails changes nothing.
TYPED_TEST(KeeperBooksTest, OnlyBalancedChangesAreBooked) {
    auto books = this->opened();
    const PlayerRecord start = registeredPlayer();
    ASSERT_TRUE(books->save("alice", start));
    const auto [outcome, after] = nextGame(start, {false, false, false}, {1, 2, 3}, {4, 4, 4});
    const std::pair<const char*, std::function<void(GameOutcome&, PlayerRecord&)>> games[] = {
        {"another first draw",
         [](GameOutcome& o, PlayerRecord&) {
             o.firstDraw = {9, 9, 9};
         }},
        {"credits the player did not have",
         [](GameOutcome& o, PlayerRecord& a) {
             o.creditsBefore += 5;
             o.creditsAfter += 5;
             a.credits += 5;
         }},
        {"a result that does not follow", [](GameOutcome&, PlayerRecord& a) { a.credits += 1; }},
        {"a skipped game number", [](GameOutcome&, PlayerRecord& a) { a.gamesPlayed += 1; }},
        {"tokens that are not whole credits",
         [](GameOutcome& o, PlayerRecord& a) {
             o.tokensWon = 49;
             a.tokensWon = 49;
         }},
        {"free credits slipped in",
         [](GameOutcome&, PlayerRecord& a) { a.freeCreditsGranted += 1; }},
        {"a game that cost nothing",
         [](GameOutcome& o, PlayerRecord& a) {
             o.cost = 0;
             o.creditsAfter += 1;
             a.credits += 1;
         }},
    };
    for (const auto& [name, spoil] : games) {
        GameOutcome spoiltOutcome = outcome;
        PlayerRecord spoiltAfter = after;
        spoil(spoiltOutcome, spoiltAfter);
        ASSERT_TRUE(books->load("alice"));
        EXPECT_FALSE(books->commitGame("alice", spoiltOutcome, spoiltAfter)) << name;
        EXPECT_FALSE(books->changedElsewhere()) << name;
    }
    EXPECT_FALSE(books->commitGame("nobody", outcome, after)) << "a player without a record";
    // The ledger takes the game, the player's record fails: the row goes too, alone or batched.
    this->tamper(TypeParam::kBreakPlayerUpdates);
    for (const bool batched : {false, true}) {
        ASSERT_TRUE(!batched || books->beginBatch());
        EXPECT_FALSE(books->commitGame("alice", outcome, after));
        const QString error = books->lastError(); // each time the refusal, not a lost link
        EXPECT_TRUE(error.contains("disk trouble") && !error.contains("connection")) << error;
        if (batched)
            books->rollbackBatch();
    }
    EXPECT_EQ(books->audit().games, 0);
    this->tamper(TypeParam::kMendPlayerUpdates);
    EXPECT_EQ(books->load("alice"), start) << "refused games change nothing";

    ASSERT_TRUE(books->beginBatch()); // nothing left of the batch given up
    ASSERT_TRUE(books->commitGame("alice", outcome, after)) << books->lastError();
    ASSERT_TRUE(books->commitBatch()) << books->lastError();
    ASSERT_TRUE(books->load("alice"));
    EXPECT_FALSE(books->commitGame("alice", outcome, after)) << "the same game a second time";
    EXPECT_EQ(books->load("alice"), after);

    const std::tuple<const char*, std::function<void(PlayerRecord&)>, bool> saves[] = {
        {"a new waiting draw",
         [](PlayerRecord& r) {
             r.pendingFirstDraw = {7, 7, 7};
         },
         true},
        {"no waiting draw", [](PlayerRecord& r) { r.pendingFirstDraw.reset(); }, true},
        {"a credit granted",
         [](PlayerRecord& r) {
             r.credits += 1;
             r.freeCreditsGranted += 1;
         },
         true},
        {"credits out of nowhere", [](PlayerRecord& r) { r.credits += 1; }, false},
        {"credits taken back",
         [](PlayerRecord& r) {
             r.credits -= 100;
             r.freeCreditsGranted -= 100;
         },
         false},
        {"games counted without the ledger", [](PlayerRecord& r) { r.gamesPlayed += 1; }, false},
        {"tokens counted without the ledger", [](PlayerRecord& r) { r.tokensWon += 50; }, false},
    };
    for (const auto& [name, change, accepted] : saves) {
        ASSERT_TRUE(books->delivery("alice"));
        PlayerRecord changed = *books->load("alice");
        const PlayerRecord before = changed;
        change(changed);
        EXPECT_EQ(books->save("alice", changed), accepted) << name;
        EXPECT_EQ(books->load("alice"), accepted ? changed : before) << name;
    }
    PlayerRecord stranger;
    stranger.credits = 5;
    EXPECT_FALSE(books->save("bob", stranger)) << "a first record with credits never granted";
    const BooksAudit audit = books->audit();
    EXPECT_EQ(audit.faults, QStringList{"alice: 1 free credits granted after game 1 with 99 "
                                        "credits left"})
        << "balanced, but granted against the rules";
    EXPECT_EQ(audit.games, 1);

    // A booked game or a waiting draw damaged or gone behind the books' back is refused, unread.
    this->tamper("UPDATE games SET holds = '1,0'");
    EXPECT_TRUE(!books->delivery("alice") && books->lastError().contains("game is damaged"));
    this->tamper("DELETE FROM games");
    EXPECT_TRUE(!books->delivery("alice") && books->lastError().contains("game is missing"));
    this->tamper("UPDATE players SET pending = '01,02,99'");
    EXPECT_TRUE(!books->load("alice") &&
                books->lastError().contains("draw of a player is damaged"));
}

// Each change names a column the audit must read right; each gives books that do not add up.
TYPED_TEST(KeeperBooksTest, TheAuditFindsBooksChangedBehindItsBack) {
    const char* damages[] = {
        "UPDATE players SET credits = credits + 1 WHERE name = 'alice'",
        "UPDATE players SET games_played = 2 WHERE name = 'alice'",
        "DELETE FROM players WHERE name = 'alice'",
        "DELETE FROM games WHERE player = 'alice' AND game = 2",
        "UPDATE games SET tokens_won = 0 WHERE player = 'alice' AND game = 2",
        "UPDATE games SET tokens_won = 9007199254740993 WHERE player = 'alice' AND game = 2",
        "UPDATE games SET game = 7 WHERE player = 'alice' AND game = 3",
        "UPDATE grants SET credits = 200 WHERE player = 'bob'",
        "UPDATE grants SET after_game = 2 WHERE player = 'alice'",
    };
    for (const char* damage : damages) {
        SCOPED_TRACE(damage);
        this->startAfresh();
        {
            auto books = this->opened();
            PlayerRecord record = registeredPlayer();
            ASSERT_TRUE(books->save("alice", record));
            for (ReelCodes final : {ReelCodes{1, 2, 14}, ReelCodes{4, 4, 4}, ReelCodes{6, 7, 8}}) {
                const auto [outcome, after] = nextGame(record, {}, final, {1, 1, 2});
                ASSERT_TRUE(books->commitGame("alice", outcome, after));
                record = after;
            }
            ASSERT_TRUE(books->save("bob", registeredPlayer()));
            ASSERT_TRUE(books->audit().balanced());
        }
        this->tamper(QString::fromLatin1(damage));
        const BooksAudit audit = this->opened(BooksPurpose::Audit)->audit();
        EXPECT_FALSE(audit.balanced());
        EXPECT_FALSE(audit.faults.isEmpty() || audit.faults.contains(QString())) << "each named";
    }
}

// A batch keeps nothing until committed (a robot killed meanwhile leaves the books as they were);
// a change refused in it undoes only itself; one the server fails may fail it, as its commit says.
TYPED_TEST(KeeperBooksTest, ABatchIsKeptWholeOnlyOnceCommitted) {
    const PlayerRecord start = registeredPlayer();
    const auto [outcome, after] = nextGame(start, {true, true, true}, {3, 3, 14}, {1, 2, 3});
    {
        auto books = this->opened();
        ASSERT_TRUE(books->beginBatch());
        ASSERT_TRUE(books->save("alice", start));
        ASSERT_TRUE(books->save("bob", start));
        ASSERT_TRUE(books->commitGame("alice", outcome, after));
        EXPECT_FALSE(books->commitGame("alice", outcome, after)) << "refused inside the batch";
        EXPECT_EQ(books->load("alice"), after) << "a refusal undoes only itself";
        // The program ends here without committing, as if killed.
    }
    auto books = this->opened(); // the robot started again at once keeps its books
    EXPECT_EQ(books->load("alice"), PlayerRecord{});
    EXPECT_EQ(books->audit().players, 0);
    ASSERT_TRUE(books->beginBatch());
    ASSERT_TRUE(books->save("alice", start));
    books->rollbackBatch();
    EXPECT_FALSE(books->inBatch());
    EXPECT_EQ(books->load("alice"), PlayerRecord{}) << "a batch given up keeps nothing";
    EXPECT_TRUE(books->commitBatch()) << "no batch: nothing to commit";
    ASSERT_TRUE(books->beginBatch());
    ASSERT_TRUE(books->save("alice", start));
    ASSERT_TRUE(books->commitGame("alice", outcome, after));
    ASSERT_TRUE(books->markDelivered({{"alice", 1}, {"alice", 0}, {"nobody", 2}}));
    EXPECT_EQ(books->load("bob"), PlayerRecord{}) << "a read, in the batch";
    ASSERT_TRUE(books->commitBatch()) << books->lastError();
    EXPECT_FALSE(books->inBatch());
    EXPECT_EQ(books->load("alice"), after);
    EXPECT_EQ(books->delivery("alice")->deliveredGame, 1);

    const auto [second, afterSecond] = nextGame(after, {}, {4, 4, 4}, {5, 5, 5});
    this->tamper(TypeParam::kBreakPlayerUpdates);
    ASSERT_TRUE(books->beginBatch());
    ASSERT_TRUE(books->save("bob", start));
    EXPECT_FALSE(books->commitGame("alice", second, afterSecond));
    EXPECT_EQ(books->load("alice"), after) << "what follows in the batch is read as before";
    const bool committed = books->commitBatch();
    this->tamper(TypeParam::kMendPlayerUpdates);
    EXPECT_EQ(books->load("bob"), committed ? start : PlayerRecord{});
    EXPECT_TRUE(books->audit().balanced());
}

// A name the store cannot keep whole is refused, never cut short to another player's name.
TYPED_TEST(KeeperBooksTest, AnyNameKeepsItsOwnBooks) {
    auto books = this->opened();
    const QString names[] = {
        "alice",
        "Alice",
        "alice'; DELETE FROM players; --",
        QString(256, u'x'),
        QString::fromUtf8("\xC3\xA9l\xC3\xA8ve"),
        "a",
    };
    const auto drawFor = [](int i) { return ReelCodes{i + 1, 2, 14 - i}; };
    for (int i = 0; i < int(std::size(names)); ++i) {
        ASSERT_TRUE(books->load(names[i]));
        ASSERT_TRUE(books->save(names[i], registeredPlayer(drawFor(i)))) << i;
    }
    const QString withNul = QStringLiteral("a%1b").arg(QChar(0));
    EXPECT_EQ(bool(books->load(withNul)), TypeParam::kKeepsNamesWithNul);
    const bool kept = books->save(withNul, registeredPlayer({9, 9, 9}));
    EXPECT_EQ(kept, TypeParam::kKeepsNamesWithNul);
    // A delivery mark for a name the books cannot keep marks nothing, and is no failure.
    EXPECT_TRUE(books->markDelivered({{withNul, 1}}));
    for (int i = 0; i < int(std::size(names)); ++i)
        EXPECT_EQ(books->load(names[i]), registeredPlayer(drawFor(i))) << i;
    if (kept) {
        EXPECT_EQ(books->load(withNul), registeredPlayer({9, 9, 9}));
    }
    EXPECT_EQ(books->audit().players, qint64(std::size(names)) + kept);
}

// Books gone from under the robot take nothing more and say so for good, booking nothing unseen.
TYPED_TEST(KeeperBooksTest, BooksTakenAwayWhileOpenTakeNoMoreChanges) {
    for (int way = 0; way < TypeParam::kWaysToTakeAway; ++way) {
        SCOPED_TRACE(way);
        this->startAfresh();
        auto books = this->opened();
        const PlayerRecord start = registeredPlayer();
        ASSERT_TRUE(books->save("alice", start));
        const auto [outcome, after] = nextGame(start, {true, true, true}, {3, 3, 14}, {1, 1, 1});
        this->takeAway(way);
        EXPECT_FALSE(books->save("alice", PlayerRecord{})) << "refused, and the books are gone";
        EXPECT_TRUE(books->failedForGood()) << books->lastError();
        EXPECT_FALSE(books->commitGame("alice", outcome, after));
        EXPECT_TRUE(books->failedForGood()) << books->lastError();
        EXPECT_FALSE(books->save("bob", registeredPlayer()));
    }
}

} // namespace
