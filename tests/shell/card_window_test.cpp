// The card window as the player meets it: a click outside the painted buttons reaching none (a
// click inside each: card_keys_test), the pictures, holds and captions following the card's state,
// and the payouts window beside it: PAYOUTS shows it (or only brings it forward), a payout table
// fills it even while hidden or not yet made, and closing it forgets what it was sent.

#include "chat/transport.h"
#include "shell/card_label.h"
#include "shell/card_layout.h"
#include "shell/payouts_window.h"
#include "shell/pictures.h"
#include "shell/svg_drawing.h"
#include "shell/symbol_box.h"
#include "shell/text_style.h"
#include "support/card_window_rig.h"

#include <QGuiApplication>
#include <QLineEdit>
#include <QPainter>
#include <QPointer>
#include <QScreen>
#include <QSignalSpy>

namespace jackwell {
namespace {

using Rig = testing::CardWindowRig;
using Role = CardLabelRole;

TEST(CardWindow, aClickBetweenTheButtonsOrOnADisabledFinishDoesNothing) {
    const std::vector<QPoint> between = {
        {116, 10},  // between the name box and GET HOST
        {100, 36},  // between RESET CARD and REGISTER
        {150, 70},  // on the tokens figure
        {30, 110},  // on a reel
        {30, 195},  // between START and PAYOUTS
        {120, 215}, // lightning
        {83, 266},  // a draw code
        {190, 20},  // the top right corner
        {128, 175}, // FINISH, disabled since start-up
    };
    Rig rig;
    rig.knowKeeper();
    QSignalSpy events(&rig.card, &Card::changed);
    QSignalSpy options(&rig.window, &CardWindow::optionsRequested);
    for (const QPoint& point : between)
        rig.clickAt(point);
    EXPECT_EQ(events.count() + options.count(), 0);
    EXPECT_TRUE(rig.backend->calls.empty());
    // ESP HOLD enables FINISH, and from then on it answers.
    rig.clickAt({80, 175});
    rig.clickAt({128, 175});
    EXPECT_TRUE(rig.card.isWaitingForChat());
}

// Holds the chat link gave up on never reached the machinekeeper: the card says so on itself and
// FINISH shows no draw that came before them as this game's, though a chat text asked for earlier
// comes meanwhile. Holds that left, late or sent again, wait for their answer, which FINISH shows.
TEST(CardWindow, holdsThatNeverLeftShowOnTheCardAndFinishShowsNoOlderDraw) {
    // Whether GET HOST's text comes while the holds wait to leave; when they leave (-1: never).
    for (const auto& [textOnItsWay, holdsLeaveAfterMs] :
         {std::pair{false, -1}, std::pair{true, -1}, std::pair{true, 3000}}) {
        SCOPED_TRACE(std::to_string(textOnItsWay) + " " + std::to_string(holdsLeaveAfterMs));
        Rig rig;
        rig.knowKeeper();
        rig.backend->setLines({"ESP from Rivet: FINAL: | 01 | 01 | 01 | Credits: (150)"});
        if (textOnItsWay)
            rig.card.findHost();
        rig.backend->otherwise = ChatStatus::Busy;
        rig.clickAt({80, 175});  // ESP HOLD
        rig.clickAt({128, 175}); // FINISH
        CardLabel* notice = rig.window.findChild<CardLabel*>(card::kNoticeName);
        const bool givenUp = holdsLeaveAfterMs < 0;
        rig.clock.advance(givenUp ? ChatTransport::kRetryBoundMs + 600 : holdsLeaveAfterMs);
        EXPECT_FALSE(rig.state.reels[0].timer.enabled) << "no spin before the holds left";
        EXPECT_EQ(notice->isVisible(), givenUp);
        rig.backend->otherwise = ChatStatus::Done;
        rig.clock.advance(1000);
        EXPECT_FALSE(rig.state.reels[0].timer.enabled) << "the older draw is not this game's";
        const QString answer = "ESP from Rivet: FINAL: | 07 | 07 | 07 | Credits: (150)";
        if (givenUp) {
            EXPECT_EQ(notice->caption(), kHoldsNotSentNotice);
            EXPECT_EQ(notice->grab().toImage().pixel(0, 0), qRgb(0, 0, 0)) << "framed";
            EXPECT_FALSE(rig.label(Role::Finish)->isEnabled());
            EXPECT_EQ(rig.label(Role::FinalCode1)->caption(), "0");
            rig.clickAt({80, 175}); // sent again, and they leave
            rig.backend->appendLine(answer);
            rig.clickAt({128, 175});
            rig.clock.settle();
        } else {
            EXPECT_EQ(notice->caption(), kAwaitingFinalNotice);
            rig.backend->appendLine(answer);
            rig.clock.advance(Card::kDrawPollMs);
            EXPECT_TRUE(rig.state.reels[0].timer.enabled);
        }
        EXPECT_FALSE(notice->isVisible());
        EXPECT_EQ(rig.label(Role::FinalCode1)->caption().toInt(), 7) << "read as ever";
    }
}

// A label's border, in the desktop's text colour, frames just what the same label draws without
// one: a caption too wide (the first) is narrowed inside it, at an even and an odd height.
TEST(CardWindow, aBorderFramesJustWhatTheLabelDrawsWithoutOne) {
    QWidget parent;
    parent.setStyleSheet("color: blue"); // a text colour as a theme may have it
    for (const auto& [caption, height] : {std::pair{"I I I I", 20}, {"I I", 21}}) {
        TextStyle style{.textColour = kColourWhite,
                        .backColour = kColourRed,
                        .alignment = Qt::AlignLeft | Qt::AlignVCenter};
        CardLabel plain(style, false, &parent);
        style.border = true;
        CardLabel framed(style, false, &parent);
        const int width = plain.fontMetrics().horizontalAdvance("I I I I") * 3 / 4;
        plain.setGeometry(0, 0, width, height);
        framed.setGeometry(0, 0, width + 2, height + 2);
        const QImage blank = plain.grab().toImage();
        plain.setCaption(caption);
        framed.setCaption(caption);
        QImage framedPlain(width + 2, height + 2, QImage::Format_RGB32);
        framedPlain.fill(Qt::blue);
        QPainter(&framedPlain).drawImage(1, 1, plain.grab().toImage());
        EXPECT_EQ(framed.grab().toImage().convertToFormat(QImage::Format_RGB32), framedPlain);
        EXPECT_NE(plain.grab().toImage(), blank) << "the caption shows";
    }
}

// The notice's words wrap within it in its own small type, never squeezed onto fewer lines.
TEST(CardWindow, theNoticeWrapsItsWordsInItsOwnType) {
    Rig rig;
    auto* notice = rig.window.findChild<CardLabel*>(card::kNoticeName);
    notice->setCaption(QString(kHoldsNotSentNotice));
    notice->show();
    const QImage drawn = notice->grab().toImage();
    int top = drawn.height(), bottom = -1;
    for (int y = 2; y < drawn.height() - 2; ++y) {
        for (int x = 2; x < drawn.width() - 2; ++x) {
            if (qGreen(drawn.pixel(x, y)) > 160) { // white letters on red
                top = std::min(top, y);
                bottom = std::max(bottom, y);
            }
        }
    }
    EXPECT_GT(bottom - top, 2 * QFontMetrics(notice->font()).height()) << "three lines or more";
    EXPECT_EQ(drawn.pixelColor(1, 1), QColor(Qt::red)); // inside its border, in the text colour
    EXPECT_DOUBLE_EQ(notice->font().pointSizeF(), 7);
    // No button (Tab passes it by), yet it takes the pointer, for its tooltip.
    EXPECT_EQ(notice->focusPolicy(), Qt::NoFocus);
    EXPECT_EQ(rig.window.childAt(notice->geometry().center()), notice);
    EXPECT_EQ(notice->font().stretch(), cardFont(7, true).stretch());
}

TEST(CardWindow, isAFixedCardWithItsCaptionAndIcon) {
    Rig rig;
    EXPECT_EQ(rig.window.windowTitle(), "Pim's Jackwell");
    EXPECT_EQ(rig.window.toolTip(), "Pim's Jackwell"); // whole, where a frame cuts the title
    EXPECT_EQ(rig.window.objectName(), "frmJackwell"); // the start-up benchmark waits for it
    EXPECT_EQ(rig.window.minimumSize(), rig.window.maximumSize());
    EXPECT_FALSE(rig.window.windowFlags() & Qt::WindowMaximizeButtonHint);
    // The machinekeeper's name in plain 8.25 point type.
    const QFont name = rig.window.findChild<QLineEdit*>(card::kNameBoxName)->font();
    EXPECT_TRUE(!name.bold() && name.pointSizeF() == 8.25);
    // The icon is drawn for each size desktops ask for, so none scales another size's picture.
    const QList<QSize> drawn = programIcon().availableSizes();
    for (const int size : {16, 22, 32, 48, 64, 128, 256})
        EXPECT_TRUE(drawn.contains(QSize(size, size))) << size;
}

// A button that would do nothing now is dimmed, its tooltip saying what comes first; then, as ever.
TEST(CardWindow, aButtonThatDoesNothingNowIsDimmedAndSaysWhy) {
    Rig rig;
    const auto picture = [&rig] {
        return rig.window.grab(rig.label(Role::Register)->geometry()).toImage();
    };
    const QString findHost = "First find the machinekeeper: GET HOST";
    const QString sendHolds = "First send your holds: ESP HOLD";
    // Each step, and what each control it names says of why it does nothing (empty: it acts).
    const std::tuple<std::function<void()>, std::vector<std::pair<Role, QString>>> steps[] = {
        {[] {},
         {{Role::GetHost, ""},
          {Role::Register, findHost},
          {Role::Start, findHost},
          {Role::Finish, sendHolds}}},
        {[&] { rig.knowKeeper(); },
         {{Role::Register, ""}, {Role::Start, ""}, {Role::Finish, sendHolds}}},
        {[&] {
             rig.clickAt({80, 175});
         },
         {{Role::Finish, ""}}},
        {[&] { rig.change([](CardState& s) { s.startEnabled = false; }); },
         {{Role::Start, "This game is still on: ESP HOLD, then FINISH"}}},
    };
    const QImage dimmedRegister = picture();
    for (const auto& [step, why] : steps) {
        step();
        for (const auto& [role, reason] : why) {
            SCOPED_TRACE(card::designName(role));
            CardLabel* button = rig.label(role);
            EXPECT_EQ(button->isDimmed(), !reason.isEmpty());
            EXPECT_EQ(button->toolTip().section(u'\n', 1), reason);
        }
    }
    // REGISTER acts from step two. Dimmed, each colour is 105/255 of itself (a 150/255 black veil).
    const QImage lit = picture().convertToFormat(QImage::Format_RGB888);
    const QImage dim = dimmedRegister.convertToFormat(QImage::Format_RGB888);
    for (int y = 0; y < lit.height(); ++y) {
        for (int i = 0; i < lit.width() * 3; ++i)
            ASSERT_LT(std::abs(dim.constScanLine(y)[i] - lit.constScanLine(y)[i] * 105 / 255.0),
                      0.75);
    }
}

// At twice the scale the card is drawn for the screen's pixels, not doubled: details differ.
TEST(CardWindow, isSharpAtTwiceTheScale) {
    Rig rig;
    rig.window.hide();
    for (QScreen* screen : QGuiApplication::screens()) {
        if (screen->devicePixelRatio() == 2)
            rig.window.move(screen->geometry().topLeft());
    }
    rig.window.show();
    ASSERT_EQ(rig.window.devicePixelRatioF(), 2);
    const QImage picture = rig.window.grab().toImage();
    for (const QRect& area : {rig.reelPicture(0)->geometry(), QRect(100, 200, 40, 30)}) {
        int fine = 0; // 2x2 blocks of device pixels not all of one colour
        for (int y = area.top() * 2; y < area.bottom() * 2; y += 2) {
            for (int x = area.left() * 2; x < area.right() * 2; x += 2) {
                const QRgb corner = picture.pixel(x, y);
                fine += picture.pixel(x + 1, y) != corner || picture.pixel(x, y + 1) != corner ||
                        picture.pixel(x + 1, y + 1) != corner;
            }
        }
        EXPECT_GT(fine, area.width() * area.height() / 20) << QTest::toString(area);
    }
    // A focus frame keeps its weight: a hold's top edge is two device pixels deep.
    rig.window.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&rig.window));
    rig.label(CardLabelRole::Hold1)->setFocus();
    const QImage frame = rig.label(CardLabelRole::Hold1)->grab().toImage();
    for (const int y : {3, 4}) {
        const auto* row = reinterpret_cast<const QRgb*>(frame.constScanLine(y));
        EXPECT_GT(std::count(row, row + frame.width(), qRgb(0, 0, 0)), frame.width() / 4) << y;
    }
}

