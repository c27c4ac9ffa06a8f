#include "shell/payouts_window.h"

#include "shell/dialog_keys.h"

#include "reels/card_constants.h"
#include "shell/card_keys.h"
#include "shell/card_label.h"
#include "shell/payouts_layout.h"
#include "shell/symbol_box.h"

#include <QCloseEvent>
#include <QKeyEvent>

namespace jackwell {

namespace {

TextStyle countStyle() { // transparent, red, 12 point bold
    TextStyle style;
    style.pointSize = 12;
    style.textColour = kColourRed;
    style.alignment = Qt::AlignLeft | Qt::AlignVCenter;
    return style;
}

TextStyle amountStyle() { // black, red, 9.75 point bold
    TextStyle style = countStyle();
    style.pointSize = 9.75;
    style.backColour = kColourBlack;
    return style;
}

TextStyle headingStyle() { // black, red, 8.25 point bold, two lines
    TextStyle style = amountStyle();
    style.pointSize = 8.25;
    style.alignment = Qt::AlignLeft | Qt::AlignTop;
    style.wordWrap = true;
    return style;
}

} // namespace

PayoutsWindow::PayoutsWindow(QWidget* parent)
    : QWidget(parent) {
    setObjectName(QLatin1String(payouts::kFormName));
    setWindowTitle(QStringLiteral("PayOuts"));
    setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                   Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                   Qt::WindowCloseButtonHint);
    setFixedSize(payouts::kClientSize);
    setFocusPolicy(Qt::StrongFocus); // for the card's keys
    setAutoFillBackground(true);
    QPalette ground = palette();
    ground.setColor(QPalette::Window, colourFromBgr(kColourBlack));
    setPalette(ground);

    for (int row = 0; row < PayoutsState::kRows; ++row) {
        auto* count = new CardLabel(countStyle(), false, this);
        count->setObjectName(QStringLiteral("Label%1").arg(payouts::kFirstCountLabel + row));
        count->setGeometry(toPixels(payouts::countPlace(row)));
        count->setCaption(QStringLiteral("%1 X").arg(machine::kPayTable[row].count));

        // Some pictures overlap their neighbours by a few pixels; on the
        // window's black their own black ground is left out.
        auto* picture = new SymbolBox(this, Ground::Clear);
        picture->setObjectName(QStringLiteral("Image%1").arg(row + 1));
        picture->setGeometry(toPixels(payouts::picturePlace(row)));
        picture->setImage(machine::kPayTable[row].symbol);

        amounts_[row] = new CardLabel(amountStyle(), false, this);
        amounts_[row]->setObjectName(QStringLiteral("Label%1").arg(row + 1));
        amounts_[row]->setGeometry(toPixels(payouts::amountPlace(row)));
    }
    for (int column = 0; column < 2; ++column) {
        auto* heading = new CardLabel(headingStyle(), false, this);
        heading->setObjectName(QStringLiteral("Label%1").arg(payouts::kHeadingLabels[column]));
        heading->setGeometry(toPixels(payouts::headingPlace(column)));
        heading->setCaption(QString::fromLatin1(payouts::kHeadingCaption));
    }
}

void PayoutsWindow::setAmounts(const std::array<QString, PayoutsState::kRows>& amounts) {
    for (int row = 0; row < PayoutsState::kRows; ++row)
        amounts_[row]->setCaption(amounts[row]);
}

QString PayoutsWindow::amount(int row) const {
    return amounts_.at(row)->caption();
}

void PayoutsWindow::keyPressEvent(QKeyEvent* event) {
    // P stays the card's PAYOUTS here, as every card key acts in this window.
    if (closesDialog(*event, Qt::Key_Escape)) {
        close();
        return;
    }
    const auto action = cardActionForKey(event->key(), int(event->modifiers()));
    if (!action) {
        QWidget::keyPressEvent(event);
        return;
    }
    if (!event->isAutoRepeat())
        emit cardKeyPressed(*action);
}

void PayoutsWindow::closeEvent(QCloseEvent* event) {
    event->accept();
    emit closedByPlayer();
}

} // namespace jackwell
