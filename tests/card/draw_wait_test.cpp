// A draw belongs to its game: START and FINISH never put an older draw on the card, nor codes that
// are not there. They wait for the machinekeeper's answer while the window goes on, tell the
// player when it does not come, and take holds that could not reach the machinekeeper back.

#include "support/card_rig.h"

#include <QSignalSpy>

namespace jackwell {
namespace {

using Rig = testing::CardRig<>;

const QString kOldFinal = "FINAL: | 14 | 02 | 03 | Credits: (150)"; // the game before: a cherry
const QString kNewFinal = "FINAL: | 05 | 06 | 07 | Credits: (149)";

// A game under way: its first draw on the card, the game before's final draw already shown. The
// chat's oldest line (the rest cut away at the front) is a balance, which the first START shows.
void gameUnderWay(auto& rig) {
    rig.backend->appendPrivateFrom("Rivet", "CREDITS: (151)");
    rig.start();
    ASSERT_EQ(rig.state.credits, "151");
    rig.finish(kOldFinal);
    rig.clock.advance(8000);
    rig.start("FIRST: | 05 | 06 | 07 |");
    rig.clock.advance(6000);
    ASSERT_TRUE(rig.atRest());
    rig.hold(1);
}

// FINISH before the answer to the holds: nothing spins, the card says it waits; the answer comes
// and FINISH shows it. One never coming is said plainly, FINISH armed, and shown once there.
TEST(DrawWait, finishWaitsForTheAnswerToThisGamesHoldsAndNeverShowsTheOneBefore) {
    for (const bool answered : {true, false}) {
        SCOPED_TRACE(answered ? "answered" : "no answer");
        Rig rig;
        gameUnderWay(rig);
        rig.finish(QString());
        EXPECT_FALSE(rig.state.reels[0].timer.enabled) << "spun onto the game before's draw";
        EXPECT_EQ(rig.state.notice, kAwaitingFinalNotice);
        EXPECT_EQ(rig.state.reels[0].finalCode, "0");
        EXPECT_TRUE(rig.card.isWaitingForChat());
        rig.hold(2); // the other buttons work meanwhile
        EXPECT_TRUE(isHeld(rig.state, 2));
        if (!answered) {
            rig.clock.advance(10'000);
            EXPECT_EQ(rig.state.notice, kNoAnswerNotice);
            EXPECT_FALSE(rig.card.isWaitingForChat() || rig.state.reels[0].timer.enabled);
            EXPECT_TRUE(rig.state.finishEnabled);
            rig.card.sendHolds(); // sent again: no longer unanswered
            EXPECT_TRUE(rig.state.notice.isEmpty());
            rig.state.notice = QString(kRegisterNotSentNotice); // another matter's notice stays
            rig.card.sendHolds();
            EXPECT_EQ(rig.state.notice, kRegisterNotSentNotice);
            rig.keeperSays(kNewFinal); // and stays when the draw comes
            rig.click(&Card::finish);
        } else {
            rig.clock.advance(600); // the card looks at the chat every 200 ms
            rig.keeperSays(kNewFinal);
            rig.clock.advance(199);
            EXPECT_FALSE(rig.state.reels[0].timer.enabled) << "seen only at the next look";
            rig.clock.advance(1);
        }
        EXPECT_TRUE(rig.state.reels[0].timer.enabled);
        EXPECT_EQ(rig.state.reels[0].finalCode, "05");
        EXPECT_EQ(rig.state.credits, "149");
        EXPECT_EQ(rig.state.notice, answered ? QString() : QString(kRegisterNotSentNotice));
        // Holds sent again in the same game wait for an answer of their own.
        rig.finish(QString());
        EXPECT_EQ(rig.state.notice, kAwaitingFinalNotice);
    }
}

// START without a new first draw (before REGISTER, or once the credits are spent) spins onto
// nothing, showing the draw when it comes. RESET CARD ends the wait: no later draw fills the card.
TEST(DrawWait, startWaitsForAFirstDrawNewerThanTheLastOneShown) {
    for (const bool firstGame : {true, false}) {
        SCOPED_TRACE(firstGame ? "before REGISTER" : "after a game");
        Rig rig;
        for (int game = 0; game < (firstGame ? 0 : 2); ++game) { // the same draw twice over
            rig.start("FIRST: | 01 | 01 | 01 |");
            ASSERT_TRUE(rig.state.reels[0].timer.enabled) << "a draw like the last is new";
            rig.finish();
            rig.clock.advance(8000);
        }
        rig.start(QString());
        EXPECT_TRUE(!rig.state.reels[0].timer.enabled && rig.state.startEnabled);
        EXPECT_EQ(rig.state.notice, kAwaitingFirstNotice);
        rig.clock.advance(10'000); // ten seconds of looking
        EXPECT_EQ(rig.state.notice, kNoFirstDrawNotice);
        EXPECT_TRUE(rig.state.startEnabled && !rig.state.reels[0].timer.enabled);
        rig.click(&Card::askToRegister); // as the notice says: it goes
        EXPECT_TRUE(rig.state.notice.isEmpty());
        rig.start("FIRST: | 09 | 08 | 07 |");
        EXPECT_TRUE(rig.state.reels[0].timer.enabled);
        EXPECT_TRUE(rig.state.reels[0].firstCode == "09" && rig.state.notice.isEmpty());
    }
    Rig rig;
    rig.start(QString());
    ASSERT_TRUE(rig.card.isWaitingForChat());
    rig.card.resetCard();
    rig.keeperSays("FIRST: | 09 | 08 | 07 |");
    rig.clock.advance(Card::kDrawWaitMs);
    EXPECT_FALSE(rig.state.reels[0].timer.enabled);
    EXPECT_TRUE(rig.state.reels[0].firstCode == "0" && rig.state.notice.isEmpty());

    // The draw shown last gone from the front of a long chat: the one after it is new.
    Rig cut;
    cut.start();
    cut.finish();
    cut.clock.advance(8000);
    cut.backend->appendSystem(QString(8 * 1024 * 1024, u'x'));
    cut.start(QString()); // no draw left at all: START waits
    cut.start("FIRST: | 09 | 08 | 07 |");
    EXPECT_TRUE(cut.state.reels[0].firstCode == "09" && cut.state.notice.isEmpty()); // no waiting
}

// The chat may show a draw only once the reels have come to rest on it, not while they spin.
TEST(DrawWait, aDrawCountsAsShownOnceTheReelsRestOnIt) {
    Rig rig;
    QSignalSpy shown(&rig.card, &Card::drawShown);
    for (const bool final : {false, true}) {
        final ? rig.finish() : rig.start();
        rig.clock.advance(4800);
        EXPECT_EQ(shown.count(), int(final)) << "told while the reels spin";
        rig.clock.advance(300);
        ASSERT_EQ(shown.count(), 1 + int(final));
        EXPECT_EQ(shown.last().at(0).toString(),
                  "Rivet: " + (final ? Rig::kFinalDraw : Rig::kFirstDraw));
        EXPECT_EQ(shown.last().at(1).toBool(), final);
    }
}

// FINISH pressed while START waits: its wait is its own, as long as if START had not waited.
TEST(DrawWait, finishAfterAWaitingStartWaitsAsLongAsEver) {
    Rig rig;
    gameUnderWay(rig);
    rig.finish(kNewFinal);
    rig.clock.advance(8000);
    rig.click(&Card::start); // no first draw yet
    rig.clock.advance(5000);
    rig.finish(QString());
    EXPECT_EQ((rig.clock.advance(Card::kDrawWaitMs - 1), rig.state.notice), kAwaitingFinalNotice);
}

// The machinekeeper left or is no one: unanswered holds to it never arrived; the card says so and
// disarms FINISH until they are resent. Answered holds, or another's name, change nothing.
TEST(DrawWait, holdsToAMachinekeeperWhoIsGoneAreNotSent) {
    const std::tuple<const char*, bool, bool> rows[] = {{"Rivet", false, true},
                                                        {"rivet", false, true},
                                                        {"Mabel", false, false},
                                                        {"Rivet", true, false}};
    for (const auto& [gone, answered, lost] : rows) {
        SCOPED_TRACE(std::string(gone) + (answered ? " answered" : ""));
        Rig rig;
        gameUnderWay(rig);
        rig.click(&Card::sendHolds);
        if (answered)
            rig.keeperSays(kNewFinal);
        rig.backend->reportGone(gone);
        rig.clock.settle();
        EXPECT_EQ(rig.state.notice == kHoldsNotSentNotice, lost);
        EXPECT_EQ(rig.state.finishEnabled, !lost);
        rig.click(&Card::finish);
        EXPECT_EQ(rig.state.reels[0].timer.enabled, answered);
        EXPECT_EQ(rig.state.reels[0].finalCode, answered ? "05" : "0");
    }
    { // gone while FINISH waits for the answer: that wait ends; holds sent again wait anew
        Rig rig;
        gameUnderWay(rig);
        rig.card.sendHolds();
        rig.click(&Card::finish);
        rig.backend->reportGone("Rivet");
        rig.clock.advance(Card::kDrawWaitMs + 1000);
        EXPECT_EQ(rig.state.notice, kHoldsNotSentNotice);
        rig.backend->close(); // and sent again where the link gives them up: said so again
        rig.click(&Card::sendHolds);
        EXPECT_EQ(rig.state.notice, kHoldsNotSentNotice);
        rig.backend->open({});
        rig.card.sendHolds();
        rig.click(&Card::finish);
        EXPECT_EQ(rig.state.notice, kAwaitingFinalNotice);
    }
    // Before any holds go, or once taken back, nothing is looked for: a departure has no text read.
    struct CountingWorld : ChatWorld {
        int reads = 0;
        bool busy = false, sendsBusy = false; // asked for again a moment later
        std::optional<ChatStatus> requestText() override {
            return ++reads, busy ? ChatStatus::Busy : ChatWorld::requestText();
        }
        std::optional<ChatStatus> sendPrivateMessage(const QString& to,
                                                     const QString& text) override {
            return sendsBusy ? ChatStatus::Busy : ChatWorld::sendPrivateMessage(to, text);
        }
    };
    { // holds sent behind the text a departure asked for, leaving after it came, are old news:
        testing::CardRig<CountingWorld> rig; // resent and given up, they are said lost again
        gameUnderWay(rig);
        rig.click(&Card::sendHolds);
        rig.backend->busy = rig.backend->sendsBusy = true;
        rig.backend->reportGone("Rivet");
        rig.clock.settle();
        rig.card.sendHolds();
        rig.backend->busy = false;
        rig.clock.advance(1000);
        rig.backend->sendsBusy = false;
        rig.clock.advance(1000);
        rig.backend->close();
        rig.click(&Card::sendHolds);
        EXPECT_EQ(rig.state.notice, kHoldsNotSentNotice);
    }
    testing::CardRig<CountingWorld> rig;
    rig.start("FIRST: | 05 | 06 | 07 |");
    const int reads = rig.backend->reads;
    rig.backend->reportGone("Rivet");
    rig.clock.settle();
    EXPECT_EQ(rig.backend->reads, reads);
    // Holds sent, then taken back by RESET CARD before the text the departure asked for came;
    // those sent again behind that text leave after RESET CARD.
    rig.click(&Card::sendHolds);
    rig.backend->busy = true;
    rig.backend->reportGone("Rivet");
    rig.clock.settle();
    rig.card.sendHolds();
    rig.card.resetCard();
    rig.backend->busy = false;
    rig.clock.advance(1000);
    EXPECT_TRUE(rig.state.notice.isEmpty()) << "said lost though taken back";
}

// Credits show once REGISTER is answered; a balance older than a final draw does not undo it.
TEST(DrawWait, theBalanceShowsOnRegisteringAndNeverOverAGameAfterIt) {
    // An answer later than the card watches for (by half a look) shows with its first draw.
    for (const int answerMs : {300, Card::kDrawWaitMs + 100}) {
        SCOPED_TRACE(answerMs);
        Rig rig;
        rig.state.machineKeeperName = "Rivet";
        rig.backend->setPrivateMessageHook([&](const QString&, const QString& text) {
            if (text == "Register me!")
                rig.clock.callAfter(answerMs, &rig.card, [&] {
                    rig.keeperSays("CREDITS: (98)");
                    rig.keeperSays("FIRST: | 01 | 02 | 03 |");
                });
        });
        rig.click(&Card::askToRegister);
        EXPECT_EQ(rig.state.credits, "0");
        rig.clock.advance(answerMs + Card::kDrawPollMs);
        EXPECT_EQ(rig.state.credits, answerMs < Card::kDrawWaitMs ? "98" : "0");
        rig.start(QString());
        EXPECT_EQ(rig.state.credits, "98");
        EXPECT_EQ(rig.state.tokens, "(4900)");
        rig.finish("FINAL: | 04 | 05 | 06 | Credits: (97)");
        rig.clock.advance(8000);
        rig.start("FIRST: | 01 | 02 | 03 |");
        EXPECT_EQ(rig.state.credits, "97");
    }
}

} // namespace
} // namespace jackwell
