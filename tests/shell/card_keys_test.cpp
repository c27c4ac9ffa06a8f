// The card's buttons: a click inside each one's hot spot and its key, on the card and on the chat
// window outside its typing line, reach its handler (and not while it is disabled); the name box
// keeps the keyboard only until Esc; screen readers hear each button's name and purpose; the menu.

#include "platform/version.h"
#include "shell/card_keys.h"
#include "shell/card_label.h"
#include "shell/chat_window.h"
#include "shell/help_window.h"
#include "shell/options_window.h"
#include "shell/payouts_window.h"
#include "shell/program_dialogs.h"
#include "shell/program_windows.h"
#include "shell/statistics_window.h"
#include "support/app_rig.h"
#include "support/test_files.h"

#include <QAccessible>
#include <QContextMenuEvent>
#include <QLineEdit>
#include <QMenu>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QScrollBar>
#include <QSignalSpy>
#include <QTest>
#include <QTextBrowser>

namespace jackwell {
namespace {

using testing::AppRig;

void knowKeeper(AppRig& rig) {
    rig.app->card().state.machineKeeperName = "Rivet";
    emit rig.app->card().changed();
}
void enableFinish(AppRig& rig) {
    rig.app->card().state.finishEnabled = true;
    emit rig.app->card().changed();
}
const auto waiting = [](AppRig& rig) { return rig.app->card().isWaitingForChat(); };
template <int reel> bool held(AppRig& rig) {
    return isHeld(rig.app->card().state, reel);
}
auto sent(const char* line) {
    return [line](AppRig& rig) { return rig.world->log().endsWith(line); };
}
bool keeperForgotten(AppRig& rig) {
    return rig.app->card().state.machineKeeperName.isEmpty();
}
bool payoutsShown(AppRig& rig) {
    return rig.app->card().payouts.shown && rig.app->windows().card().payoutsWindow();
}
bool optionsShown(AppRig& rig) {
    return rig.app->dialogs().optionsWindow().isVisible();
}
const auto chatShown = [](AppRig& rig) { return rig.app->windows().chat().isVisible(); };
bool statisticsShown(AppRig& rig) {
    return rig.app->dialogs().statisticsWindow() &&
           rig.app->dialogs().statisticsWindow()->isVisible();
}
bool hintShown(AppRig& rig) {
    return rig.app->windows().card().findChild<QMessageBox*>("hintBox") != nullptr;
}

// One row per button: a point inside its hot spot (none for the chat window), its key (none for
// the coin slot), what to set up, and what shows the click or key reached it (the slot: nothing).
struct Button {
    CardLabelRole role;
    QPoint at;
    int key;
    std::function<void(AppRig&)> prepare;
    std::function<bool(AppRig&)> reached;
};
using enum CardLabelRole;
const std::vector<Button> kButtons = {
    {GetHost, {152, 12}, Qt::Key_G, {}, waiting},
    {ResetCard, {48, 36}, Qt::Key_X, knowKeeper, keeperForgotten},
    {Register, {148, 36}, Qt::Key_R, knowKeeper, sent("ESP to Rivet: Register me!")},
    {Hold1, {32, 144}, Qt::Key_1, {}, held<0>},
    {Hold2, {80, 144}, Qt::Key_2, {}, held<1>},
    {Hold3, {104 + 48, 136 + 16}, Qt::Key_3, {}, held<2>}, // the button's last pixel
    {CoinSlot, {167, 120}, 0, {}, {}},
    {Start, {32, 175}, Qt::Key_S, knowKeeper, waiting},
    {Start, {}, Qt::Key_Space, knowKeeper, waiting},
    {EspHold, {80, 175}, Qt::Key_E, knowKeeper, sent("ESP to Rivet: I hold 0,0,0")},
    {Finish, {128, 175}, Qt::Key_F, enableFinish, waiting},
    {Payouts, {40, 211}, Qt::Key_P, {}, payoutsShown},
    {Options, {40, 235}, Qt::Key_O, {}, optionsShown},
    {Options, {}, Qt::Key_C, {}, chatShown},
    {Options, {}, Qt::Key_T, {}, statisticsShown},
    {Options, {}, Qt::Key_H, {}, hintShown},
};

// A click anywhere inside a button, or its key on the card, in the chat window outside its typing
// line or in the payouts window, reaches its handler: one card event, but for OPTIONS (the options
// window's) and the coin slot (nothing). A key held down acts once: its auto-repeats do nothing.
TEST(CardKeys, aClickInsideEachButtonOrItsKeyReachesItsHandler) {
    enum Way { Click, KeyOnTheCard, KeyInTheChatWindow, KeyInThePayoutsWindow };
    for (const Button& button : kButtons) {
        for (const Way way : {Click, KeyOnTheCard, KeyInTheChatWindow, KeyInThePayoutsWindow}) {
            if (way == Click ? button.at.isNull() : button.key == 0)
                continue;
            SCOPED_TRACE(QTest::toString(QKeySequence(button.key)));
            SCOPED_TRACE(card::designName(button.role) + std::to_string(int(way)));
            AppRig rig;
            CardWindow& card = rig.app->windows().card();
            if (button.prepare)
                button.prepare(rig);
            if (way == KeyInThePayoutsWindow) { // a pay table creates it, hidden
                rig.app->card().payouts.setAmount(0, "1");
                emit rig.app->card().changed();
            }
            ASSERT_FALSE(button.reached && button.reached(rig));
            QSignalSpy events(&rig.app->card(), &Card::changed);
            if (way == Click) {
                card.show();
                QSignalSpy clicks(card.findChild<CardLabel*>(card::designName(button.role)),
                                  &CardLabel::clicked);
                QTest::mousePress(card.windowHandle(), Qt::LeftButton, {}, button.at);
                QTest::mouseRelease(card.windowHandle(), Qt::LeftButton, {},
                                    {1, 1}); // let go off it
                QTest::mouseClick(card.windowHandle(), Qt::LeftButton, {}, button.at);
                EXPECT_EQ(clicks.count(), 1);
                EXPECT_EQ(events.count(),
                          button.role == Options || button.role == CoinSlot ? 0 : 1);
            } else {
                QWidget* target = &card;
                if (way != KeyOnTheCard)
                    target = way == KeyInTheChatWindow ? rig.app->windows().chat().logView()
                                                       : (QWidget*)card.payoutsWindow();
                QKeyEvent repeat(QEvent::KeyPress, button.key, Qt::NoModifier, QString(), true);
                QApplication::sendEvent(target, &repeat);
                EXPECT_FALSE(button.reached && button.reached(rig)) << "acted on a repeat";
                QTest::keyClick(target, Qt::Key(button.key));
            }
            EXPECT_TRUE(!button.reached || button.reached(rig));
        }
    }
}

// A held key, the card's or Return on a focused button, acts once however its repeats come:
// marked (Wayland), presses with no release between, or X11's unmarked release and press pairs of
// one time stamp; a line being typed into still takes every repeat. Each row is what the window
// is handed: + press, - release, * marked, z for Z (a row with Z has no scan codes); a time stamp.
TEST(CardKeys, aHeldKeyActsOnceHoweverItsRepeatsCome) {
    const std::tuple<const char*, const char*, int, int> rows[] = {
        {"X11 pairs", "+100 -600 +600 -633 +633 -700", Qt::Key_E, 1},
        {"presses only", "+100 +600 +633 -700", Qt::Key_E, 1},
        {"marked", "+100 *-600 *+600 -700", Qt::Key_E, 1},
        {"two presses", "+100 -200 +300 -400", Qt::Key_E, 2},
        {"let go in another program's window", "+100 away +300 -400", Qt::Key_E, 2},
        {"another key held, both without scan codes", "z+50 +100 -200 z-300", Qt::Key_E, 1},
        {"Return on ESP HOLD", "+100 -600 +600 -633 +633 -700", Qt::Key_Return, 1},
        {"Enter on ESP HOLD", "+100 -200", Qt::Key_Enter, 1},
        {"typing", "+100 -600 +600 -633 +633 -700", Qt::Key_E, 3},
        {"Tab moving on", "+100 -600 +600 -633 +633 -666 +666 -700", Qt::Key_Tab, 4},
    };
    for (const auto& [name, events, key, acts] : rows) {
        SCOPED_TRACE(name);
        AppRig rig;
        knowKeeper(rig);
        CardWindow& card = rig.app->windows().card();
        QLineEdit* typing = rig.app->windows().chat().typingLine();
        auto* espHold = card.findChild<CardLabel*>(card::designName(CardLabelRole::EspHold));
        QWidget* window = acts == 3 ? (QWidget*)&rig.app->windows().chat() : &card;
        window->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(window));
        if (key != Qt::Key_E)
            espHold->setFocus();
        if (acts == 3)
            typing->setFocus();
        QSignalSpy clicks(espHold, &CardLabel::clicked), moves(qApp, &QApplication::focusChanged);
        const QString text = key == Qt::Key_E ? "e" : key == Qt::Key_Tab ? "\t" : "\r";
        const bool synthesised = QByteArray(events).contains('z');
        for (QString event : QString::fromLatin1(events).split(u' ')) {
            if (event == "away") { // the keyboard goes to another program's window
                QEvent away(QEvent::ApplicationDeactivate);
                QApplication::sendEvent(qApp, &away);
                continue;
            }
            const bool z = event.startsWith(u'z');
            event.remove(u'z');
            const bool marked = event.startsWith(u'*');
            const bool press = event.at(marked ? 1 : 0) == u'+';
            QKeyEvent sent(press ? QEvent::KeyPress : QEvent::KeyRelease, z ? Qt::Key_Z : key,
                           Qt::NoModifier, synthesised ? 0 : 26, key, 0, z ? "z" : text, marked);
            sent.setTimestamp(event.mid(marked ? 2 : 1).toULongLong());
            QApplication::sendEvent(window->windowHandle(), &sent); // as the platform hands it over
        }
        if (acts == 3)
            EXPECT_EQ(typing->text(), "eee");
        else
            EXPECT_EQ((key == Qt::Key_Tab ? moves : clicks).count(), acts);
    }
}

// A disabled button ignores its key; with Ctrl, Alt or Meta a key is none; typed in the chat, text.
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
        QTest::keyClick(&rig.app->windows().card(), key);
    QTest::keyClick(&rig.app->windows().card(), Qt::Key_1, Qt::ControlModifier);
    QTest::keyClick(&rig.app->windows().card(), Qt::Key_2, Qt::AltModifier);
    QTest::keyClick(&rig.app->windows().card(), Qt::Key_3, Qt::MetaModifier);
    EXPECT_EQ(cardActionForKey(0, 0), std::nullopt) << "no key, though the keys' table pads with 0";
    QLineEdit* typing = rig.app->windows().chat().typingLine();
    QTest::keyClicks(typing, "gs123");
    rig.clock.settle();
    EXPECT_FALSE(rig.app->card().isWaitingForChat());
    EXPECT_EQ(rig.world->log(), before);
    EXPECT_FALSE(isHeld(state, 0) || isHeld(state, 1) || isHeld(state, 2));
    EXPECT_EQ(typing->text(), "gs123");
    ChatWindow& chat = rig.app->windows().chat();
    QTest::keyClick(typing, Qt::Key_Escape); // leaves the typing line for the chat text
    EXPECT_EQ(chat.focusWidget(), chat.logView());
    QTest::keyClick(chat.logView(), Qt::Key_Return); // and Return goes back to it
    EXPECT_EQ(chat.focusWidget(), typing);
}

