// Where the pay table and the options open beside the card: right of it with the gap, else
// left of it, else where the screen lets them be; always on the screen, to the pixel.

#include "shell/window_placement.h"
#include "support/qt_printers.h"

#include <gtest/gtest.h>

namespace jackwell {
namespace {

TEST(WindowPlacement, aWindowOpensBesideTheCardWhereTheScreenHasRoom) {
    struct Row {
        const char* name;
        QRect card;
        QSize size;
        QPoint expected;
    };
    const QRect screen(0, 0, 1280, 800);
    const Row rows[] = {
        {"right of the card", {100, 100, 200, 300}, {300, 330}, {308, 100}},
        {"right, to the screen's last pixel", {672, 0, 200, 300}, {400, 300}, {880, 0}},
        {"left where the right has no room", {1000, 100, 200, 300}, {300, 330}, {692, 100}},
        {"left, from the screen's first pixel", {1008, 0, 200, 300}, {1000, 300}, {0, 0}},
        {"right, lifted to stay on the screen", {100, 500, 200, 300}, {300, 330}, {308, 470}},
        {"neither: right, pushed back", {400, 0, 480, 300}, {700, 300}, {580, 0}},
    };
    for (const Row& row : rows)
        EXPECT_EQ(placeBeside(row.card, row.size, screen), row.expected) << row.name;
}

} // namespace
} // namespace jackwell
