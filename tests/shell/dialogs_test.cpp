// The card's windows open beside it, never over the reels, no larger than the screen, and close by
// key: the statistics with a visible Close, Esc, Return, Ctrl+W, T; the hint with H, the card
// keeping its keys; others with Esc, Ctrl+W or their own key. Ctrl+Q quits from any.

#include "shell/chat_window.h"
#include "shell/help_window.h"
#include "shell/options_window.h"
#include "shell/payouts_window.h"
#include "shell/statistics_window.h"
#include "support/app_rig.h"

#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QTest>

namespace jackwell {
namespace {

using testing::AppRig;

TEST(Dialogs, statisticsOpenBesideTheCardAndCloseFromTheKeyboard) {
    for (const QKeySequence& keys : {QKeySequence(Qt::Key_Escape), QKeySequence(Qt::Key_Return),
                                     QKeySequence(Qt::CTRL | Qt::Key_W), QKeySequence(Qt::Key_T)}) {
        SCOPED_TRACE(keys.toString().toStdString());
        AppRig rig;
        rig.app->showWindows();
        CardWindow& card = rig.app->windows().card();
        rig.app->dialogs().showStatistics();
        StatisticsWindow* statistics = rig.app->dialogs().statisticsWindow();
        ASSERT_TRUE(statistics && statistics->isVisible());
        EXPECT_FALSE(statistics->frameGeometry().intersects(card.frameGeometry())) << "at once";
        EXPECT_EQ(statistics->figure("Games played"), "0");
        const auto labels = statistics->findChildren<QLabel*>();
        const auto played =
            std::ranges::find_if(labels, [](QLabel* l) { return l->text() == "0"; });
        ASSERT_NE(played, labels.end());
        QTest::mouseDClick(*played, Qt::LeftButton); // a figure the player may copy
        EXPECT_EQ((*played)->selectedText(), "0");
        auto* chart = statistics->findChild<QWidget*>("creditsChart");
        ASSERT_TRUE(chart && chart->accessibleName() == "Credits after each game");
        EXPECT_EQ(chart->minimumSize(), QSize(420, 180)) << "room for the axes' labels";
        const QString source = "The results Rivet sent on irc.example.net, kept in /home/player/"
                               ".local/share/Jackwell/games-Rivet@irc.example.net.txt";
        statistics->showGames({source, {}, "the games file cannot be read"}); // wrapped to fit
        auto* problem = statistics->findChild<QLabel*>("statisticsProblem");
        EXPECT_TRUE(problem->isVisibleTo(statistics) && problem->text().endsWith("cannot be read"));
        statistics->showMinimized(); // asked for again, it comes back
        rig.app->dialogs().showStatistics();
        EXPECT_FALSE(statistics->isMinimized());
        EXPECT_FALSE(statistics->frameGeometry().intersects(card.frameGeometry()));
        const QRect available = card.screen()->availableGeometry();
        EXPECT_EQ(available.intersected(statistics->frameGeometry()), statistics->frameGeometry());
        auto* close = statistics->findChild<QPushButton*>("statisticsClose");
        ASSERT_TRUE(close && close->isVisible());
        statistics->activateWindow();
        QTest::keySequence(statistics, keys);
        EXPECT_FALSE(statistics->isVisible());
    }
}

// Esc closes the pay table, the options and the help (with the keys list); Return presses the
// options' Close; Ctrl+W and the key that opened them close the options and the help; F1 opens
// the help and Ctrl+Q quits from every window. Each is pressed in its window, made active.
TEST(Dialogs, eachWindowClosesFromTheKeyboardAndCtrlQQuitsFromAny) {
    const auto payouts = [](AppRig& r) -> QWidget* {
        r.app->windows().card().trigger(CardAction::ShowPayouts);
        return r.app->windows().card().payoutsWindow();
    };
    const auto options = [](AppRig& r) -> QWidget* {
        r.app->dialogs().showOptions(); // beside the card (the help is too wide for that here)
        EXPECT_FALSE(r.app->dialogs().optionsWindow().frameGeometry().intersects(
            r.app->windows().card().frameGeometry()));
        return &r.app->dialogs().optionsWindow();
    };
    const auto help = [](AppRig& r) -> QWidget* {
        QTest::keyClick(r.app->windows().chat().typingLine(), Qt::Key_F1);
        return r.app->dialogs().helpWindow();
    };
    const auto card = [](AppRig& r) -> QWidget* { return &r.app->windows().card(); };
    const std::tuple<const char*, std::function<QWidget*(AppRig&)>, QKeyCombination> rows[] = {
        {"payouts", payouts, Qt::Key_Escape},
        {"options", options, Qt::Key_Escape},
        {"options", options, Qt::Key_Return},
        {"options", options, Qt::CTRL | Qt::Key_W},
        {"options", options, Qt::Key_O},
        {"help", help, Qt::Key_Escape},
        {"help", help, Qt::CTRL | Qt::Key_W},
        {"help", help, Qt::Key_F1},
        {"card from the chat", card, Qt::CTRL | Qt::Key_Q},
    };
    for (const auto& [what, open, key] : rows) {
        SCOPED_TRACE(what + QKeySequence(key).toString().toStdString());
        AppRig rig;
        rig.app->showWindows();
        rig.app->windows().chat().activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(&rig.app->windows().chat()));
        QWidget* window = open(rig);
        ASSERT_TRUE(window && window->isVisible());
        QWidget* at =
            window == &rig.app->windows().card() ? rig.app->windows().chat().typingLine() : window;
        at->activateWindow(); // where the program's own F1 is heard too
        ASSERT_TRUE(QTest::qWaitForWindowActive(at->window()));
        QTest::keyClick(at, Qt::Key_Control, Qt::ControlModifier); // alone, it closes nothing
        ASSERT_TRUE(window->isVisible());
        QTest::keyClick(at, key.key(), key.keyboardModifiers());
        EXPECT_FALSE(window->isVisible());
    }
}

// Options asked for again come to the front with the keys; the hint opens beside, H closes it.
TEST(Dialogs, optionsAskedForAgainTakeTheKeyboardAndHAgainClosesTheHint) {
    AppRig rig;
    rig.app->showWindows();
    CardWindow& card = rig.app->windows().card();
    OptionsWindow& options = rig.app->dialogs().optionsWindow();
    rig.app->dialogs().showOptions();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&options));
    card.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&card));
    options.showMinimized();
    rig.app->dialogs().showOptions();
    EXPECT_TRUE(QTest::qWaitForWindowActive(&options) && !options.isMinimized());

    for (int reel = 0; reel < 3; ++reel)
        rig.app->card().state.reels[reel].firstCode = QString::number(reel + 1);
    setHeld(rig.app->card().state, 0, true);
    rig.app->dialogs().showHint();
    auto* hint = card.findChild<QMessageBox*>("hintBox");
    ASSERT_TRUE(hint && hint->isVisible());
    EXPECT_PRED2(textStartsWith, hint->text(), "First draw: bells, grapes, dollars\n");
    EXPECT_TRUE(hint->text().contains("Your holds: the left reel,")) << hint->text();
    EXPECT_EQ(hint->windowModality(), Qt::NonModal);
    EXPECT_EQ(hint->textInteractionFlags(), Qt::TextSelectableByMouse);
    EXPECT_FALSE(hint->frameGeometry().intersects(card.frameGeometry()));
    EXPECT_TRUE(hint->testAttribute(Qt::WA_ShowWithoutActivating));
    rig.app->dialogs().showHint(); // H again
    EXPECT_TRUE(QTest::qWaitFor([&] { return !card.findChild<QMessageBox*>("hintBox"); }, 2000));
}

