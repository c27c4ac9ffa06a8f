// The card without a mouse: every button's key acts exactly as a click on it (and not while
// the button is disabled), on the card and on the chat window outside its typing line; the
// name box keeps the keyboard only until Esc; screen readers hear each button's name and
// purpose; the card's menu; and a whole game played with the keyboard alone.

#include "machine/messages.h"
#include "platform/version.h"
#include "shell/card_keys.h"
#include "shell/card_label.h"
#include "shell/chat_window.h"
#include "shell/options_window.h"
#include "shell/payouts_window.h"
#include "support/app_rig.h"

#include <QAccessible>
#include <QContextMenuEvent>
#include <QLineEdit>
#include <QMenu>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QSignalSpy>
#include <QTest>

namespace jackwell {
namespace {

using testing::AppRig;

void knowKeeper(AppRig& rig) {
    rig.app->card().state.machineKeeperName = QStringLiteral("Rivet");
    emit rig.app->card().changed();
}
QString lastLogLine(AppRig& rig) {
    return QString::fromUtf8(rig.world->log()).split("\r\n").last();
}

// One row per key: what to set up, and what shows that the key reached its button.
struct KeyRow {
    int key;
    std::function<void(AppRig&)> prepare;
    std::function<bool(AppRig&)> reached;
};
const std::vector<KeyRow> kKeyRows = {
    {Qt::Key_G, {}, [](AppRig& r) { return r.app->card().isWaitingForChat(); }},
    {Qt::Key_R, knowKeeper,
     [](AppRig& r) { return lastLogLine(r) == "ESP to Rivet: Register me!"; }},
    {Qt::Key_1, {}, [](AppRig& r) { return isHeld(r.app->card().state, 0); }},
    {Qt::Key_2, {}, [](AppRig& r) { return isHeld(r.app->card().state, 1); }},
    {Qt::Key_3, {}, [](AppRig& r) { return isHeld(r.app->card().state, 2); }},
    {Qt::Key_S, knowKeeper, [](AppRig& r) { return r.app->card().isWaitingForChat(); }},
    {Qt::Key_Space, knowKeeper, [](AppRig& r) { return r.app->card().isWaitingForChat(); }},
    {Qt::Key_E, knowKeeper,
     [](AppRig& r) {
         return lastLogLine(r) == "ESP to Rivet: I hold 0,0,0" && r.app->card().state.finishEnabled;
     }},
    {Qt::Key_F,
     [](AppRig& r) {
         r.app->card().state.finishEnabled = true;
         emit r.app->card().changed();
     },
     [](AppRig& r) { return r.app->card().isWaitingForChat(); }},
    {Qt::Key_X,
     [](AppRig& r) {
         r.app->card().state.credits = "5";
         emit r.app->card().changed();
     },
     [](AppRig& r) { return r.app->card().state.credits == "0"; }},
    {Qt::Key_P, {}, [](AppRig& r) { return r.app->card().payouts.shown; }},
    {Qt::Key_O, {}, [](AppRig& r) { return r.app->optionsWindow().isVisible(); }},
    {Qt::Key_C, {}, [](AppRig& r) { return r.app->chatWindow().isVisible(); }},
};

TEST(CardKeys, eachKeyActsAsAClickOnItsButtonOnTheCardAndInTheChatWindow) {
    for (bool inChat : {false, true}) {
        for (const KeyRow& row : kKeyRows) {
            SCOPED_TRACE(QTest::toString(QKeySequence(row.key)));
            SCOPED_TRACE(inChat ? "in the chat window" : "on the card");
            AppRig rig;
            if (row.prepare)
                row.prepare(rig);
            ASSERT_FALSE(row.reached(rig));
            QWidget* target = inChat ? static_cast<QWidget*>(rig.app->chatWindow().logView())
                                     : &rig.app->window();
            QTest::keyClick(target, Qt::Key(row.key));
            EXPECT_TRUE(row.reached(rig));
        }
    }
}

// A disabled button ignores its key; with Ctrl or Alt a letter is no card key; in the chat
// window's typing line the letters are text.
TEST(CardKeys, noKeyActsOnADisabledButtonOrOutsideTheCardsKeys) {
    AppRig rig;
    knowKeeper(rig);
    CardState& state = rig.app->card().state;
    state.startEnabled = false;
    state.espHoldEnabled = false;
    emit rig.app->card().changed();
    ASSERT_FALSE(state.finishEnabled); // as start-up leaves it
    const QByteArray before = rig.world->log();
    for (Qt::Key key : {Qt::Key_S, Qt::Key_Space, Qt::Key_E, Qt::Key_F})
        QTest::keyClick(&rig.app->window(), key);
    QTest::keyClick(&rig.app->window(), Qt::Key_G, Qt::ControlModifier);
    QTest::keyClick(&rig.app->window(), Qt::Key_1, Qt::AltModifier);
    QLineEdit* typing = rig.app->chatWindow().typingLine();
    QTest::keyClicks(typing, "gs123");
    rig.clock.settle();
    EXPECT_FALSE(rig.app->card().isWaitingForChat());
    EXPECT_EQ(rig.world->log(), before);
    EXPECT_FALSE(isHeld(state, 0));
    EXPECT_EQ(typing->text(), "gs123");
    ChatWindow& chat = rig.app->chatWindow();
    QTest::keyClick(typing, Qt::Key_Escape); // leaves the typing line for the chat text
    EXPECT_EQ(chat.focusWidget(), chat.logView());
    QTest::keyClick(chat.logView(), Qt::Key_Return); // and Return goes back to it
    EXPECT_EQ(chat.focusWidget(), typing);
}

// Clicked, the name box takes what is typed; Esc gives the keyboard back to the card, whose
// keys then work again.
TEST(CardKeys, theNameBoxKeepsTheKeyboardOnlyUntilEsc) {
    AppRig rig;
    CardWindow& window = rig.app->window();
    window.show();
    window.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&window));
    auto* nameBox = window.findChild<QLineEdit*>(card::kNameBoxName);
    ASSERT_TRUE(nameBox);
    EXPECT_EQ(nameBox->focusPolicy(), Qt::ClickFocus);
    QTest::mouseClick(nameBox, Qt::LeftButton);
    ASSERT_TRUE(nameBox->hasFocus());
    QTest::keyClicks(QApplication::focusWidget(), "g1");
    EXPECT_EQ(nameBox->text(), "g1");
    EXPECT_FALSE(isHeld(rig.app->card().state, 0));
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Escape);
    EXPECT_FALSE(nameBox->hasFocus());
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_1);
    EXPECT_TRUE(isHeld(rig.app->card().state, 0));
}