// The pictures drawn ahead by the build, loaded by the card, are what it would draw, at 1x and 2x.
TEST(CardWindow, picturesDrawnAheadAreTheOnesDrawnAtRunTime) {
    const std::tuple<const char*, QSize, qreal> rows[] = {
        {":/assets/card/background.svg", card::kClientSize, 1},
        {":/assets/card/background.svg", card::kClientSize, 2},
        {":/assets/symbols/07.svg", {49, 49}, 2},
        {":/assets/symbols/14.svg", {49, 49}, 1},
        {":/assets/icon.svg", {22, 22}, 1},
        {":/assets/icon.svg", {256, 256}, 1},
    };
    for (const auto& [resource, size, ratio] : rows) {
        SCOPED_TRACE(predrawnPath(resource, size, ratio).toStdString());
        const QImage ahead = predrawnImage(resource, size, ratio);
        ASSERT_FALSE(ahead.isNull());
        EXPECT_EQ(ahead.devicePixelRatio(), ratio);
        EXPECT_TRUE(ahead == drawSvg(resource, size, ratio));
    }
    const QImage clear = symbolPicture(7, 40, Ground::Clear).toImage(); // see-through where black
    EXPECT_TRUE(clear.pixelColor(0, 20).alpha() == 0 && clear.pixelColor(39, 20).alpha() == 0);
}

