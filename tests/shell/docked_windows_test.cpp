// Where the program cannot place its windows (Wayland), the chat is docked beside the card in one
// window: the reels can never be covered, the chat opens and closes beside them, card keys work
// from the chat, and closing the window is closing the card.

#include "chatview/chat_session.h"
#include "platform/preferences.h"
#include "shell/card_window.h"
#include "shell/chat_window.h"
#include "shell/program_windows.h"
#include "support/card_rig.h"

#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

namespace jackwell {
namespace {

TEST(DockedWindows, theChatStandsBesideTheCardInOneWindowAndNeverOverTheReels) {
    testing::CardRig<> rig;
    ChatSession session(rig.chat, rig.clock);
    QTemporaryDir home;
    Preferences preferences{home.filePath("Jackwell.conf")};
    ProgramWindows windows(rig.card, session, preferences, ProgramWindows::Arrangement::Docked);
    bool painted = false;
    windows.show([&] { painted = true; });
    QWidget* dock = windows.dock();
    ASSERT_NE(dock, nullptr);
    EXPECT_TRUE(dock->isVisible() && dock->isWindow());
    EXPECT_FALSE(windows.card().isWindow() || windows.chat().isWindow());
    EXPECT_EQ(dock->windowTitle(), windows.card().windowTitle());
    EXPECT_TRUE(QTest::qWaitFor([&] { return painted; }, 2000));

    windows.showChatWindow();
    const QRect card = windows.card().geometry();
    EXPECT_EQ(card, QRect(0, 0, 197, 302));
    EXPECT_TRUE(windows.chat().isVisible());
    EXPECT_FALSE(windows.chat().geometry().intersects(card));
    EXPECT_TRUE(dock->rect().contains(windows.chat().geometry()));
    EXPECT_TRUE(preferences.chatWindow().open);

    windows.toggleChatWindow(); // C
    EXPECT_FALSE(windows.chat().isVisible());
    EXPECT_FALSE(preferences.chatWindow().open);
    EXPECT_TRUE(QTest::qWaitFor([&] { return dock->size() == card.size(); }, 2000))
        << dock->width() << "x" << dock->height();
    windows.toggleChatWindow();
    EXPECT_TRUE(windows.chat().isVisible());

    QSignalSpy closing(&windows.card(), &CardWindow::closing);
    dock->close();
    EXPECT_EQ(closing.count(), 1);
}

} // namespace
} // namespace jackwell