// Clicked, the name box takes what is typed; Esc gives the keyboard back to the card's own keys.
TEST(CardKeys, theNameBoxKeepsTheKeyboardOnlyUntilEsc) {
    AppRig rig;
    CardWindow& window = rig.app->windows().card();
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
    // A click on the card, between its buttons, takes the keyboard back too.
    QTest::mouseClick(nameBox, Qt::LeftButton);
    ASSERT_TRUE(nameBox->hasFocus());
    QTest::mouseClick(&window, Qt::LeftButton, {}, QPoint(190, 20));
    EXPECT_TRUE(window.hasFocus());
}

// Screen readers name each button and say what it does; the tooltip gives the key; a button
// can be pressed through them, and the figures read as text.
TEST(CardKeys, eachButtonHasANameADescriptionAndATooltip) {
    AppRig rig;
    knowKeeper(rig); // START acts, so its tooltip says no more
    const auto accessible = [&](CardLabelRole role) {
        return QAccessible::queryAccessibleInterface(
            rig.app->windows().card().findChild<CardLabel*>(card::designName(role)));
    };
    EXPECT_EQ(rig.app->windows().card().accessibleName(), "Jackwell card");
    EXPECT_EQ(rig.app->windows().card().accessibleDescription(), "Keys:\n" + cardKeysText());
    EXPECT_EQ(rig.app->windows().card().findChild<QLineEdit*>(card::kNameBoxName)->accessibleName(),
              "Machinekeeper's name");
    QAccessibleInterface* start = accessible(CardLabelRole::Start);
    EXPECT_EQ(start->object()->property("toolTip").toString(),
              "START (S or Space): spins the reels onto the first draw");
    EXPECT_EQ(start->role(), QAccessible::Button);
    EXPECT_EQ(start->text(QAccessible::Name), "START button");
    EXPECT_EQ(start->text(QAccessible::Description), "spins the reels onto the first draw");
    QAccessibleInterface* hold = accessible(CardLabelRole::Hold1);
    EXPECT_EQ(hold->text(QAccessible::Name), "HOLD, left reel button");
    ASSERT_TRUE(hold->actionInterface());
    hold->actionInterface()->doAction(QAccessibleActionInterface::pressAction());
    EXPECT_EQ(hold->text(QAccessible::Value), "HELD");
    QAccessibleInterface* finish = accessible(CardLabelRole::Finish); // greyed: not pressed
    QSignalSpy finished(static_cast<CardLabel*>(finish->object()), &CardLabel::clicked);
    finish->actionInterface()->doAction(QAccessibleActionInterface::pressAction());
    EXPECT_EQ(finished.count(), 0);
    QAccessibleInterface* credits = accessible(CardLabelRole::Credits);
    EXPECT_EQ(credits->role(), QAccessible::StaticText);
    EXPECT_EQ(credits->text(QAccessible::Name), "Credits: 0");
    // A heading, with no name of its own, is read by what it shows, and describes nothing.
    QAccessibleInterface* heading = accessible(CardLabelRole::CreditsHeading);
    EXPECT_EQ(heading->text(QAccessible::Name),
              static_cast<CardLabel*>(heading->object())->caption());
    EXPECT_FALSE(heading->text(QAccessible::Name).isEmpty());
    EXPECT_EQ(heading->text(QAccessible::Description), "");
    for (const CardLabelControl& control : card::kLabels) {
        auto* label = rig.app->windows().card().findChild<CardLabel*>(control.designName);
        if (control.action == CardAction::None)
            continue;
        EXPECT_FALSE(label->accessibleName().isEmpty()) << control.designName;
        EXPECT_FALSE(label->accessibleDescription().isEmpty()) << control.designName;
        EXPECT_EQ(label->focusPolicy(), Qt::TabFocus) << control.designName;
    }
}

