// The machinekeeper as players meet it, its lines read by the player's program's own handlers.
#include "machine/machine_keeper.h"
#include "machine/memory_books.h"
#include "machine/messages.h"
#include "machine/texts.h"
#include "protocol/handlers.h"
#include "protocol/markers.h"
#include "protocol/tokenizer.h"
#include "reels/card_state.h"
#include "reels/payouts_state.h"

#include <gtest/gtest.h>

#include <QRegularExpression>

using namespace jackwell::machine;

namespace {

const QString kOffer = QStringLiteral(
    "The slotmachine is programmed for free games! Click 'Free Game' to activate your "
    "Free-Game-Mode! Amount of credits you get: 100");
const QString kPayouts = QStringLiteral("Payouts (3 of a kind, 2 and 1 cherries): "
                                        "25000:10000:5000:2500:1000:500:500:400:400:400:300:300:"
                                        "300:200:100:50");
const QRegularExpression kFirstShape(QStringLiteral("^") +
                                     QRegularExpression::escape(QString(kFirstDrawHead)) +
                                     QStringLiteral(R"( \| \d\d \| \d\d \| \d\d \|$)"));

// Reads a result line of Rivet's as the player's program reads it: the symbols its draw puts
// into the result pictures (0 where none reads) and, for a final line, the credits shown.
struct Reading {
    ReelCodes codes;
    QString credits;
};
Reading readAsTheCard(const QString& text) {
    jackwell::CardState state;
    for (jackwell::Reel& reel : state.reels)
        reel.resultPicture.image = jackwell::kNoImage;
    jackwell::PayoutsState payouts;
    jackwell::Tokenizer tokenizer;
    jackwell::handleFirstResult(state, payouts, tokenizer, "ESP from Rivet: " + text);
    jackwell::handleFinalResult(state, tokenizer, "ESP from Rivet: " + text);
    ReelCodes codes;
    for (int reel = 0; reel < kReelCount; ++reel)
        codes[reel] = state.reels[reel].resultPicture.image;
    return {codes, state.credits};
}

// The first-result line among a reply's lines.
QString firstDrawOf(const QStringList& lines) {
    const auto found = std::ranges::find_if(
        lines, [](const QString& line) { return line.startsWith(kFirstDrawHead); });
    return found == lines.end() ? QString() : *found;
}

bool carriesMarker(const QString& text) {
    for (QLatin1StringView head :
         {kFirstDrawHead, kFinalDrawHead, kPayoutsWord, kKeeperHead, kFreeGameOfferHead}) {
        if (text.contains(head))
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
            EXPECT_EQ(reply, (Reply{false, player, reply.text}));
            texts << reply.text;
        }
        return texts;
    }
    PlayerRecord record(const QString& player) { return *books.load(player); }

    FlakyBooks books;
    MachineKeeper keeper{"Rivet", books, 20240601};
};

TEST_F(MachineKeeperTest, registeringGivesFreeCreditsOnceRepeatsTheWaitingDrawPerPlayer) {
    EXPECT_EQ(MachineKeeper("Gizmo", books, 1).bannerLines().last(),
              "Your machinekeeper is Gizmo. Send 'Register me!' to play.");
    const QStringList first = send("alice", "Register me!");
    ASSERT_EQ(first.size(), 4);
    EXPECT_EQ(first[0], kOffer);
    EXPECT_EQ(first[1], kPayouts);
    EXPECT_TRUE(kFirstShape.match(first[2]).hasMatch()) << first[2].toStdString();
    EXPECT_EQ(first[3], "Click START to see your first draw. Click HOLD under the reels to keep, "
                        "then ESP HOLD.");
    const PlayerRecord booked = record("alice");
    EXPECT_EQ(booked.credits, 100);
    EXPECT_EQ(booked.pendingFirstDraw, readAsTheCard(first[2]).codes);

    // Asked again, the machine tells the credits the player has instead of giving more.
    EXPECT_EQ(send("alice", "Register me!"),
              QStringList({"CREDITS: (100)", kPayouts, first[2], first[3]}));

    // Each player has books of their own.
    const QString odd = "alice: FIRST:\r\n";
    const QString longest(256, 'n'); // the longest name taken
    for (const QString& player : {QString("bob"), QString("Alice"), odd, longest}) {
        ASSERT_EQ(send(player, "Register me!").size(), 4);
        ASSERT_EQ(send(player, "I hold 0,0,0").size(), 3);
    }
    EXPECT_TRUE(send("", "Register me!").isEmpty());
    EXPECT_TRUE(send(longest + 'n', "Register me!").isEmpty());
    EXPECT_EQ(record("alice"), booked);
    EXPECT_TRUE(record(odd).gamesPlayed == 1 && books.ledger().size() == 4u);
}

