// The chat window beside the card: the chat as it grows, following its end unless the player
// scrolled back, what is typed reaching the world, the state line, its place beside the card,
// and its being open or closed kept in the preferences (never in Settings.txt).

#include "card/card.h"
#include "shell/chat_window.h"
#include "shell/window_placement.h"
#include "support/app_rig.h"

#include <QLineEdit>
#include <QPlainTextEdit>
#include <QScreen>
#include <QScrollBar>
#include <QTest>
#include <QTextBlock>

namespace jackwell {
namespace {

using testing::AppRig;

QStringList shownLines(ChatWindow& chat) {
    QStringList lines;
    for (QTextBlock block = chat.logView()->document()->begin(); block.isValid();
         block = block.next())
        lines << block.text();
    return lines;
}

TEST(ChatWindow, showsTheChatTextAsItGrowsAndTheStateOfTheLink) {
    AppRig rig;
    rig.app->showChatWindow();
    ChatWindow& chat = rig.app->chatWindow();
    EXPECT_EQ(chat.windowTitle(), "Chat");
    EXPECT_EQ(chat.statusText(), "Embedded world");
    rig.world->appendPublic("Rivet", "Your machinekeeper is Rivet.");
    rig.world->appendPrivateFrom("Rivet", "FIRST: | 02 | 02 | 04 |");
    rig.world->appendSystem("Oskar has left the world.");
    EXPECT_EQ(shownLines(chat), (QStringList{"Rivet: Your machinekeeper is Rivet.",
                                             "ESP from Rivet: FIRST: | 02 | 02 | 04 |",
                                             "<system>: Oskar has left the world."}));
    // The player's own lines stand out from the others.
    rig.app->chatSession().submit("hello");
    const QTextBlock own = chat.logView()->document()->lastBlock();
    EXPECT_EQ(own.text(), "Player: hello");
    EXPECT_NE(own.blockFormat().background(), own.previous().blockFormat().background());
    rig.app->shutDown();
    EXPECT_EQ(chat.statusText(), "Offline");
}

// The outcome is the card's to tell, once its reels have come to rest on the final draw: a line
// of the card's own, in a look no line of the chat takes, never the machinekeeper's.
TEST(ChatWindow, theCardTellsTheOutcomeOnceItHasShownTheDraw) {
    AppRig rig;
    rig.app->showChatWindow();
    ChatWindow& chat = rig.app->chatWindow();
    Card& card = rig.app->card();
    card.state.machineKeeperName = QStringLiteral("Rivet");
    rig.world->appendPrivateFrom("Rivet", "FINAL: | 02 | 02 | 02 | Credits: (105)");
    card.sendHolds();
    card.finish();
    rig.clock.advance(7000);
    const QString told = "Your card: Three grapes: you win 300 tokens (6 credits). Credits: 105.";
    EXPECT_FALSE(shownLines(chat).contains(told));
    rig.clock.advance(200);
    EXPECT_EQ(shownLines(chat).last(), told);
    const QTextBlock line = chat.logView()->document()->lastBlock();
    for (QTextBlock other = line.previous(); other.isValid(); other = other.previous())
        EXPECT_NE(line.blockFormat().background(), other.blockFormat().background());
}

// Lines that come while the window is closed are there, in order, when it opens again; of a
// great many, the newest kMaxLines.
TEST(ChatWindow, keepsTheLinesThatCameWhileItWasClosed) {
    AppRig rig;
    rig.app->showChatWindow();
    rig.app->chatSession().submit("before"); // the player's own line, on its own ground
    rig.app->hideChatWindow();
    for (int i = 0; i < ChatWindow::kMaxLines + 5; ++i)
        rig.world->appendPublic(i % 2 ? "Mabel" : "Player", QString::number(i));
    rig.app->showChatWindow();
    QTextDocument* document = rig.app->chatWindow().logView()->document();
    const QStringList lines = shownLines(rig.app->chatWindow());
    ASSERT_EQ(lines.size(), ChatWindow::kMaxLines);
    EXPECT_EQ(lines.first(), "Mabel: 5");
    EXPECT_EQ(lines.last(), QStringLiteral("Player: %1").arg(ChatWindow::kMaxLines + 4));
    // Each line keeps its own look through the cut: Mabel's plain, the player's marked.
    EXPECT_EQ(document->firstBlock().blockFormat().background().style(), Qt::NoBrush);
    EXPECT_NE(document->firstBlock().next().blockFormat().background().style(), Qt::NoBrush);

    rig.world->appendPublic("Oskar", "after");
    EXPECT_EQ(shownLines(rig.app->chatWindow()).size(), ChatWindow::kMaxLines);
    EXPECT_EQ(shownLines(rig.app->chatWindow()).first(), "Player: 6");
    EXPECT_NE(document->firstBlock().blockFormat().background().style(), Qt::NoBrush);
}

// The view stays at the newest line as lines arrive, unless the player has scrolled back to
// read; back at the end, it follows again.
TEST(ChatWindow, followsTheEndUnlessScrolledBack) {
    AppRig rig;
    rig.app->showWindows();
    ChatWindow& chat = rig.app->chatWindow();
    QScrollBar* bar = chat.logView()->verticalScrollBar();
    for (int i = 0; i < 200; ++i)
        rig.world->appendPublic("Oskar", QStringLiteral("line %1").arg(i));
    ASSERT_GT(bar->maximum(), 0);
    EXPECT_EQ(bar->value(), bar->maximum());

    bar->setValue(bar->maximum() / 2); // the player scrolls back
    const int readingAt = bar->value();
    for (int i = 0; i < 50; ++i)
        rig.world->appendPublic("Oskar", QStringLiteral("more %1").arg(i));
    EXPECT_EQ(bar->value(), readingAt);
    EXPECT_FALSE(chat.followsEnd());

    bar->setValue(bar->maximum());
    rig.world->appendPublic("Oskar", "and the end again");
    EXPECT_EQ(bar->value(), bar->maximum());
    EXPECT_TRUE(chat.followsEnd());
}

// Enter sends what is typed: plain text in public, /msg privately as "ESP to NAME: text";
// a bad command is refused on a system line, and the typing line is emptied each time.
TEST(ChatWindow, typingReachesTheWorld) {
    AppRig rig;
    rig.app->showChatWindow();
    QLineEdit* typing = rig.app->chatWindow().typingLine();
    for (const char* typed : {"Evening all", "/msg Rivet Register me!", "/wave"}) {
        QTest::keyClicks(typing, typed);
        QTest::keyClick(typing, Qt::Key_Return);
        EXPECT_TRUE(typing->text().isEmpty());
    }
    EXPECT_EQ(QString::fromUtf8(rig.world->log()).split("\r\n"),
              (QStringList{"Player: Evening all", "ESP to Rivet: Register me!"}));
    EXPECT_TRUE(shownLines(rig.app->chatWindow()).last().startsWith("<system>: Not sent: /wave"));
}

// It opens to the right of the card, clear of it and wholly on the screen.
TEST(ChatWindow, opensBesideTheCardOnScreen) {
    AppRig rig;
    rig.app->window().move(40, 40);
    rig.app->showWindows();
    ChatWindow& chat = rig.app->chatWindow();
    ASSERT_TRUE(chat.isVisible());
    const QRect card = rig.app->window().frameGeometry();
    const QRect beside = chat.frameGeometry();
    EXPECT_FALSE(card.intersects(beside));
    EXPECT_GT(beside.left(), card.right());
    EXPECT_TRUE(chat.screen()->availableGeometry().contains(beside));
}

TEST(WindowPlacement, rightOfTheAnchorElseLeftElseOnScreen) {
    const QRect screen(0, 0, 1000, 700);
    const QSize size(400, 300);
    EXPECT_EQ(placeBeside({10, 20, 200, 300}, size, screen, 8), QPoint(218, 20));
    EXPECT_EQ(placeBeside({700, 20, 200, 300}, size, screen, 8), QPoint(292, 20));
    EXPECT_EQ(placeBeside({300, 500, 400, 300}, size, screen, 8), QPoint(600, 400));
    EXPECT_TRUE(isReachable({100, 100, 400, 300}, screen));
    EXPECT_FALSE(isReachable({-500, 100, 400, 300}, screen));
    EXPECT_FALSE(isReachable({100, 800, 400, 300}, screen));
}

// Closing the chat window is remembered, with its place, in the preferences; the next run
// opens it only when asked (the C key), where it stood. Settings.txt never hears of it.
TEST(ChatWindow, openOrClosedAndWhereIsKeptInThePreferences) {
    QTemporaryDir keep;
    const QString preferences = keep.filePath("Jackwell.conf");
    QRect placed;
    {
        AppRig rig(serializeSettings(Options{}), AppRig::Load, {{}, preferences});
        rig.app->showWindows();
        ChatWindow& chat = rig.app->chatWindow();
        chat.setGeometry(300, 200, 420, 380);
        placed = chat.geometry();
        chat.close(); // the title bar's close box
        EXPECT_FALSE(chat.isVisible());
        EXPECT_EQ(Preferences(preferences).chatWindow(), (Preferences::ChatWindow{false, placed}));
        rig.app->shutDown();
        EXPECT_EQ(rig.settingsOnDisk(), serializeSettings(Options{}));
    }
    AppRig again(serializeSettings(Options{}), AppRig::Load, {{}, preferences});
    again.app->showWindows();
    ChatWindow& chat = again.app->chatWindow();
    EXPECT_FALSE(chat.isVisible());
    QTest::keyClick(&again.app->window(), Qt::Key_C);
    EXPECT_TRUE(chat.isVisible());
    EXPECT_EQ(chat.geometry(), placed);
    EXPECT_TRUE(Preferences(preferences).chatWindow().open);
    again.app->shutDown(); // open at the end: open next time
    EXPECT_TRUE(Preferences(preferences).chatWindow().open);
}

} // namespace
} // namespace jackwell