// Screen readers name each button and say what it does; the tooltip gives the key; a button
// can be pressed through them, and the figures read as text.
TEST(CardKeys, eachButtonHasANameADescriptionAndATooltip) {
    AppRig rig;
    auto* start = rig.app->window().findChild<CardLabel*>(card::designName(CardLabelRole::Start));
    ASSERT_TRUE(start);
    EXPECT_EQ(start->toolTip(), "START (S or Space): spins the reels onto the first draw");
    QAccessibleInterface* button = QAccessible::queryAccessibleInterface(start);
    ASSERT_TRUE(button);
    EXPECT_EQ(button->role(), QAccessible::Button);
    EXPECT_EQ(button->text(QAccessible::Name), "START button");
    EXPECT_EQ(button->text(QAccessible::Description), "spins the reels onto the first draw");

    auto* hold = rig.app->window().findChild<CardLabel*>(card::designName(CardLabelRole::Hold1));
    QAccessibleInterface* holdButton = QAccessible::queryAccessibleInterface(hold);
    EXPECT_EQ(holdButton->text(QAccessible::Name), "HOLD, left reel button");
    ASSERT_TRUE(holdButton->actionInterface());
    holdButton->actionInterface()->doAction(QAccessibleActionInterface::pressAction());
    EXPECT_EQ(holdButton->text(QAccessible::Value), "HELD");

    auto* credits =
        rig.app->window().findChild<CardLabel*>(card::designName(CardLabelRole::Credits));
    QAccessibleInterface* figure = QAccessible::queryAccessibleInterface(credits);
    EXPECT_EQ(figure->role(), QAccessible::StaticText);
    EXPECT_EQ(figure->text(QAccessible::Name), "0");

    for (const CardLabelControl& control : card::kLabels) {
        if (control.action == CardAction::None)
            continue;
        auto* label = rig.app->window().findChild<CardLabel*>(control.designName);
        SCOPED_TRACE(control.designName);
        EXPECT_FALSE(label->accessibleName().isEmpty());
        EXPECT_FALSE(label->accessibleDescription().isEmpty());
        EXPECT_EQ(label->focusPolicy(), Qt::TabFocus);
    }
}

QMenu* openCardMenu(AppRig& rig) {
    QContextMenuEvent menuKey(QContextMenuEvent::Keyboard, QPoint(20, 20),
                              rig.app->window().mapToGlobal(QPoint(20, 20)));
    QApplication::sendEvent(&rig.app->window(), &menuKey);
    return rig.app->window().findChild<QMenu*>("cardMenu");
}

QAction* entry(QMenu* menu, const QString& text) {
    for (QAction* action : menu->actions()) {
        if (action->text() == text)
            return action;
    }
    return nullptr;
}