// The game that uses the last credit draws no next one; registering then gives a new free game.
TEST_F(MachineKeeperTest, aPlayerWhoRunsDryIsOfferedANewFreeGame) {
    books.save("bob", {1, ReelCodes{1, 2, 3}, 99, 0, 100});
    EXPECT_EQ(send("bob", "Register me!").first(), "CREDITS: (1)") << "a credit left: no gift";
    const QStringList lines = send("bob", "I hold 1,1,1");
    ASSERT_EQ(lines.size(), 3);
    EXPECT_EQ(readAsTheCard(lines[0]).codes, (ReelCodes{1, 2, 3}));
    EXPECT_EQ(readAsTheCard(lines[0]).credits, "0");
    EXPECT_EQ(lines[1], "Click FINISH for the final draw.") << "never the outcome before FINISH";
    EXPECT_TRUE(lines[2].startsWith("Your credits are used up.")) << lines[2].toStdString();
    EXPECT_EQ(record("bob"), (PlayerRecord{0, std::nullopt, 100, 0, 100}));

    EXPECT_EQ(send("bob", "Register me!").first(), kOffer);
    EXPECT_EQ(record("bob").credits, 100);
    EXPECT_EQ(record("bob").freeCreditsGranted, 200);
}

// Only a good request for a waiting game books or answers in protocol; the help is short, no echo.
TEST_F(MachineKeeperTest, unexpectedMessagesGetHelpAndChangeNothing) {
    send("carol", "Register me!");
    QStringList texts = {
        "I hold 1,0",     "I hold 1,0,2", "I hold 1,0,1 ", " I hold 1,0,1", "I hold  1,0,1",
        "i hold 1,0,1",   "I hold 1;0;1", "I hold 1,0;1",  "I hold 10,0,1", "I hold ",
        "I hold 1,0,1,1", "register me!", "Register me! ", "Register me",   ""};
    texts << "FINAL: | 04 | 04 |"
          << "hi\r\nESP from Rivet: FIRST: | 04 | 04 | 04 |" << QString(1'000'000, 'x')
          << QChar(0) + QString::fromUtf8("\u00e9\U0001F600");
    for (const QString& player : QStringList{"carol", "dave"}) {
        const auto before = books.load(player);
        for (const QString& text : texts) {
            const QStringList reply = send(player, text);
            ASSERT_EQ(reply.size(), 1) << text.left(40).toStdString();
            EXPECT_LT(reply[0].size(), 200);
            EXPECT_FALSE(carriesMarker(reply[0])) << reply[0].toStdString();
        }
        EXPECT_EQ(books.load(player), before);
    }
    // Holds before any first draw are answered with what the machine waits for.
    EXPECT_EQ(send("dave", "I hold 1,1,1"),
              QStringList{"Your holds came before any first draw: click REGISTER (or send "
                          "'Register me!') for a game, then START to see its first draw."});
    EXPECT_EQ(record("dave"), PlayerRecord{});
    EXPECT_TRUE(books.ledger().empty());
}

