// Where windows cannot be placed (Wayland) the chat docks beside the card in one window: reels
// never covered, the chat opening and closing beside them, card keys working from it, closing it
// closing the card. The card's windows show there too, in the chat's place, closed by keyboard.

#include "chatview/chat_session.h"
#include "platform/preferences.h"
#include "shell/card_window.h"
#include "shell/chat_window.h"
#include "shell/first_paint.h"
#include "shell/help_window.h"
#include "shell/program_dialogs.h"
#include "shell/program_windows.h"
#include "support/app_rig.h"
#include "support/card_rig.h"

#include <QLabel>
#include <QLayout>
#include <QPushButton>
#include <QScrollBar>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QTextBrowser>

namespace jackwell {
namespace {

// The program goes on (JACKWELL_EXIT_WHEN_SHOWN ends it) once its window has painted, not sooner.
TEST(FirstPaint, whatWaitsForTheFirstPaintWaitsForAPaint) {
    QWidget window;
    bool painted = false;
    afterFirstPaint(window, [&] { painted = true; });
    window.setWindowTitle("Jackwell"); // an event before any paint
    EXPECT_FALSE(QTest::qWaitFor([&] { return painted; }, 50));
    window.show();
    EXPECT_TRUE(QTest::qWaitFor([&] { return painted; }, 2000));
}

TEST(DockedWindows, theChatStandsBesideTheCardInOneWindowAndNeverOverTheReels) {
    testing::CardRig<> rig;
    ChatSession session(rig.chat, rig.clock);
    QTemporaryDir home;
    Preferences preferences{home.filePath("Jackwell.conf")};
    ProgramWindows windows(rig.card, session, preferences, ProgramWindows::Arrangement::Docked);
    ASSERT_TRUE(preferences.setChatWindow({.open = false, .geometry = std::nullopt}));
    bool painted = false;
    windows.show([&] { painted = true; });
    EXPECT_FALSE(windows.chat().isVisible()) << "closed, as it was left";
    QWidget* dock = windows.dock();
    ASSERT_NE(dock, nullptr);
    EXPECT_TRUE(dock->isVisible() && dock->isWindow());
    EXPECT_FALSE(windows.card().isWindow() || windows.chat().isWindow());
    EXPECT_EQ(dock->windowTitle(), windows.card().windowTitle());
    EXPECT_TRUE(QTest::qWaitFor([&] { return painted; }, 2000));

    windows.showChatWindow();
    const QSize withChat = dock->size();
    const QRect card = windows.card().geometry();
    EXPECT_EQ(card, QRect(0, 0, 197, 302));
    EXPECT_TRUE(windows.chat().isVisible() && !windows.chat().geometry().intersects(card));
    EXPECT_TRUE(dock->rect().contains(windows.chat().geometry()) && preferences.chatWindow().open);
    EXPECT_LT(dock->minimumSizeHint().width(), withChat.width()) << "the chat may be narrowed";

    windows.toggleChatWindow(); // C
    EXPECT_FALSE(windows.chat().isVisible() || preferences.chatWindow().open);
    EXPECT_TRUE(QTest::qWaitFor([&] { return dock->size() == card.size(); }, 2000))
        << dock->width() << "x" << dock->height();
    windows.toggleChatWindow();
    EXPECT_TRUE(windows.chat().isVisible());
    EXPECT_TRUE(QTest::qWaitFor([&] { return dock->size() == withChat; }, 2000))
        << dock->width() << "x" << dock->height() << ", was " << withChat.width();

    QSignalSpy closing(&windows.card(), &CardWindow::closing);
    dock->close();
    EXPECT_EQ(closing.count(), 1);
}

TEST(DockedWindows, theWindowsTheCardOpensShowInTheChatsPlaceAndCloseFromTheKeyboard) {
    testing::AppRig rig({}, testing::AppRig::Load, {.docked = true});
    rig.app->showWindows();
    ProgramWindows& windows = rig.app->windows();
    ProgramDialogs& dialogs = rig.app->dialogs();
    windows.showChatWindow();
    QWidget* dock = windows.dock();
    ASSERT_TRUE(dock);
    CardWindow& card = windows.card();
    auto* pane = dock->findChild<QWidget*>("dockedPane");
    ASSERT_TRUE(pane);
    const auto shown = [&]() -> QWidget* {
        for (QWidget* child : pane->findChildren<QWidget*>(Qt::FindDirectChildrenOnly)) {
            if (child->objectName() != "dockedPaneBar" && child->isVisible())
                return child;
        }
        return nullptr;
    };
    const std::pair<const char*, std::function<void()>> openers[] = {
        {"statistics", [&] { dialogs.showStatistics(); }},
        {"options", [&] { dialogs.showOptions(); }},
        {"help", [&] { dialogs.showHelp(); }},
        {"hint", [&] { dialogs.showHint(); }},
        {"about", [&] { dialogs.showAbout(); }},
        {"payouts", [&] { card.trigger(CardAction::ShowPayouts); }},
    };
    for (const auto& [name, open] : openers) {
        SCOPED_TRACE(name);
        open();
        QWidget* window = shown();
        ASSERT_TRUE(window);
        EXPECT_FALSE(window->isWindow());
        const QRect inDock(window->mapTo(dock, QPoint()), window->size());
        EXPECT_TRUE(!inDock.intersects(card.geometry()) && dock->rect().contains(inDock));
        EXPECT_FALSE(windows.chat().isVisible());
        EXPECT_EQ(card.geometry(), QRect(0, 0, 197, 302));
        EXPECT_FALSE(pane->geometry().intersects(card.geometry()));
        EXPECT_EQ(pane->findChild<QLabel*>()->text(), window->windowTitle());
        const QWidget* keys = dock->focusWidget(); // the keyboard goes to it, but for the hint
        EXPECT_EQ(keys && (keys == window || window->isAncestorOf(keys)), name != QString("hint"));
        // Closed with Esc, and once more with the pane's visible Close.
        for (const bool byButton : {false, true}) {
            if (byButton)
                open();
            const QPointer<QWidget> kept = shown();
            ASSERT_TRUE(kept);
            if (byButton)
                pane->findChild<QPushButton*>("dockedPaneClose")->click();
            else
                QTest::keyClick(kept->focusWidget() ? kept->focusWidget() : kept.data(),
                                Qt::Key_Escape);
            EXPECT_TRUE(QTest::qWaitFor([&] { return windows.chat().isVisible(); }, 2000));
            EXPECT_EQ(shown(), nullptr);
            EXPECT_FALSE(pane->isVisible());
            EXPECT_TRUE(!kept || (kept->isWindow() && kept->isHidden())) << "given back, hidden";
        }
    }

    windows.toggleChatWindow(); // C, once the windows gave the chat back: closed it stays
    EXPECT_FALSE(Preferences(rig.preferencesPath).chatWindow().open);
    windows.toggleChatWindow();
    dialogs.showKeys(); // scrolled to the keys in the dock too
    EXPECT_GT(dialogs.helpWindow()->text()->verticalScrollBar()->value(), 100);
    windows.toggleChatWindow(); // C beside the help, the window widened: the two share the room
    dock->resize(dock->width() + 200, dock->height());
    dock->layout()->activate();
    EXPECT_LE(std::abs(windows.chat().width() - pane->width()), 1) << pane->width();
    // The hint leaves the keys with the card.
    card.setFocus();
    dialogs.showHint();
    ASSERT_TRUE(shown() && shown() != dialogs.helpWindow()) << "the help not given back";
    QTest::keyClick(&card, Qt::Key_1);
    EXPECT_TRUE(isHeld(rig.app->card().state, 0));
    // Ended while a window stands in the chat's place, the chat stays open for the next run.
    windows.close();
    EXPECT_TRUE(Preferences(rig.preferencesPath).chatWindow().open);
}

} // namespace
} // namespace jackwell