// The Menu key (or a right click) opens the card's menu; About names the version and where
// Settings.txt and the preferences live; Quit closes the card.
TEST(CardMenu, offersTheWindowsTheKeysAboutAndQuit) {
    AppRig rig;
    QMenu* menu = openCardMenu(rig);
    ASSERT_TRUE(menu);
    QStringList texts;
    for (QAction* action : menu->actions()) {
        if (!action->isSeparator())
            texts << action->text();
    }
    EXPECT_EQ(texts, (QStringList{"Chat window\tC", "Payouts\tP", "Options\tO", "Keys",
                                  "About Jackwell", "Quit"}));

    entry(menu, "Chat window\tC")->trigger();
    EXPECT_TRUE(rig.app->chatWindow().isVisible());
    entry(openCardMenu(rig), "Keys")->trigger();
    auto* keys = rig.app->window().findChild<QMessageBox*>("keysBox");
    ASSERT_TRUE(keys);
    EXPECT_TRUE(keys->text().contains("S or Space  START: spins the reels onto the first draw"));
    entry(openCardMenu(rig), "About Jackwell")->trigger();
    auto* about = rig.app->window().findChild<QMessageBox*>("aboutBox");
    ASSERT_TRUE(about);
    EXPECT_TRUE(about->text().startsWith("Jackwell " + QString(kJackwellVersion)));
    EXPECT_TRUE(about->text().contains(QDir::toNativeSeparators(rig.settingsPath)));
    EXPECT_TRUE(about->text().contains(QDir::toNativeSeparators(rig.preferencesPath)));

    QSignalSpy closing(&rig.app->window(), &CardWindow::closing);
    entry(openCardMenu(rig), "Quit")->trigger();
    EXPECT_EQ(closing.count(), 1);
}

// Every key in README's table of keys, as the program has it.
TEST(CardKeys, readmeListsEveryKey) {
    QFile readme(QStringLiteral(JACKWELL_SOURCE_DIR "/README.md"));
    ASSERT_TRUE(readme.open(QIODevice::ReadOnly));
    const QString text = QString::fromUtf8(readme.readAll());
    for (const CardKey& key : card::kKeys) {
        if (*key.keyNames == '\0')
            continue;
        EXPECT_TRUE(
            text.contains(QStringLiteral("| %1 | %2 | %3 |")
                              .arg(QLatin1String(key.keyNames), QLatin1String(key.buttonName),
                                   QLatin1String(key.description))))
            << key.buttonName;
    }
}

// A whole game against Rivet with nothing but the keyboard: find the machinekeeper, register,
// start, hold what pairs up, send the holds, finish; the card ends as Rivet's books say.
TEST(CardKeys, aWholeGameWithTheKeyboardAlone) {
    AppRig rig(serializeSettings(Options{}), AppRig::Load, {true});
    CardWindow& card = rig.app->window();
    const CardState& state = rig.app->card().state;
    const auto press = [&](Qt::Key key, qint64 thenMs) {
        QTest::keyClick(&card, key);
        rig.clock.advance(thenMs);
    };
    const auto atRest = [&] {
        return !rig.app->card().isWaitingForChat() && !state.evaluationTimer.enabled &&
               !rig.app->card().isEvaluating() && !state.reels[2].timer.enabled;
    };
    press(Qt::Key_G, 0);
    ASSERT_TRUE(rig.clock.advanceUntil(atRest, 1000));
    ASSERT_EQ(state.machineKeeperName, "Rivet");
    press(Qt::Key_R, 1000);
    press(Qt::Key_Space, 0);
    ASSERT_TRUE(rig.clock.advanceUntil(atRest, 60'000));
    ASSERT_NE(state.reels[0].firstCode, "0");
    for (int reel = 0; reel < 3; ++reel) {
        const QString code = state.reels[reel].firstCode;
        if (state.reels[(reel + 1) % 3].firstCode == code ||
            state.reels[(reel + 2) % 3].firstCode == code)
            press(Qt::Key(Qt::Key_1 + reel), 0);
    }
    press(Qt::Key_E, 1000);
    press(Qt::Key_F, 0);
    ASSERT_TRUE(rig.clock.advanceUntil(atRest, 60'000));

    auto* world = static_cast<world::EmbeddedWorld*>(rig.world);
    const auto record = world->books().load("Player");
    ASSERT_TRUE(record);
    EXPECT_EQ(record->gamesPlayed, 1);
    EXPECT_EQ(state.credits, QString::number(record->credits));
    const auto& final = world->books().ledger().back().outcome.finalDraw;
    for (int reel = 0; reel < 3; ++reel)
        EXPECT_EQ(codeValue(state.reels[reel].finalCode), final[reel]);
    EXPECT_TRUE(
        QString::fromUtf8(rig.world->log())
            .contains("ESP from Rivet: " + machine::outcomeSentence(final, record->credits)));
}

} // namespace
} // namespace jackwell