// Tab reaches only what is seen: not the test corner's buttons off the card, nor hidden path boxes.
TEST(CardKeys, tabReachesOnlyWhatThePlayerSees) {
    AppRig rig;
    rig.app->showWindows();
    rig.app->dialogs().showOptions();
    for (QWidget* window :
         {(QWidget*)&rig.app->windows().card(), (QWidget*)&rig.app->dialogs().optionsWindow()}) {
        SCOPED_TRACE(window->windowTitle().toStdString());
        window->activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(window));
        QSet<QWidget*> reached;
        for (int i = 0; i < 30; ++i) {
            QTest::keyClick(window->focusWidget() ? window->focusWidget() : window, Qt::Key_Tab);
            reached << window->focusWidget();
            // A hold's dotted focus frame shows black on its cyan or yellow.
            if (auto* hold = qobject_cast<CardLabel*>(window->focusWidget());
                hold && hold->backColour()) {
                const QImage image = hold->grab().toImage();
                int dots = 0; // along its top, from corner to corner
                for (int x = 2; x < image.width() - 2; ++x)
                    dots += image.pixel(x, 2) == qRgb(0, 0, 0) ? 1 : 0;
                EXPECT_TRUE(dots > 1 && dots < image.width() / 2) << "a black frame of dots";
            }
        }
        EXPECT_GT(reached.size(), 2);
        for (QWidget* control : reached)
            EXPECT_TRUE(
                window->rect().contains(QRect(control->mapTo(window, QPoint()), control->size())))
                << control->objectName();
    }
}