// A screen reader hears each reel by the symbol on top, and the picture it covers goes unnamed.
TEST(CardWindow, aScreenReaderHearsTheSymbolOnTopOfEachReel) {
    Rig rig;
    const struct {
        PictureBox reel, result;
        const char* name;
    } rows[] = {
        {{1, true}, {kNoImage, false}, "Left reel: bells"},
        {{4, true}, {kNoImage, true}, "Middle reel: blank"},
        {{4, true}, {14, true}, "Right reel: cherries"},
    };
    rig.change([&rows](CardState& s) {
        for (int reel = 0; reel < 3; ++reel) {
            s.reels[reel].reelPicture = rows[reel].reel;
            s.reels[reel].resultPicture = rows[reel].result;
        }
    });
    for (int reel = 0; reel < 3; ++reel) {
        const bool resultOnTop = rows[reel].result.visible;
        SymbolBox* top = resultOnTop ? rig.resultPicture(reel) : rig.reelPicture(reel);
        SymbolBox* covered = resultOnTop ? rig.reelPicture(reel) : rig.resultPicture(reel);
        EXPECT_EQ(top->accessibleName(), rows[reel].name);
        EXPECT_EQ(covered->accessibleName(), "") << rows[reel].name;
    }
}

// Every pair shows exactly one picture from start-up on, through a whole spin.
TEST(CardWindow, eachReelShowsExactlyOneOfItsPicturesThroughASpin) {
    Rig rig;
    auto oneShownPerReel = [&] {
        for (int reel = 0; reel < 3; ++reel) {
            if (rig.reelPicture(reel)->isVisible() == rig.resultPicture(reel)->isVisible())
                return false;
        }
        return true;
    };
    EXPECT_TRUE(oneShownPerReel());
    for (int reel = 0; reel < 3; ++reel) {
        EXPECT_TRUE(rig.reelPicture(reel)->isVisible() && rig.reelPicture(reel)->image() == 4);
    }

    rig.knowKeeper();
    rig.backend->setLines({"ESP from Rivet: FIRST:   07   12   04"});
    rig.clickAt({32, 175}); // START
    bool alwaysOne = true;
    ASSERT_TRUE(rig.clock.advanceUntil(
        [&] {
            alwaysOne = alwaysOne && oneShownPerReel();
            return !rig.card.isWaitingForChat() && !rig.card.state.reels[2].timer.enabled;
        },
        60'000));
    EXPECT_TRUE(alwaysOne);
    const int drawn[3] = {7, 12, 4};
    for (int reel = 0; reel < 3; ++reel) {
        EXPECT_TRUE(rig.resultPicture(reel)->isVisible());
        EXPECT_EQ(rig.resultPicture(reel)->image(), drawn[reel]);
    }
    EXPECT_EQ(rig.label(Role::FirstCode2)->caption(), "12");
}

// Captions and colours as the state gives them, each caption whole inside its label in the card's
// 8.25-point (codes: 12-point) font or the one that stands in for it; no symbol is a black box.
TEST(CardWindow, captionsAndColoursFollowTheStateAndShowWhole) {
    Rig rig;
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&rig.window));
    rig.clickAt({80, 144}); // the middle hold button
    rig.change([](CardState& s) {
        s.reels[2].hold.backColour = 0x00123456;
        s.credits = "150";
        s.tokens = "(7500)";
        s.reels[0].firstCode = "7";
        s.reels[1].resultPicture = {kNoImage, true};
    });
    SymbolBox& box = *rig.reelPicture(0);
    box.setImage(99); // a number no picture has: the black ground shows
    using enum CardLabelRole;
    const struct {
        CardLabelRole label;
        const char* caption;
        QColor colour; // left of the centred caption, inside the border
    } rows[] = {
        {OneGameHeading, "One game", {}},
        {CreditsHeading, "Credits", {}},
        {TokensHeading, "Tokens", {}},
        {FreeGame, "Free Game", {}},
        {Credits, "150", {}},
        {Tokens, "(7500)", {}},
        {Hold1, "HOLD", QColor(0, 255, 255)},
        {Hold2, "HELD", QColor(255, 255, 0)},
        {Hold3, "HOLD", QColor(0x56, 0x34, 0x12)},
        {FirstCode1, "7", {}},
        {FinalCode1, "0", {}},
        {CoinSlot, "", QColor(Qt::black)},
    };
    QApplication::processEvents();
    const QImage picture = rig.window.grab().toImage().convertToFormat(QImage::Format_RGB32);
    const QImage screen = rig.window.screen()->grabWindow(rig.window.winId()).toImage();
    EXPECT_EQ(screen.convertToFormat(QImage::Format_RGB32), picture) << "the screen shows it";
    for (const auto& row : rows) {
        SCOPED_TRACE(card::designName(row.label));
        auto* label = rig.label(row.label);
        ASSERT_TRUE(label);
        EXPECT_EQ(label->caption(), row.caption);
        const int room = label->width() - (label->backColour() ? 2 : 0); // a border takes 2
        EXPECT_LE(label->fontMetrics().horizontalAdvance(label->caption()), room);
        if (row.colour.isValid()) {
            EXPECT_EQ(picture.pixelColor(label->geometry().topLeft() + QPoint(3, 9)), row.colour);
        }
    }
    EXPECT_EQ(picture.pixelColor(QRect(56, 88, 49, 49).center()), QColor(Qt::black));
    CardLabel* slot = rig.label(CoinSlot); // its border, in a dark theme's light text colour
    slot->setStyleSheet("color: white");
    EXPECT_EQ(slot->grab().toImage().pixelColor(0, 0), QColor(Qt::white));
    EXPECT_EQ(picture.pixelColor(box.mapTo(&rig.window, box.rect().center())), QColor(Qt::black));
}

