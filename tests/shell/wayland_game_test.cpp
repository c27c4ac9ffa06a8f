// A game on a real Wayland compositor (weston, by wayland_test.sh): card and chat docked in one
// window, nothing over the reels, a key acting once, its repeats passed by; statistics there too.

#include "shell/chat_window.h"
#include "shell/program_dialogs.h"
#include "shell/statistics_window.h"
#include "support/app_rig.h"

#include <QGuiApplication>
#include <QKeyEvent>
#include <QTest>

namespace jackwell {
namespace {

// A key pressed and released, with a repeat of it in between as a held key sends it.
void press(QWidget& window, Qt::Key key) {
    QKeyEvent repeat(QEvent::KeyPress, key, Qt::NoModifier, QString(), true);
    QTest::keyPress(&window, key);
    QApplication::sendEvent(&window, &repeat);
    QTest::keyRelease(&window, key);
}

TEST(WaylandGame, aGamePlaysInTheDockedWindowWithKeysActingOnce) {
    ASSERT_TRUE(QGuiApplication::platformName().startsWith(QLatin1String("wayland")))
        << "runs under a Wayland compositor: see wayland_test.sh";
    testing::AppRig::Extras keepingHistory;
    keepingHistory.keepsHistory = true;
    testing::AppRig rig(serializeSettings(Options{}), testing::AppRig::Load, keepingHistory);
    QStringList holds;
    rig.world->setPrivateMessageHook([&](const QString&, const QString& text) {
        if (text.startsWith(QLatin1String("I hold ")))
            holds << text;
    });
    rig.app->showWindows();
    rig.app->windows().showChatWindow();
    QWidget* dock = rig.app->windows().dock();
    ASSERT_NE(dock, nullptr);
    ASSERT_TRUE(QTest::qWaitForWindowExposed(dock));
    CardWindow& card = rig.app->windows().card();
    ChatWindow& chat = rig.app->windows().chat();
    EXPECT_TRUE(card.isVisible() && chat.isVisible());
    EXPECT_FALSE(chat.geometry().intersects(card.geometry()));

    rig.world->appendPrivateFrom("Rivet", "Your machinekeeper is Rivet");
    press(card, Qt::Key_G);
    rig.clock.settle();
    ASSERT_EQ(rig.app->card().state.machineKeeperName, "Rivet");
    rig.world->appendPrivateFrom("Rivet", "FIRST: | 01 | 02 | 03 |");
    press(card, Qt::Key_S);
    rig.clock.advance(6000);
    EXPECT_EQ(rig.app->card().state.reels[0].firstCode, "1");
    press(card, Qt::Key_2);
    EXPECT_TRUE(isHeld(rig.app->card().state, 1)) << "a repeat toggled the hold back";
    press(card, Qt::Key_E);
    rig.clock.settle();
    EXPECT_EQ(holds, QStringList{"I hold 0,1,0"});
    // The statistics (T) show in the window, beside the reels, the game as it ends; Esc: the chat.
    press(card, Qt::Key_T);
    StatisticsWindow* statistics = rig.app->dialogs().statisticsWindow();
    ASSERT_TRUE(statistics && statistics->isVisible());
    EXPECT_EQ(statistics->figure("Games played"), "0");
    rig.world->appendPrivateFrom("Rivet", "FINAL: | 04 | 02 | 06 | Credits: (99)");
    press(card, Qt::Key_F);
    rig.clock.advance(8000);
    EXPECT_EQ(rig.app->card().state.credits, "99");
    EXPECT_EQ(rig.app->card().state.reels[2].finalCode, "6");
    EXPECT_EQ(statistics->figure("Games played"), "1"); // the game just played
    EXPECT_EQ(statistics->window(), dock);
    EXPECT_FALSE(
        QRect(statistics->mapTo(dock, QPoint()), statistics->size()).intersects(card.geometry()));
    QTest::keyClick(statistics->focusWidget() ? statistics->focusWidget() : statistics,
                    Qt::Key_Escape);
    EXPECT_TRUE(QTest::qWaitFor([&] { return chat.isVisible(); }, 2000));
}

} // namespace
} // namespace jackwell
