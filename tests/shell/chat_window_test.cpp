// The chat window beside the card: the growing chat, followed at its end unless scrolled back,
// typing reaching the world, the state line, its place, its being open kept in the preferences.

#include "card/card.h"
#include "chatview/shown_line.h"
#include "machine/texts.h"
#include "shell/chat_window.h"
#include "shell/help_window.h"
#include "shell/options_window.h"
#include "shell/program_dialogs.h"
#include "shell/program_windows.h"
#include "shell/window_placement.h"
#include "support/app_rig.h"
#include "support/wait_until.h"

#include <QApplication>
#include <QGuiApplication>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QRegularExpression>
#include <QScreen>
#include <QScrollBar>
#include <QTest>
#include <QTextBlock>

namespace jackwell {
namespace {

using testing::AppRig;
using namespace Qt::StringLiterals;

// The lines in the view once the frame's went in, symbols' pictures left out (`pictures`: kept).
QStringList shownLines(AppRig& rig, bool pictures = false) {
    rig.clock.advance(16); // a frame, at sixty a second
    QStringList lines;
    for (QTextBlock block = rig.app->windows().chat().logView()->document()->begin();
         block.isValid(); block = block.next())
        lines << (pictures ? block.text() : block.text().remove(QChar::ObjectReplacementCharacter));
    return lines;
}

// The program with its chat window shown.
struct ChatRig : AppRig {
    ChatRig() { app->windows().showChatWindow(); }
    ChatWindow& chat = app->windows().chat();
};

TEST(ChatWindow, showsTheChatTextAsItGrowsAndTheStateOfTheLink) {
    ChatRig rig;
    EXPECT_EQ(rig.chat.windowTitle(), "Chat");
    EXPECT_EQ(rig.chat.statusText(), "Embedded world");
    const QRect status = rig.chat.findChild<QWidget*>("chatStatus")->geometry(); // over the text
    EXPECT_LT(status.bottom(), rig.chat.logView()->geometry().top()) << QTest::toString(status);
    rig.world->appendPublic("Rivet", "Your machinekeeper is Rivet.");
    rig.world->appendPrivateFrom("Rivet", "FIRST: | 02 | 02 | 04 |");
    rig.world->appendSystem("Oskar has left the world.");
    // The draw is the card's to show first; once it has, the whole line takes its place.
    QStringList lines{"Rivet: Your machinekeeper is Rivet.",
                      "Rivet sent your first draw: START shows it",
                      "<system>: Oskar has left the world."};
    EXPECT_EQ(shownLines(rig), lines);
    rig.app->chatSession().drawShown("Rivet: FIRST: | 02 | 02 | 04 |");
    lines[1] = "ESP from Rivet: FIRST: | 02 | 02 | 04 |";
    EXPECT_EQ(shownLines(rig), lines);
    rig.app->shutDown();
    EXPECT_EQ(rig.chat.statusText(), "Offline");
    AppRig unopened(serializeSettings(Options{}), AppRig::DoNotLoad); // the link never opened
    EXPECT_EQ(unopened.app->windows().chat().statusText(), "Offline");
}

// The outcome is the card's to tell, once its reels have come to rest on the final draw: a line
// of the card's own, in a look no line of the chat takes, never the machinekeeper's.
TEST(ChatWindow, theCardTellsTheOutcomeOnceItHasShownTheDraw) {
    ChatRig rig;
    Card& card = rig.app->card();
    card.state.machineKeeperName = "Rivet";
    rig.app->chatSession().submit("hello"); // the first line, and lines of other kinds: looks
    rig.world->appendPublic("Mabel", "Evening");
    rig.world->appendPrivateFrom("Mabel", "psst");
    rig.world->appendSystem("Oskar has left the world.");
    card.sendHolds();
    rig.clock.settle();
    rig.world->appendPrivateFrom("Rivet", "FINAL: | 02 | 02 | 02 | Credits: (105)");
    card.finish();
    rig.clock.advance(7000);
    const QString told = "Your card: Three grapes: you win 300 tokens (6 credits). Credits: 105.";
    EXPECT_FALSE(shownLines(rig).contains(told));
    rig.clock.advance(200);
    EXPECT_EQ(shownLines(rig).last(), told);
    // Each kind in its looks: its ground (the player's own, the machinekeeper's and the card's
    // stand out), its head's colour and weight, and a system line grey and slanted throughout.
    QStringList looks;
    for (QTextBlock block = rig.chat.logView()->document()->begin(); block.isValid();
         block = block.next()) {
        const QTextCharFormat head = block.begin().fragment().charFormat();
        looks << u"%1 %2 %3 %4"_s
                     .arg(block.blockFormat().background().color().name(),
                          head.foreground().color().name())
                     .arg(head.fontWeight())
                     .arg((--block.end()).fragment().charFormat().fontItalic());
    }
    EXPECT_EQ(looks, QStringList({"#e6f0fb #1f3f7a 700 0", "#000000 #1f3f7a 700 0",
                                  "#000000 #7a1f7a 700 0", "#000000 #707070 400 1",
                                  "#e6f0fb #1f5f35 700 0", "#fff1c9 #8a4b00 700 0",
                                  "#e3f5e1 #0b5d1e 700 0"}));
}

// Lines that come while the window is closed are there, in order, when it opens (the last 10000).
TEST(ChatWindow, keepsTheLinesThatCameWhileItWasClosed) {
    ChatRig rig;
    rig.app->chatSession().submit("before"); // the player's own line, on its own ground
    rig.app->windows().hideChatWindow();
    for (int i = 0; i < 10'005; ++i)
        rig.world->appendPublic(i % 2 ? "Mabel" : "Player", QString::number(i));
    rig.app->windows().showChatWindow();
    QTextDocument* document = rig.chat.logView()->document();
    const QStringList lines = shownLines(rig);
    ASSERT_EQ(lines.size(), 10'000);
    EXPECT_EQ(lines.first(), "Mabel: 5");
    EXPECT_EQ(lines.last(), "Player: 10004");
    // Each line keeps its own look through the cut: Mabel's plain, the player's marked.
    EXPECT_EQ(document->firstBlock().blockFormat().background().style(), Qt::NoBrush);
    EXPECT_NE(document->firstBlock().next().blockFormat().background().style(), Qt::NoBrush);

    rig.world->appendPublic("Oskar", "after");
    EXPECT_EQ(shownLines(rig).size(), 10'000);
    EXPECT_EQ(shownLines(rig).first(), "Player: 6");
    EXPECT_NE(document->firstBlock().blockFormat().background().style(), Qt::NoBrush);
}

// Enter sends what is typed: plain text in public, /msg privately as "ESP to NAME: text", the
// other commands as in any chat client (the embedded world saying what /join and /nick mean
// there); a bad command is refused on a system line, and the typing line is emptied each time.
TEST(ChatWindow, typingReachesTheWorldAndTheViewFollowsTheEndUnlessScrolledBack) {
    ChatRig rig;
    QLineEdit* typing = rig.chat.typingLine();
    for (const char* typed :
         {"Evening all", "/msg Rivet Register me!", "/wave", "/me waves", "/query Oskar psst",
          "still private", "/query", "public again", "/join #other", "/nick Bob", "/help"}) {
        QTest::keyClicks(typing, typed);
        QTest::keyClick(typing, Qt::Key_Return);
        EXPECT_TRUE(typing->text().isEmpty());
        if (QString(typed) == "still private") {
            EXPECT_TRUE(typing->placeholderText().contains("privately to Oskar"));
        }
    }
    EXPECT_EQ(
        QString::fromUtf8(rig.world->log()).split("\r\n"),
        (QStringList{"Player: Evening all", "ESP to Rivet: Register me!", "Player: * Player waves",
                     "ESP to Oskar: psst", "ESP to Oskar: still private", "Player: public again"}));
    const QStringList shown = shownLines(rig).filter("<system>: ");
    EXPECT_TRUE(shown[0].startsWith("<system>: Not sent: /wave is no command here"));
    EXPECT_EQ(shown.filter(QRegularExpression("one room|you are Player")).size(), 2);
    EXPECT_EQ(
        shown.filter(QRegularExpression("^<system>: /(msg|query|me|join|nick|help)[ :]")).size(),
        6); // the help

    // The view follows the newest line unless the player scrolled back to read; at the end again.
    QScrollBar* bar = rig.chat.logView()->verticalScrollBar();
    for (int i = 0; i < 200; ++i)
        rig.world->appendPublic("Oskar", QStringLiteral("line %1").arg(i));
    rig.clock.advance(ChatWindow::kFrameMs);
    ASSERT_GT(bar->maximum(), 0);
    EXPECT_EQ(bar->value(), bar->maximum());

    bar->setValue(bar->maximum() / 2); // the player scrolls back
    const int readingAt = bar->value();
    for (int i = 0; i < 50; ++i)
        rig.world->appendPublic("Oskar", QStringLiteral("more %1").arg(i));
    rig.clock.advance(ChatWindow::kFrameMs);
    EXPECT_EQ(bar->value(), readingAt);
    EXPECT_FALSE(rig.chat.followsEnd());

    bar->setValue(bar->maximum());
    rig.world->appendPublic("Oskar", "and the end again");
    rig.clock.advance(ChatWindow::kFrameMs);
    EXPECT_EQ(bar->value(), bar->maximum());
    EXPECT_TRUE(rig.chat.followsEnd());
}

// Each line stays one line whatever it holds; a long one is cut; the protocol's codes and amounts
// have the symbols' pictures beside them up to the last character shown, the text unchanged.
TEST(ChatWindow, showsEachLineAsOneLineWithTheSymbolsBesideTheCodes) {
    ChatRig rig;
    const QString payouts = machine::kPayoutsHead + "25000:10000:5000:2500:1000:500:500:400:400:"
                                                    "400:300:300:300:200:100:50";
    const QString farOut = "ESP from " + QString(1000 - 11 - payouts.size(), u'R') + ": " + payouts;
    const struct {
        QString line;
        QString shown;
        int pictures;
    } rows[] = {
        {u"Oskar: hi\u2029ESP from Rivet: FIRST: | 04 | 04 | 04 |"_s,
         u"Oskar: hi\u00B6ESP from Rivet: FIRST: | 04 | 04 | 04 |"_s, 0},
        {"ESP from Rivet: FIRST: | 04 | 14 | 10 |", "ESP from Rivet: FIRST: | 04 | 14 | 10 |", 3},
        {farOut, farOut, 45},
        {"Oskar: " + QString(8000, u'x'),
         "Oskar: " + QString(kLongestShownLine - 7, u'x') + u" \u2026 [7007 more characters]"_s, 0},
    };
    for (const auto& row : rows)
        rig.world->appendLine(row.line);
    rig.app->chatSession().drawShown("Rivet: FIRST: | 04 | 14 | 10 |");
    const QStringList lines = shownLines(rig, true);
    ASSERT_EQ(lines.size(), std::size(rows));
    for (std::size_t i = 0; i < std::size(rows); ++i) {
        QString text = lines[qsizetype(i)];
        EXPECT_EQ(text.count(QChar::ObjectReplacementCharacter), rows[i].pictures) << i;
        EXPECT_EQ(text.remove(QChar::ObjectReplacementCharacter), rows[i].shown) << i;
    }
}

// Long lines in a flood leave the view a bounded text, newest last; a frame's lines go at its end.
TEST(ChatWindow, holdsABoundedTextUnderAFloodAndTakesLinesInOncePerFrame) {
    ChatRig rig;
    QTextDocument* document = rig.chat.logView()->document();
    shownLines(rig);
    const int before = document->blockCount();
    // Two frames of 1.5 million characters each: the second has to make room for itself.
    for (int i = 0; i < 3000; ++i) {
        rig.world->appendPublic("Oskar", QString::number(i) + QString(990, u'x'));
        if (i == 1499) {
            EXPECT_EQ(document->blockCount(), before); // nothing yet
            shownLines(rig);
        }
    }
    const QStringList lines = shownLines(rig);
    EXPECT_LE(document->characterCount(), ChatWindow::kMaxChars);
    EXPECT_GT(document->characterCount(), ChatWindow::kMaxChars - 1100) << "full to within a line";
    EXPECT_GT(lines.size(), 1000);
    EXPECT_TRUE(lines.last().startsWith("Oskar: 2999x"));
    // A frame over the bound alone: only its newest lines that fit; their three sevens count too.
    for (int i = 3000; i < 5100; ++i)
        rig.world->appendPublic("Oskar", QString("Payouts:%1:").arg(i) + QString(984, u'x'));
    EXPECT_TRUE(shownLines(rig).first().startsWith("Oskar: Payouts:3157:"));
    EXPECT_LE(document->characterCount(), ChatWindow::kMaxChars);
    // A line that fills the view to the bound exactly ("Oskar: " and its end) cuts none.
    rig.world->appendPublic("Oskar",
                            QString(ChatWindow::kMaxChars - document->characterCount() - 8, u'y'));
    EXPECT_TRUE(shownLines(rig).first().startsWith("Oskar: Payouts:3157:"));
    EXPECT_EQ(document->characterCount(), ChatWindow::kMaxChars);
}

// Each server greeting stands as one line, which a click opens and closes.
TEST(ChatWindow, foldsEachGreetingIntoOneLineThatOpens) {
    ChatRig rig;
    const ChatLineLook system{ChatLineKind::System, {}, false, false};
    const auto greet = [&](int greeting, const QString& text) {
        rig.chat.appendLine({"<system>: " + text, system, greeting});
    };
    greet(1, "Welcome to the network");
    greet(1, "There are 3 users");
    rig.world->appendSystem("Connected to irc:6667 as Player");
    greet(1, "End of MOTD");
    greet(2, "Welcome back");
    EXPECT_EQ(shownLines(rig),
              (QStringList{u"<system>: \u25B8 The server's greeting, 3 lines (click to open)"_s,
                           "<system>: Connected to irc:6667 as Player",
                           u"<system>: \u25B8 The server's greeting, 1 line (click to open)"_s}));
    QPlainTextEdit* view = rig.chat.logView();
    EXPECT_EQ(view->document()->firstBlock().blockFormat().background(), QBrush())
        << "plain, as a system line";
    const QPoint first = view->cursorRect(QTextCursor(view->document()->firstBlock())).center();
    QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, first);
    EXPECT_EQ(shownLines(rig).first(),
              u"<system>: \u25BE The server's greeting, 3 lines (click to close)\u2028    "
              "Welcome to the network\u2028    There are 3 users\u2028    End of MOTD"_s);
    // A hand's tremble between press and release is still a click; more is a drag.
    QTest::mousePress(view->viewport(), Qt::LeftButton, {}, first);
    QTest::mouseRelease(view->viewport(), Qt::LeftButton, {}, first + QPoint(5, 0));
    EXPECT_TRUE(shownLines(rig).first().contains("(click to close)"));
    QTest::mousePress(view->viewport(), Qt::LeftButton, {}, first);
    QTest::mouseRelease(view->viewport(), Qt::LeftButton, {}, first + QPoint(2, 2));
    EXPECT_TRUE(shownLines(rig).first().endsWith("(click to open)"));
}

QScreen* screenNamed(const char* name) {
    for (QScreen* screen : QGuiApplication::screens()) {
        if (screen->name() == QLatin1String(name))
            return screen;
    }
    throw std::runtime_error(std::string("no screen ") + name);
}

// On each screen, wherever the card stands (the middle, as window managers put it, or an edge) the
// chat opens beside it, readable, not over it; all windows wholly on the card's screen.
TEST(ChatWindow, opensBesideTheCardOnItsScreenAtEverySize) {
    for (const char* name : {"A 800x600", "B 1024x768", "C 1920x1080", "D 1366x768 at 2x"}) {
        const QRect screen = screenNamed(name)->availableGeometry();
        for (const QPoint& at : {screen.center() - QPoint(100, 150), screen.topLeft(),
                                 screen.topRight() - QPoint(205, 0)}) {
            SCOPED_TRACE(std::string(name) + " " + QTest::toString(at));
            AppRig rig;
            rig.app->windows().card().move(at);
            rig.app->showWindows();
            const QRect card = rig.app->windows().card().frameGeometry();
            const QRect chat = rig.app->windows().chat().frameGeometry();
            EXPECT_TRUE(!card.intersects(chat) && screen.contains(card) && screen.contains(chat));
            EXPECT_GE(chat.width(), kReadableChatSize.width());
            rig.app->windows().card().trigger(CardAction::ShowPayouts);
            rig.app->dialogs().showOptions();
            rig.app->dialogs().showHelp();
            if (screen.width() >= 1920) { // room for the help's own size beside the card
                EXPECT_EQ(rig.app->dialogs().helpWindow()->size(), QSize(520, 640));
            }
            // Narrowed to the room beside the card where it can be.
            EXPECT_FALSE(rig.app->dialogs().helpWindow()->frameGeometry().intersects(card));
            for (QWidget* other : {(QWidget*)rig.app->windows().card().payoutsWindow(),
                                   (QWidget*)&rig.app->dialogs().optionsWindow(),
                                   (QWidget*)rig.app->dialogs().helpWindow()}) {
                const QRect frame = other->frameGeometry();
                EXPECT_EQ(screen.intersected(frame), frame) << other->windowTitle();
            }
        }
    }
}

// Closing the chat window is remembered, with both windows' places, in the preferences (never
// Settings.txt); the next run opens it only when asked (the C key), both where they stood, unless
// a place no longer fits (a screen unplugged, a smaller one). Painted, they wear the app's icon.
TEST(ChatWindow, openOrClosedAndWhereIsKeptInThePreferences) {
    QTemporaryDir keep;
    const QString preferences = keep.filePath("Jackwell.conf");
    const QRect placed(300, 200, 420, 380), cardPlaced(40, 60, 197, 302);
    {
        AppRig rig(serializeSettings(Options{}), AppRig::Load, {{}, preferences});
        rig.app->showWindows();
        ChatWindow& chat = rig.app->windows().chat();
        chat.setGeometry(placed);
        rig.app->windows().card().setGeometry(cardPlaced);
        chat.close(); // the title bar's close box
        EXPECT_FALSE(chat.isVisible());
        EXPECT_EQ(Preferences(preferences).chatWindow(), (Preferences::ChatWindow{false, placed}));
        rig.app->shutDown();
        rig.app->windows().showChatWindow(); // asked for too late: the program has ended
        EXPECT_EQ(Preferences(preferences).chatWindow(), (Preferences::ChatWindow{false, placed}));
        EXPECT_EQ(rig.settingsOnDisk(), serializeSettings(Options{}));
    }
    // A run in which the chat stays closed leaves its place as it was.
    AppRig(serializeSettings(Options{}), AppRig::Load, {{}, preferences}).app->shutDown();
    {
        AppRig again(serializeSettings(Options{}), AppRig::Load, {{}, preferences});
        again.app->showWindows();
        ChatWindow& chat = again.app->windows().chat();
        EXPECT_FALSE(chat.isVisible());
        EXPECT_EQ(again.app->windows().card().geometry(), cardPlaced);
        again.app->windows().card().move(-150, 60); // its middle off the screen, by the player
        QTest::keyClick(&again.app->windows().card(), Qt::Key_C);
        EXPECT_TRUE(chat.isVisible());
        EXPECT_EQ(chat.geometry(), placed);
        EXPECT_TRUE(Preferences(preferences).chatWindow().open);
        again.app->shutDown(); // open at the end: open next time
        EXPECT_TRUE(Preferences(preferences).chatWindow().open);
    }
    Preferences(preferences).setCardGeometry({6000, 40, 197, 302});           // a screen gone
    Preferences(preferences).setChatWindow({true, QRect(100, 0, 420, 1080)}); // too tall now
    AppRig last(serializeSettings(Options{}), AppRig::Load, {{}, preferences});
    QApplication::setWindowIcon(QIcon());
    last.app->showWindows();
    EXPECT_TRUE(testing::waitUntil(
        [&last] { return !last.app->windows().chat().windowIcon().isNull(); }, 5000));
    EXPECT_EQ(last.app->windows().card().windowIcon().cacheKey(),
              QApplication::windowIcon().cacheKey());
    const QRect screen = QGuiApplication::primaryScreen()->availableGeometry();
    const QRect card = last.app->windows().card().frameGeometry();
    const QRect chat = last.app->windows().chat().frameGeometry();
    EXPECT_TRUE(screen.contains(card) && screen.contains(chat) && !card.intersects(chat));
    // As tall as all the screens together, its size was taken back, and made as short as it must.
    EXPECT_EQ(last.app->windows().chat().width(), 420);
}

// A place no window could have (a damaged preferences file) is never used, not for a moment.
TEST(ChatWindow, placesNoWindowCouldHaveAreNeverTaken) {
    QTemporaryDir keep;
    const QString preferences = keep.filePath("Jackwell.conf");
    const QRect hostile(0, 0, 2147483647, 380); // wider than any desktop
    Preferences(preferences).setCardGeometry(hostile);
    Preferences(preferences).setChatWindow({true, hostile});
    AppRig rig(serializeSettings(Options{}), AppRig::Load, {{}, preferences});
    QSize largest;
    struct Sizes : QObject {
        QSize& largest;
        explicit Sizes(QSize& into)
            : largest(into) {}
        bool eventFilter(QObject* watched, QEvent* event) override {
            if (event->type() == QEvent::Resize)
                largest = largest.expandedTo(static_cast<QWidget*>(watched)->size());
            return false;
        }
    } sizes(largest);
    rig.app->windows().chat().installEventFilter(&sizes);
    rig.app->windows().card().installEventFilter(&sizes);
    rig.app->showWindows();
    const QRect screen = QGuiApplication::primaryScreen()->availableGeometry();
    EXPECT_TRUE(rig.app->windows().chat().isVisible());
    EXPECT_TRUE(screen.contains(rig.app->windows().chat().frameGeometry()));
    EXPECT_TRUE(screen.contains(rig.app->windows().card().frameGeometry()));
    EXPECT_LE(largest.width(), screen.width());
    EXPECT_LE(largest.height(), screen.height());
}

} // namespace
} // namespace jackwell