// The name box takes typing, read by nothing; announcements rewrite it, RESET CARD empties it.
TEST(CardWindow, theNameBoxIsOverwrittenByEveryAnnouncementAndEmptiedByResetCard) {
    Rig rig;
    rig.backend->setLines({"Rivet: Your machinekeeper is Rivet", ""});
    auto* nameBox = rig.nameBox();
    const auto click = [&rig](QPoint at) {
        rig.clickAt(at);
        rig.clock.settle();
    };
    const QPoint getHost{152, 12}, resetCard{48, 36}, hold{24, 144};

    QTest::keyClicks(nameBox, "typed first");
    click(resetCard);
    EXPECT_EQ(nameBox->text(), "");

    click(getHost);
    EXPECT_EQ(nameBox->text(), "Rivet");
    QTest::keyClicks(nameBox, " and more");
    click(hold); // another event leaves it alone
    EXPECT_EQ(nameBox->text(), "Rivet and more");
    nameBox->setText("Set by a screen reader"); // the accessibility bus sets it whole
    click(hold);
    EXPECT_EQ(nameBox->text(), "Set by a screen reader");
    EXPECT_EQ(rig.state.machineKeeperName, "Rivet");

    click(getHost); // the same name again
    EXPECT_EQ(nameBox->text(), "Rivet");

    QTest::keyClicks(nameBox, "!");
    click(resetCard);
    EXPECT_EQ(nameBox->text(), "");
}