QMenu* openCardMenu(AppRig& rig) {
    QContextMenuEvent menuKey(QContextMenuEvent::Keyboard, QPoint(20, 20),
                              rig.app->windows().card().mapToGlobal(QPoint(20, 20)));
    QApplication::sendEvent(&rig.app->windows().card(), &menuKey);
    return rig.app->windows().card().findChild<QMenu*>("cardMenu");
}

QAction* entry(QMenu* menu, const QString& text) {
    const QList<QAction*> actions = menu->actions();
    const auto found = std::ranges::find(actions, text, &QAction::text);
    return found == actions.end() ? nullptr : *found;
}

// Menu key or right click: the card's menu; About names version and Settings.txt; Quit closes.
TEST(CardMenu, offersTheWindowsTheKeysAboutAndQuit) {
    AppRig rig;
    QMenu* menu = openCardMenu(rig);
    ASSERT_TRUE(menu);
    QStringList texts;
    for (QAction* action : menu->actions())
        texts << (action->isSeparator() ? QStringLiteral("-") : action->text());
    EXPECT_EQ(texts,
              (QStringList{"Chat window\tC", "Payouts\tP", "Options\tO", "Statistics\tT", "Hint\tH",
                           "-", "Help\tF1", "Keys", "About Jackwell", "-", "Quit\tCtrl+Q"}));
    // From the keyboard it opens over the card (197x302), wherever the pointer is: level with
    // the card's middle, a quarter of its width in from the left.
    const CardWindow& card = rig.app->windows().card();
    EXPECT_EQ(menu->pos(), card.mapToGlobal(QPoint(49, 150)));

    EXPECT_FALSE(entry(menu, "Chat window\tC")->isChecked());
    entry(menu, "Chat window\tC")->trigger();
    EXPECT_TRUE(rig.app->windows().chat().isVisible());
    const QPointer<QMenu> closed = menu;
    menu->close();
    EXPECT_TRUE(QTest::qWaitFor([&] { return !closed; }, 2000)) << "a closed menu is gone";
    EXPECT_TRUE(entry(openCardMenu(rig), "Chat window\tC")->isChecked());
    entry(openCardMenu(rig), "Keys")->trigger();
    ASSERT_TRUE(rig.app->dialogs().helpWindow() && rig.app->dialogs().helpWindow()->isVisible());
    QTextBrowser* help = rig.app->dialogs().helpWindow()->text();
    EXPECT_TRUE(help->toPlainText().contains("START: spins the reels onto the first draw"));
    const int keysAt = help->verticalScrollBar()->value();
    rig.app->dialogs().showHelp();
    EXPECT_LT(help->verticalScrollBar()->value(), keysAt - 100) << "at the start, not the keys";
    entry(openCardMenu(rig), "About Jackwell")->trigger();
    auto* about = rig.app->windows().card().findChild<QMessageBox*>("aboutBox");
    ASSERT_TRUE(about);
    EXPECT_TRUE(about->text().startsWith("Jackwell " + QString(kJackwellVersion)));
    EXPECT_TRUE(about->text().contains(QDir::toNativeSeparators(rig.settingsPath)));
    EXPECT_TRUE(about->text().contains(QDir::toNativeSeparators(rig.preferencesPath)));
    EXPECT_FALSE(about->testAttribute(Qt::WA_ShowWithoutActivating)) << "takes the keyboard";
    rig.app->dialogs().showAbout();
    EXPECT_EQ(rig.app->windows().card().findChildren<QMessageBox*>("aboutBox").size(), 1);

    QSignalSpy closing(&rig.app->windows().card(), &CardWindow::closing);
    entry(openCardMenu(rig), "Quit\tCtrl+Q")->trigger();
    EXPECT_EQ(closing.count(), 1);
}

// Every key in README's table of keys, as the program has it.
TEST(CardKeys, readmeListsEveryKey) {
    const QString text = QString::fromUtf8(testing::fileBytes(JACKWELL_SOURCE_DIR "/README.md"));
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

} // namespace
} // namespace jackwell