// The credits chart: a frame in its margins, the credits a line from the first game at the left to
// the last at the right, fewest at the bottom; game numbers under the plot; no games, a word.
TEST(Dialogs, theCreditsChartDrawsEachGameWhereItsCreditsStand) {
    CreditsChartView view;
    view.resize(420, 180);
    view.setGames({{0, 5, 1}, {0, 9, 1}, {0, 1, 1}});
    const QImage chart = view.grab().toImage();
    const QColor frame = view.palette().color(QPalette::Mid);
    const QColor ground = view.palette().color(QPalette::Base);
    // The frame's left, right, top and bottom lines, the ground one pixel outside each.
    for (const auto& [x, y, dx, dy] :
         {std::array{60, 100, -1, 0}, {407, 100, 1, 0}, {200, 10, 0, -1}, {300, 155, 0, 1}}) {
        EXPECT_EQ(chart.pixelColor(x, y).rgb(), frame.rgb()) << x << "," << y;
        EXPECT_EQ(chart.pixelColor(x + dx, y + dy).rgb(), ground.rgb()) << x << "," << y;
    }
    const auto blue = [](const QImage& image, int x, int y) {
        return image.pixelColor(x, y).blue() > image.pixelColor(x, y).red() + 60;
    };
    EXPECT_TRUE(blue(chart, 147, 46) && blue(chart, 320, 82)); // halfway from 5 to 9, 9 to 1
    EXPECT_FALSE(blue(chart, 147, 100));

    // Only the credits' line is drawn in the plot's frame (its bottom found in the middle column).
    view.setGames({{0, 99}, {0, 98}, {300, 103}, {0, 102}});
    const QImage image = view.grab().toImage();
    const QRgb base = image.pixel(image.width() / 2, 2);
    int frameBottom = image.height() - 1;
    while (frameBottom > 0 && image.pixel(image.width() / 2, frameBottom) == base)
        --frameBottom;
    const auto isText = [](QRgb c) {
        return qRed(c) < 160 && std::abs(qRed(c) - qBlue(c)) < 30 &&
               std::abs(qRed(c) - qGreen(c)) < 30;
    };
    int textInPlot = 0, textUnder = 0;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = image.width() / 2 - 150; x < image.width() / 2 + 150; ++x)
            (y <= frameBottom ? textInPlot : textUnder) += isText(image.pixel(x, y)) ? 1 : 0;
    }
    EXPECT_EQ(textInPlot, 0);
    EXPECT_GT(textUnder, 0);

    // More games than columns: a column's spread, low to high, stands behind the line.
    std::vector<history::PlayedGame> many(1000);
    for (std::size_t game = 25; game < many.size(); game += 50)
        many[game].creditsAfter = 100;
    view.setGames(many);
    const QImage spread = view.grab().toImage();
    int spreadAt = 0;
    for (int x = 60; x < 408; ++x)
        spreadAt += spread.pixelColor(x, 82) == QColor(0x9f, 0xbf, 0xef);
    EXPECT_GT(spreadAt, 10) << "of the sixteen columns whose peak is not their last";

    view.setGames({});
    const QImage none = view.grab().toImage();
    int dark = 0;
    for (int x = 60; x < 408; ++x)
        dark += none.pixelColor(x, 82).lightness() < 128 && !blue(none, x, 82);
    EXPECT_GT(dark, 5) << "the words in the middle";
}

} // namespace
} // namespace jackwell