const QPoint kPayoutsButton{40, 211};

// What a payout table message does: the amounts, written straight into the state.
void receiveTable(Rig& rig, const QString& first, const QString& last) {
    rig.card.payouts.setAmount(0, first);
    rig.card.payouts.setAmount(PayoutsState::kRows - 1, last);
    emit rig.card.changed();
}

void deleteClosedWindows() {
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

TEST(PayoutsWindow, payoutsBeforeAnyTableShowsThePublishedAmountsAndAgainOnlyBringsItForward) {
    Rig rig;
    EXPECT_EQ(rig.window.payoutsWindow(), nullptr);
    rig.clickAt(kPayoutsButton);
    QPointer<PayoutsWindow> payouts = rig.window.payoutsWindow();
    ASSERT_TRUE(payouts);
    EXPECT_TRUE(payouts->isVisible() && !payouts->parentWidget());
    EXPECT_EQ(payouts->windowTitle(), "PayOuts");
    EXPECT_EQ(QStringList({payouts->amount(0), payouts->amount(15)}), QStringList({"25000", "50"}));

    receiveTable(rig, "1", "2");
    payouts->showMinimized(); // brought out of the task bar, and takes the keyboard
    rig.window.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&rig.window));
    rig.clickAt(kPayoutsButton);
    deleteClosedWindows();
    EXPECT_TRUE(!payouts->isMinimized() && QTest::qWaitForWindowActive(payouts));
    ASSERT_EQ(rig.window.payoutsWindow(), payouts.data());
    EXPECT_TRUE(payouts->isVisible() && payouts->amount(0) == "1"); // amounts while open stay
}

