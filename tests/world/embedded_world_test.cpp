// The program against the embedded world in virtual time: the card shows what was booked.
#include "protocol/markers.h"
#include "support/card_rig.h"
#include "world/embedded_world.h"
#include "world/public_life.h"

#include <QRegularExpression>

#include <random>

namespace jackwell {
namespace {

using world::EmbeddedWorld;
using world::EmbeddedWorldConfig;

const QString kPlayer = QStringLiteral("Player");
const QString kWin = QStringLiteral("win.wav");
const QString kLoss = QStringLiteral("loss.wav");

// A world that answers at once, the same each run; its bystanders talk only with `publicLife`.
EmbeddedWorldConfig promptWorld(bool publicLife = false) {
    EmbeddedWorldConfig config;
    config.replyDelayMinMs = 0;
    config.replyDelayMaxMs = 0;
    config.publicLife = publicLife;
    config.seed = 20260612;
    return config;
}

struct Rig : testing::CardRig<EmbeddedWorld> {
    explicit Rig(EmbeddedWorldConfig config = promptWorld())
        : CardRig([config](VirtualClock& clock) {
            return std::make_unique<EmbeddedWorld>(clock, config);
        }) {
        options.playWinSound = CheckState::Ticked;
        options.winSoundFile = kWin;
        options.playLoseSound = CheckState::Ticked;
        options.loseSoundFile = kLoss;
    }
    machine::PlayerRecord books() { return *backend->books().load(kPlayer); }
};

// Plays one game from START with the holds; checks the card against the books, they the pay table.
void playOneGame(Rig& rig, const machine::HoldMask& holds) {
    const auto ledgerBefore = rig.backend->books().ledger().size();
    const auto soundsBefore = rig.sound.played.size();

    ASSERT_TRUE(rig.clickAndWait(&Card::start)); // START
    const machine::PlayerRecord waiting = rig.books();
    ASSERT_TRUE(waiting.pendingFirstDraw);
    for (int reel = 0; reel < 3; ++reel)
        ASSERT_EQ(codeValue(rig.state.reels[reel].firstCode), (*waiting.pendingFirstDraw)[reel]);
    ASSERT_EQ(rig.state.credits, QString::number(waiting.credits));

    for (int reel = 0; reel < 3; ++reel) {
        if (holds[reel])
            rig.hold(reel);
    }
    rig.click(&Card::sendHolds);                  // ESP HOLD
    ASSERT_TRUE(rig.clickAndWait(&Card::finish)); // FINISH, then the evaluation

    const auto& ledger = rig.backend->books().ledger();
    ASSERT_EQ(ledger.size(), ledgerBefore + 1);
    const machine::GameOutcome& game = ledger.back().outcome;
    EXPECT_EQ(game.holds, holds);
    EXPECT_EQ(game.firstDraw, *waiting.pendingFirstDraw);
    EXPECT_EQ(game.tokensWon, machine::tokensWon(game.finalDraw));
    EXPECT_EQ(game.creditsBefore, waiting.credits);
    EXPECT_EQ(game.creditsAfter, waiting.credits - 1 + game.tokensWon / 50);
    for (int reel = 0; reel < 3; ++reel) {
        const Reel& shown = rig.state.reels[reel];
        EXPECT_EQ(codeValue(shown.finalCode), game.finalDraw[reel]);
        EXPECT_EQ(shown.resultPicture.image, game.finalDraw[reel]);
        if (holds[reel]) {
            EXPECT_EQ(game.finalDraw[reel], game.firstDraw[reel]) << "held reel " << reel;
        }
    }
    EXPECT_EQ(rig.state.credits, QString::number(rig.books().credits));
    EXPECT_EQ(rig.state.tokens, QStringLiteral("(%1)").arg(rig.books().credits * 50));
    ASSERT_EQ(rig.sound.played.size(), soundsBefore + 1);
    EXPECT_EQ(rig.sound.played.back().file, game.tokensWon > 0 ? kWin : kLoss);
}

// The machinekeeper greets in public and GET HOST finds it. Hundreds of random-hold games: after
// each the card's credits are the books', the reels show its draw, held reels keep the first, the
// table paid, and the winning sound plays exactly when it paid. One run dry registers again.
TEST(EmbeddedWorld, theCardKeepsToBalancedBooksOverHundredsOfGames) {
    Rig rig;
    EXPECT_EQ(rig.logLines(),
              QStringList({"Rivet: --- Welcome to Brolt Slot Machine V2.04 ---",
                           "Rivet: Your machinekeeper is Rivet. Send 'Register me!' to play."}));
    rig.click(&Card::findHost); // GET HOST
    EXPECT_TRUE(rig.state.machineKeeperName == "Rivet" && rig.state.nameBox == "Rivet");

    std::mt19937 random(7);
    std::bernoulli_distribution hold(0.4);
    int registrations = 0, wins = 0, redrawnChanged = 0;
    for (int game = 0; game < 300; ++game) {
        SCOPED_TRACE(game);
        if (!rig.books().pendingFirstDraw) {
            rig.click(&Card::askToRegister); // REGISTER
            ++registrations;
        }
        playOneGame(rig, {hold(random), hold(random), hold(random)});
        if (::testing::Test::HasFailure())
            return;
        const machine::GameOutcome& outcome = rig.backend->books().ledger().back().outcome;
        wins += outcome.tokensWon > 0;
        for (int reel = 0; reel < 3; ++reel)
            redrawnChanged +=
                !outcome.holds[reel] && outcome.finalDraw[reel] != outcome.firstDraw[reel];
    }
    EXPECT_GT(wins, 0);
    EXPECT_LT(wins, 300);
    EXPECT_GT(registrations, 1);
    EXPECT_GT(redrawnChanged, 300); // free reels are drawn again
    // The machinekeeper's payout table reached the card, as received.
    EXPECT_TRUE(rig.card.payouts.exists && rig.card.payouts.amounts[0] == " 25000");
    const machine::PlayerRecord record = rig.books();
    EXPECT_EQ(record.gamesPlayed, 300);
    EXPECT_EQ(record.freeCreditsGranted, 100 * registrations);
    EXPECT_EQ(record.credits, record.freeCreditsGranted - 300 + record.tokensWon / 50);
}

TEST(EmbeddedWorld, privateMessagesToOthersGetANoticeAndNoAnswer) {
    const std::tuple<QString, bool, QString> rows[] = {
        {QString(64, u'b'), true,
         "<system>: There is no avatar named " + QString(64, u'b') + " here."},
        {"Mabel", true, "<system>: Mabel is not taking private messages."},
        {"Mabel", false, "<system>: There is no avatar named Mabel here."},
        {"x: Your machinekeeper is", false, "<system>: There is no avatar by that name here."},
        {QString(65, u'a'), false, "<system>: There is no avatar by that name here."},
    };
    for (const auto& [recipient, bystanders, notice] : rows) {
        SCOPED_TRACE(recipient.toStdString());
        Rig rig(promptWorld(bystanders));
        QStringList gone; // what the program hears: nobody of that name takes the message
        rig.chat.setPeerGoneHandler([&](const QString& name) { gone << name; });
        rig.chat.sendPrivateMessage(recipient, "Register me!");
        rig.clock.advance(5000); // the bystanders say nothing this soon
        EXPECT_EQ(gone, QStringList{recipient});
        EXPECT_EQ(rig.logLines().mid(2),
                  QStringList({"ESP to " + recipient + ": Register me!", notice}));
        EXPECT_EQ(rig.books(), machine::PlayerRecord{});
        EXPECT_EQ(rig.backend->pendingMessages(), 0);
    }
    Rig rig; // the machinekeeper's name in any case reaches it
    rig.chat.sendPrivateMessage("rIVET", "Register me!");
    rig.clock.settle();
    EXPECT_EQ(rig.books().credits, 100);
    // The statistics read the games from the machinekeeper's own books.
    ASSERT_EQ(rig.backend->keptGames(), rig.backend);
    EXPECT_TRUE(rig.backend->readKeptGames().games.empty());
    rig.chat.sendPrivateMessage("Rivet", "I hold 0,0,0");
    rig.clock.settle();
    const KeptGames::Reading kept = rig.backend->readKeptGames();
    ASSERT_EQ(kept.games.size(), 1u);
    EXPECT_EQ(kept.games[0].creditsAfter, rig.books().credits);
    EXPECT_EQ(kept.games[0].cost, 1);
    EXPECT_EQ(kept.source, "Rivet's books, kept in memory until the card closes");
}

// The machinekeeper answers as quickly as a person who knows the reply (150 to 400 ms by default),
// in order; a world closed meanwhile books nothing, one destroyed leaves nothing due on the clock.
TEST(EmbeddedWorld, answersAfterAQuickHumanDelayInOrderAndNotAfterClosing) {
    for (quint64 seed = 1; seed <= 20; ++seed) {
        SCOPED_TRACE(seed);
        EmbeddedWorldConfig config = promptWorld();
        config.replyDelayMinMs = EmbeddedWorldConfig().replyDelayMinMs;
        config.replyDelayMaxMs = EmbeddedWorldConfig().replyDelayMaxMs;
        config.seed = seed;
        Rig rig(config);
        rig.chat.sendPrivateMessage("Rivet", "Register me!");
        rig.chat.sendPrivateMessage("Rivet", "I hold 1,0,1");
        rig.clock.advance(149);
        EXPECT_EQ(rig.logLines().size(), 4);
        EXPECT_EQ(rig.backend->pendingMessages(), 2);
        rig.clock.advance(400 - 149);
        EXPECT_LE(rig.backend->pendingMessages(), 1);
        rig.clock.advance(400);
        const QStringList answers = rig.logLines().mid(4);
        const QStringList starts = {"The slotmachine is programmed",
                                    "Payouts",
                                    "FIRST:",
                                    "Click START",
                                    "FINAL:",
                                    "", // the outcome in words, then the next step
                                    "FIRST:"};
        ASSERT_EQ(answers.size(), starts.size());
        for (int i = 0; i < starts.size(); ++i)
            EXPECT_TRUE(answers[i].startsWith("ESP from Rivet: " + starts[i])) << i;

        rig.chat.sendPrivateMessage("Rivet", "I hold 0,0,0");
        rig.backend->close();
        rig.backend->sayInPublic("anyone?"); // said to nobody
        ASSERT_TRUE(rig.backend->open({}));  // and opened again, it greets no more
        rig.clock.advance(5000);
        EXPECT_EQ(rig.logLines().size(), 4 + 7 + 1);
        EXPECT_EQ(rig.books().gamesPlayed, 1);
    }
    Rig destroyed; // the answer is due when the link closes
    destroyed.chat.sendPrivateMessage("Rivet", "Register me!");
    destroyed.library.KillDDE();
    EXPECT_EQ(destroyed.clock.nextDueIn(), -1);
}

bool carriesKeeperMarker(const QString& line) {
    for (const QString& marker :
         {kKeeperMarker, kFirstMarker, kFinalMarker, kPayoutsMarker, kOfferMarker}) {
        if (line.contains(marker))
            return true;
    }
    return false;
}

// Bystanders chat, come and go; only the keeper and the world mark lines; the card plays on.
TEST(EmbeddedWorld, publicLifeNeverMisleadsTheCard) {
    Rig rig(promptWorld(true));
    rig.clock.advance(30 * 60'000);
    rig.click(&Card::findHost);
    EXPECT_EQ(rig.card.state.machineKeeperName, "Rivet");
    rig.click(&Card::askToRegister);
    for (int game = 0; game < 5; ++game)
        playOneGame(rig, {game % 2 == 0, false, true});

    int chatter = 0, notices = 0, marked = 0;
    for (const QString& line : rig.logLines()) {
        if (line.startsWith("Rivet: ") || line.startsWith("ESP "))
            continue;
        if (line.startsWith("<system>: ")) {
            ++notices;
            marked += carriesKeeperMarker(line);
            continue;
        }
        ++chatter;
        EXPECT_FALSE(carriesKeeperMarker(line)) << line;
    }
    EXPECT_GT(chatter, 0);
    EXPECT_GT(marked, 0);
    EXPECT_GT(notices, marked); // comings and goings too
}

// Left alone, the bystanders fall quiet; the player's next message wakes them. Kept talking, the
// world posts its marked notice as about three lines in twenty, and whoever comes in speaks.
TEST(EmbeddedWorld, publicLifeFallsQuietWithoutThePlayerAndPostsTheMarkedNoticeAtItsRate) {
    EmbeddedWorldConfig config = promptWorld(true);
    config.lifePace = {1000, 2000, 10};
    Rig rig(config);
    rig.clock.advance(24 * 3600'000LL);
    EXPECT_EQ(rig.logLines().size(), 2 + 10);
    rig.chat.sendPrivateMessage("Rivet", "Register me!");
    rig.clock.advance(24 * 3600'000LL);
    EXPECT_EQ(rig.logLines().size(), 2 + 10 + 5 + 10);
    rig.backend->close();
    rig.backend->open({}); // opened again, they talk again, however often the player speaks
    rig.clock.advance(2000);
    const qsizetype awake = rig.logLines().size();
    EXPECT_EQ(awake, 2 + 10 + 5 + 10 + 1);
    for (int i = 0; i < 20; ++i, rig.clock.advance(500))
        rig.backend->sayInPublic("hi");
    EXPECT_GE(rig.logLines().size(), awake + 20 + 5);

    config.lifePace = {1000, 1000, 1 << 30};
    Rig talking(config);
    talking.clock.advance(20'000 * 1000LL);
    const QStringList lines = talking.logLines();
    ASSERT_GE(lines.size(), 20'000);
    EXPECT_NEAR(double(lines.count(world::PublicLife::markedNotice())) / lines.size(), 0.15, 0.005);
    int present = 2, fewest = 2, most = 2; // two bystanders to begin with
    QHash<QString, int> here;              // by name: comings less goings, never more than one
    for (const QString& line : lines) {
        int in = line.endsWith(" has entered the world.") - line.endsWith(" has left the world.");
        fewest = std::min(fewest, present += in);
        most = std::max(most, present);
        EXPECT_LE(here[line.section(u' ', 1, 1)] += in, 1) << line.toStdString();
    }
    EXPECT_EQ(fewest, 1) << "all but one may leave, never the last";
    EXPECT_EQ(most, 5) << "all five may come, and none of them twice";
    QStringList speakers = lines.filter(QRegularExpression("^\\w+: "));
    speakers.replaceInStrings(QRegularExpression(":.*"), "").removeDuplicates();
    EXPECT_EQ(speakers.size(), 1 + 5) << "Rivet, and the bystanders: whoever came in speaks too";
    talking.backend->close(); // and once the world is closed they say no more
    talking.clock.advance(10'000);
    EXPECT_EQ(talking.logLines(), lines);
}

} // namespace
} // namespace jackwell