// Draws come from the seed alone, and all fourteen symbols come up about equally often.
TEST_F(MachineKeeperTest, drawsAreSeededAndUniform) {
    MemoryBooks otherBooks;
    MachineKeeper twin("Rivet", otherBooks, 20240601);
    std::array<int, kSymbolCount + 1> seen{};
    const int players = 4200;
    for (int i = 0; i < players; ++i) {
        const std::vector<Reply> mine = keeper.onPrivateMessage(QString::number(i), "Register me!");
        ASSERT_EQ(mine, twin.onPrivateMessage(QString::number(i), "Register me!"));
        for (int code : readAsTheCard(mine[2].text).codes) {
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
    const QString firstLine = firstDrawOf(send("erin", "Register me!"));
    const PlayerRecord registered = record("erin");
    books.failWrites = true;
    EXPECT_FALSE(carriesMarker(send("erin", "I hold 1,1,1").join(' ')));
    EXPECT_EQ(record("erin"), registered);

    books.failWrites = false;
    EXPECT_EQ(readAsTheCard(send("erin", "I hold 1,1,1")[0]).codes, readAsTheCard(firstLine).codes);
}

// Stored records are checked: broken ones refused, the largest credits fit the final-result line.
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
    const Reading final = readAsTheCard(send("frank", "I hold 1,1,1")[0]);
    EXPECT_EQ(final.codes, (ReelCodes{4, 4, 4}));
    EXPECT_EQ(final.credits, QString::number(most - 1 + 500));
}

// The card tells a final draw's outcome in words, with the credits it shows; wins name their row.
TEST(OutcomeSentence, tellsTheWinningRowTheTokensAndTheCredits) {
    const std::tuple<ReelCodes, QString, const char*> rows[] = {
        {{2, 2, 2}, "105", "Three grapes: you win 300 tokens (6 credits). Credits: 105."},
        {{5, 5, 5}, "119", "Three gold bars: you win 1000 tokens (20 credits). Credits: 119."},
        {{14, 14, 14}, "103", "Three cherries: you win 200 tokens (4 credits). Credits: 103."},
        {{14, 3, 14}, "101", "Two cherries: you win 100 tokens (2 credits). Credits: 101."},
        {{1, 14, 5}, "100", "One cherry: you win 50 tokens (1 credit). Credits: 100."},
        {{7, 7, 14}, "100", "One cherry: you win 50 tokens (1 credit). Credits: 100."},
        {{14, 7, 7}, "100", "One cherry: you win 50 tokens (1 credit). Credits: 100."},
        {{1, 2, 3}, "98", "No win this time. Credits: 98."},
        {{7, 7, 6}, "0", "No win this time. Credits: 0."},
        {{0, 14, 0}, "12", "One cherry: you win 50 tokens (1 credit). Credits: 12."},
    };
    for (const auto& [draw, credits, sentence] : rows)
        EXPECT_EQ(outcomeSentence(draw, credits), sentence);
}

// Every plain sentence the machinekeeper says, as in the chat; the card's words for an outcome.
QStringList plainSentences() {
    QStringList sentences = {kCreditsUsedUp,      kNoGameWaiting, kHoldFormatHelp,
                             kUnknownRequestHelp, kOutOfOrder,    firstDrawLines({1, 2, 3}).last(),
                             kFinishHint};
    for (int a = 1; a <= kSymbolCount; ++a) {
        for (const ReelCodes& draw :
             {ReelCodes{a, a, a}, ReelCodes{a, 14, 14}, ReelCodes{a, 1, 14}, ReelCodes{a, 2, 3}})
            for (qint64 credits : {qint64(0), qint64(105), kMaxShownCredits})
                sentences << outcomeSentence(draw, QString::number(credits));
    }
    return sentences;
}

// The help a player reads, word for word, with the requests it quotes (holds that came too early:
// unexpectedMessagesGetHelpAndChangeNothing). Its sentences hold none of the texts the card looks
// for: read by its handlers after a whole game's lines, in any kind of line, they change nothing.
TEST(PlainSentences, quoteTheRequestsCarryNoMarkerAndChangeNothingOnTheCard) {
    EXPECT_EQ(QStringList({kCreditsUsedUp, kHoldFormatHelp, kUnknownRequestHelp}),
              QStringList({"Your credits are used up. Send 'Register me!' for a new free game.",
                           "Send your holds as 'I hold' and three digits 0 or 1 separated by "
                           "commas, for example 'I hold 1,0,1'.",
                           "I understand 'Register me!' to play and, during a game, your holds as "
                           "in 'I hold 1,0,1'."}));
    const QStringList markers = {jackwell::kKeeperMarker,   jackwell::kFirstMarker,
                                 jackwell::kFirstBodyStart, jackwell::kFinalMarker,
                                 jackwell::kFinalBodyStart, jackwell::kPayoutsMarker,
                                 jackwell::kOfferMarker};
    const QString game =
        QStringList{"Rivet: Your machinekeeper is Rivet. Send 'Register me!' to play.",
                    "ESP from Rivet: " + kOffer,
                    "ESP from Rivet: " + kPayouts,
                    "ESP from Rivet: FIRST: | 02 | 02 | 04 |",
                    "ESP to Rivet: I hold 1,1,0",
                    "ESP from Rivet: FINAL: | 02 | 02 | 02 | Credits: (105)"}
            .join("\r\n");
    const auto readAll = [](const QString& text) {
        std::pair<jackwell::CardState, jackwell::PayoutsState> card;
        jackwell::Tokenizer tokenizer;
        jackwell::findMachineKeeper(card.first, tokenizer, text);
        jackwell::handleFirstResult(card.first, card.second, tokenizer, text);
        jackwell::handleFinalResult(card.first, tokenizer, text);
        return card;
    };
    const auto before = readAll(game);
    ASSERT_EQ(before.first.machineKeeperName, "Rivet");
    ASSERT_EQ(before.first.credits, "105");
    for (const QString& sentence : plainSentences()) {
        for (const QString& marker : markers)
            EXPECT_FALSE(sentence.contains(marker)) << sentence.toStdString();
        for (const char* prefix : {"ESP from Rivet: ", "ESP to Rivet: ", "Rivet: "}) {
            const QString line = QLatin1String(prefix) + sentence;
            EXPECT_TRUE(readAll(game + "\r\n" + line) == before) << line.toStdString();
            EXPECT_TRUE(readAll(line) == readAll(QString())) << line.toStdString();
        }
    }
}

} // namespace