// A table with no window open creates it hidden for the next PAYOUTS; closing it forgets them.
TEST(PayoutsWindow, aTableCreatesItHiddenAndClosingForgetsTheAmounts) {
    Rig rig;
    receiveTable(rig, "30000", "60");
    QPointer<PayoutsWindow> payouts = rig.window.payoutsWindow();
    ASSERT_TRUE(payouts);
    EXPECT_TRUE(payouts->isHidden());
    rig.clickAt(kPayoutsButton);
    EXPECT_TRUE(rig.window.payoutsWindow() == payouts && payouts->isVisible());
    EXPECT_EQ(QStringList({payouts->amount(0), payouts->amount(1), payouts->amount(15)}),
              QStringList({"30000", "10000", "60"}));

    payouts->close(); // the close box
    EXPECT_FALSE(rig.card.payouts.exists);
    EXPECT_EQ(rig.window.payoutsWindow(), nullptr);
    deleteClosedWindows();
    EXPECT_TRUE(payouts.isNull());
    rig.clickAt(kPayoutsButton);
    PayoutsWindow* reopened = rig.window.payoutsWindow();
    ASSERT_TRUE(reopened);
    EXPECT_TRUE(reopened->isVisible());
    EXPECT_EQ(reopened->amount(0), "25000");
    receiveTable(rig, "777", "8");
    EXPECT_EQ(reopened->amount(0), "777");
}

} // namespace
} // namespace jackwell
