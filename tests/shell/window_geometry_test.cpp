// Where every control of the card, the pay table and the options stands, in the design's twips
// (15 to a pixel) written out here from the design, not read from the program's tables: one
// control a little off covers its neighbour or misses the word painted under it. Each window is
// checked whole (no control missing or extra, its client size, Tab's order); and where they open.

#include "platform/preferences.h"
#include "shell/card_window.h"
#include "shell/chat_window.h"
#include "shell/options_window.h"
#include "shell/payouts_window.h"
#include "shell/window_placement.h"
#include "support/app_rig.h"
#include "support/qt_printers.h"

#include <QApplication>
#include <QTest>

#include <map>

namespace jackwell {
namespace {

struct Place {
    int left, top, width, height; // twips
};
using Layout = std::map<QString, Place>;

QRect pixels(const Place& p) {
    const auto px = [](int twips) { return (twips * 2 + 15) / 30; }; // to the nearest pixel
    return {px(p.left), px(p.top), px(p.width), px(p.height)};
}

const Layout kCard{
    {"Text1", {120, 120, 1575, 285}},        {"Label4", {1800, 60, 975, 255}},
    {"Label3", {120, 420, 1215, 255}},       {"Label2", {1680, 420, 1095, 255}},
    {"Label1", {120, 710, 1095, 255}},       {"Label9", {1200, 705, 735, 255}},
    {"Label17", {1920, 705, 855, 255}},      {"Label10", {120, 960, 1095, 255}},
    {"Label11", {1200, 960, 735, 255}},      {"Label12", {1920, 960, 855, 255}},
    {"Picture1(0)", {120, 1320, 735, 735}},  {"Picture1(1)", {840, 1320, 735, 735}},
    {"Picture1(2)", {1560, 1320, 735, 735}}, {"Picture2", {120, 1320, 735, 735}},
    {"Picture3", {840, 1320, 735, 735}},     {"Picture4", {1560, 1320, 735, 735}},
    {"Label13", {2450, 1500, 135, 615}},     {"Label6", {120, 2040, 735, 255}},
    {"Label7", {840, 2040, 735, 255}},       {"Label8", {1560, 2040, 735, 255}},
    {"Label14", {120, 2400, 735, 450}},      {"Label15", {840, 2400, 735, 450}},
    {"Label16", {1560, 2400, 735, 450}},     {"Label24", {120, 3000, 975, 330}},
    {"Label25", {120, 3360, 975, 330}},      {"Label18", {1155, 3840, 195, 300}},
    {"Label19", {1635, 3840, 195, 300}},     {"Label20", {2115, 3840, 195, 300}},
    {"Label21", {1155, 4200, 195, 300}},     {"Label22", {1635, 4200, 195, 300}},
    {"Label23", {2115, 4200, 195, 300}},     {"notice", {1155, 2970, 1080, 735}},
    {"PictureTest", {3720, 1560, 735, 735}}, {"Command1", {3720, 2520, 855, 255}},
    {"Command2", {3720, 4080, 855, 495}},
};

const Layout kOptions{
    {"Check2", {120, 120, 1815, 255}},    {"Command2", {120, 400, 1815, 255}},
    {"Text1", {2160, 360, 5295, 285}},    {"Check3", {120, 720, 1815, 255}},
    {"Command3", {120, 1000, 1815, 255}}, {"Text2", {2160, 960, 5295, 285}},
    {"Check1", {120, 1320, 1335, 255}},   {"Command1", {120, 1680, 1815, 255}},
};

// Two columns of eight rows, 600 twips apart: count, picture (50 pixels for rows 2, 4, 10, 11
// and 12, else 40) and amount; the headings over the amounts.
Layout payoutsLayout() {
    const int pictureTops[2][8] = {{240, 720, 1320, 1920, 2520, 3120, 3720, 4320},
                                   {240, 720, 1320, 1920, 2640, 3240, 3840, 4440}};
    Layout layout{{"Label47", {1560, 0, 735, 375}}, {"Label48", {3840, 0, 735, 375}}};
    for (int row = 1; row <= 16; ++row) {
        const int column = (row - 1) / 8, k = (row - 1) % 8 + 1;
        const int size = QList{2, 4, 10, 11, 12}.contains(row) ? 750 : 600;
        const int pictureLeft = row == 1 ? 720 : column == 0 ? 600 : 3000;
        layout[QString("Label%1").arg(30 + row)] = {column == 0 ? 120 : 2520, 360 + 600 * (k - 1),
                                                    495, 375};
        layout[QString("Image%1").arg(row)] = {pictureLeft, pictureTops[column][k - 1], size, size};
        layout[QString("Label%1").arg(row)] = {column == 0 ? 1560 : 3840,
                                               k == 1 ? 480 : 960 + 600 * (k - 2), 855, 255};
    }
    return layout;
}

// The named controls of `window` in its focus chain, and those of them Tab stops at.
std::pair<QStringList, QStringList> focusChain(QWidget& window) {
    QStringList all, tabStops;
    for (QWidget* w = window.nextInFocusChain(); w != &window; w = w->nextInFocusChain()) {
        if (w->parentWidget() != &window || w->objectName().isEmpty())
            continue;
        all << w->objectName();
        if (w->focusPolicy() & Qt::TabFocus)
            tabStops << w->objectName();
    }
    return {all, tabStops};
}

// Never moved, the card, with the chat beside it or alone, stands in the middle of the 800x600
// screen, to the pixel, as the frames guessed here (where windows have none) place it.
TEST(WindowGeometry, everyControlStandsWhereTheDesignPutsItAndTabGoesInTheDesignsOrder) {
    testing::AppRig rig;
    rig.app->showWindows();
    const QRect pair =
        rig.app->windows().card().frameGeometry().united(rig.app->windows().chat().frameGeometry());
    const QRect screen = QGuiApplication::primaryScreen()->availableGeometry();
    ASSERT_EQ(screen, QRect(0, 0, 800, 600));
    EXPECT_EQ(pair, QRect(59, 72, 673, 424)) << "their frames, guessed, centred together";
    QTest::keyClick(&rig.app->windows().card(), Qt::Key_P); // PAYOUTS
    rig.app->dialogs().showOptions();
    // Each window, its layout, client size, tab stops, and how its focus chain begins if designed.
    const std::tuple<QWidget*, Layout, QSize, QStringList, QStringList> rows[] = {
        {&rig.app->windows().card(),
         kCard,
         {197, 302},
         {"Label4", "Label3", "Label2", "Label13", "Label6", "Label7", "Label8", "Label14",
          "Label15", "Label16", "Label24", "Label25"},
         {}},
        {rig.app->windows().card().payoutsWindow(), payoutsLayout(), {309, 333}, {}, {}},
        {&rig.app->dialogs().optionsWindow(),
         kOptions,
         {134, 134},
         {"Check1", "Check2", "Check3", "Command1", "Command2", "Command3"},
         {"Check1", "Check2", "Check3", "Command1", "Command2", "Command3", "Text1", "Text2"}},
    };
    for (const auto& [window, layout, clientSize, designedTabStops, chainStart] : rows) {
        ASSERT_TRUE(window);
        SCOPED_TRACE(window->objectName().toStdString());
        std::map<QString, QRect> shown, designed;
        for (QWidget* child : window->findChildren<QWidget*>(Qt::FindDirectChildrenOnly)) {
            if (!child->objectName().isEmpty())
                shown[child->objectName()] = child->geometry();
        }
        for (const auto& [name, place] : layout)
            designed[name] = pixels(place);
        EXPECT_EQ(shown, designed);
        EXPECT_EQ(window->size(), clientSize);
        EXPECT_EQ(window->minimumSize(), window->maximumSize());
        const auto [chain, tabStops] = focusChain(*window);
        EXPECT_EQ(tabStops, designedTabStops);
        if (!chainStart.isEmpty()) {
            EXPECT_EQ(chain, chainStart);
        }
    }
    rig.app->dialogs().showHelp();
    rig.app->dialogs().showStatistics();
    QStringList named; // what JACKWELL_EXIT_WHEN_SHOWN and scripts find the windows' parts by
    for (const QWidget* widget : QApplication::allWidgets())
        named << widget->objectName();
    for (const char* name : {"ChatWindow", "chatInput", "chatLog", "helpWindow", "helpText",
                             "statisticsWindow", "statisticsSource", "creditsChart"})
        EXPECT_EQ(named.count(name), 1) << name;
    testing::AppRig alone; // and the card alone, the chat closed on a first run
    Preferences(alone.preferencesPath).setChatWindow({false, std::nullopt});
    alone.app->showWindows();
    const QPoint off = alone.app->windows().card().frameGeometry().center() - screen.center();
    EXPECT_EQ(off, QPoint(-2, -15)) << "its frame, guessed where there is none, centred";
}

// Right of the card with the gap, else left, else where the screen lets it; on it, to the pixel.
TEST(WindowPlacement, aWindowOpensBesideTheCardWhereTheScreenHasRoom) {
    const QRect screen(0, 0, 1280, 800);
    const std::tuple<const char*, QRect, QSize, QPoint> rows[] = {
        {"right of the card", {100, 100, 200, 300}, {300, 330}, {308, 100}},
        {"right, to the screen's last pixel", {672, 0, 200, 300}, {400, 300}, {880, 0}},
        {"left where the right has no room", {1000, 100, 200, 300}, {300, 330}, {692, 100}},
        {"left, from the screen's first pixel", {1008, 0, 200, 300}, {1000, 300}, {0, 0}},
        {"right, lifted to stay on the screen", {100, 500, 200, 300}, {300, 330}, {308, 470}},
        {"neither: right, pushed back", {400, 0, 480, 300}, {700, 300}, {580, 0}},
    };
    for (const auto& [name, card, size, expected] : rows)
        EXPECT_EQ(placeBeside(card, size, screen), expected) << name;
}

// Beside the card if room; else the pair moves, the chat narrows or drops below; else to the right.
TEST(WindowPlacement, rightElseLeftElseThePairMovesElseNarrowerElseBelow) {
    const QRect screen(0, 0, 1000, 700);
    const QSize chat(400, 300);
    const std::tuple<QRect, QRect, QRect> rows[] = {
        // the card, then where each goes
        {{10, 20, 200, 300}, {10, 20, 200, 300}, {218, 20, 400, 300}},
        {{420, 20, 150, 300}, {420, 20, 150, 300}, {578, 20, 400, 300}}, // room on both sides
        {{700, 500, 200, 300}, {700, 400, 200, 300}, {292, 400, 400, 300}},
        {{300, 20, 500, 300}, {92, 20, 500, 300}, {600, 20, 400, 300}},
        {{300, 20, 650, 300}, {0, 20, 650, 300}, {658, 20, 342, 300}},
        {{300, 20, 692, 300}, {0, 20, 692, 300}, {700, 20, 300, 300}}, // narrowed no further
        {{300, 20, 693, 300}, {300, 20, 693, 300}, {300, 328, 400, 300}},
        {{300, 20, 800, 300}, {200, 20, 800, 300}, {200, 328, 400, 300}},
        {{300, 300, 800, 300}, {200, 92, 800, 300}, {200, 400, 400, 300}}, // the pair lifted
        {{300, 20, 800, 492}, {200, 0, 800, 492}, {200, 500, 400, 200}},   // 200 high below
    };
    for (const auto& [card, expectedCard, expectedChat] : rows) {
        const PairPlacement placed = placePair(card, chat, screen);
        EXPECT_EQ(placed.card, expectedCard) << QTest::toString(card);
        EXPECT_EQ(placed.chat, expectedChat) << QTest::toString(card);
    }
    EXPECT_EQ(placePair({100, 20, 800, 500}, {100, 300}, screen).chat, QRect(900, 20, 100, 300));
}

} // namespace
} // namespace jackwell
