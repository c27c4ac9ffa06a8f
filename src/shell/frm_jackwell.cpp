#include "shell/frm_jackwell.h"

#include "controls/card.h"
#include "shell/card_label.h"
#include "shell/card_layout.h"
#include "shell/frm_payouts.h"
#include "shell/pictures.h"
#include "shell/symbol_box.h"

#include <QCloseEvent>
#include <QLineEdit>
#include <QPainter>
#include <QScreen>
#include <QWindow>

namespace jackwell {

namespace {

TextStyle styleFor(LabelLook look) {
    switch (look) {
    case LabelLook::StyleA:
        return TextStyle::a();
    case LabelLook::StyleB:
        return TextStyle::b();
    case LabelLook::StyleC:
        return TextStyle::c();
    case LabelLook::CoinSlot: {
        TextStyle slot;
        slot.backColour = kColourBlack;
        slot.border = true;
        return slot;
    }
    case LabelLook::HotSpot:
        break;
    }
    return TextStyle{};
}

// The labels whose clicks go straight to the card.
struct CardClick {
    int label;
    void (Card::*handler)();
};
constexpr CardClick kCardClicks[] = {
    {2, &Card::Label2_Click},   {3, &Card::Label3_Click},   {4, &Card::Label4_Click},
    {6, &Card::Label6_Click},   {7, &Card::Label7_Click},   {8, &Card::Label8_Click},
    {13, &Card::Label13_Click}, {14, &Card::Label14_Click}, {15, &Card::Label15_Click},
    {16, &Card::Label16_Click},
};

bool isClickable(int label) {
    for (const CardClick& click : kCardClicks) {
        if (click.label == label)
            return true;
    }
    return label == card::kPayoutsLabel || label == card::kOptionsLabel;
}

} // namespace

frmJackwell::frmJackwell(Card& card, QWidget* parent)
    : QWidget(parent)
    , card_(card) {
    setWindowTitle(QStringLiteral("Pim's Jackwell"));
    setWindowIcon(programIcon());
    // A fixed card: no maximise button, no resizing.
    setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                   Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                   Qt::WindowCloseButtonHint);
    setFixedSize(card::kClientSize);
    setAttribute(Qt::WA_OpaquePaintEvent);
    buildControls();
    connectClicks();
    connect(&card_, &Card::changed, this, &frmJackwell::render);
    render();
}

frmJackwell::~frmJackwell() {
    delete payouts_;
}

// Stacked as designed: the text box, the labels top to bottom, then the
// reel pictures with each result picture above its reel picture.
void frmJackwell::buildControls() {
    text1_ = new QLineEdit(this);
    text1_->setObjectName(QStringLiteral("Text1"));
    text1_->setGeometry(toPixels(card::kText1));
    text1_->setFont(cardFont(8.25, false));
    text1_->setFrame(false);
    text1_->setStyleSheet(QStringLiteral("QLineEdit { background: white; color: black; border: 1px "
                                         "solid #7a6a8a; padding: 0 2px; }"));

    for (const LabelPlace& place : card::kLabels) {
        auto* label = new CardLabel(styleFor(place.look), isClickable(place.number), this);
        label->setObjectName(QStringLiteral("Label%1").arg(place.number));
        label->setGeometry(toPixels(place.place));
        label->setCaption(QString::fromLatin1(place.caption));
        labels_[place.number] = label;
    }
    for (int reel = 0; reel < 3; ++reel) {
        reelPictures_[reel] = new SymbolBox(this);
        reelPictures_[reel]->setObjectName(QStringLiteral("Picture1(%1)").arg(reel));
        resultPictures_[reel] = new SymbolBox(this);
        resultPictures_[reel]->setObjectName(QStringLiteral("Picture%1").arg(reel + 2));
        for (SymbolBox* box : {reelPictures_[reel], resultPictures_[reel]})
            box->setGeometry(toPixels(card::kReelPictures[reel]));
    }
}

void frmJackwell::connectClicks() {
    for (const CardClick& click : kCardClicks) {
        connect(labels_[click.label], &CardLabel::clicked, &card_, click.handler);
    }
    connect(labels_[card::kPayoutsLabel], &CardLabel::clicked, this, &frmJackwell::Label24_Click);
    connect(labels_[card::kOptionsLabel], &CardLabel::clicked, this,
            &frmJackwell::optionsRequested);
}

// PAYOUTS: the card creates and shows the window (rendered at once); a window
// already open is brought forward, out of the task bar if it was minimised.
void frmJackwell::Label24_Click() {
    card_.Label24_Click();
    if (!payouts_)
        return;
    if (payouts_->isMinimized())
        payouts_->showNormal();
    payouts_->raise();
    payouts_->activateWindow();
}

// Every setter below does nothing when its value is already shown, so a
// render after a spin tick repaints only the reel that changed.
void frmJackwell::render() {
    const CardState& state = card_.state;
    for (int reel = 0; reel < 3; ++reel)
        renderReel(reel);
    labels_[card::kFreeGameLabel]->setCaption(state.freeGame);
    labels_[card::kCreditsLabel]->setCaption(state.credits);
    labels_[card::kTokensLabel]->setCaption(state.tokens);
    labels_[card::kStartLabel]->setEnabled(state.startEnabled);
    labels_[card::kEspHoldLabel]->setEnabled(state.espHoldEnabled);
    labels_[card::kFinishLabel]->setEnabled(state.finishEnabled);
    // The player may type into Text1; it is overwritten only when the name changes.
    if (state.text1 != shownText1_) {
        shownText1_ = state.text1;
        text1_->setText(state.text1);
    }
    renderPayouts();
}

void frmJackwell::renderReel(int reel) {
    const Reel& state = card_.state.reels[reel];
    reelPictures_[reel]->setImage(state.reelPicture.image);
    reelPictures_[reel]->setVisible(state.reelPicture.visible);
    resultPictures_[reel]->setImage(state.resultPicture.image);
    resultPictures_[reel]->setVisible(state.resultPicture.visible);
    labels_[card::kFirstCodeLabels[reel]]->setCaption(state.firstCode);
    labels_[card::kFinalCodeLabels[reel]]->setCaption(state.finalCode);
    CardLabel* hold = labels_[card::kHoldLabels[reel]];
    hold->setCaption(state.hold.caption);
    hold->setBackColour(state.hold.backColour);
}

void frmJackwell::renderPayouts() {
    const PayoutsState& state = card_.payouts;
    if (!state.exists) {
        if (payouts_) {
            // This may run inside the payouts window's own close event.
            payouts_->hide();
            payouts_->deleteLater();
            payouts_ = nullptr;
        }
        return;
    }
    if (!payouts_) {
        payouts_ = new frmPayouts();
        connect(payouts_, &frmPayouts::closedByPlayer, &card_, &Card::payoutsClosed);
        // First seen beside the card, to its right, where the screen has room.
        const QRect beside(frameGeometry().topRight() + QPoint(8, 0), payouts_->size());
        if (isVisible() && screen()->availableGeometry().contains(beside))
            payouts_->move(beside.topLeft());
    }
    payouts_->setAmounts(state.amounts);
    if (state.shown && payouts_->isHidden())
        payouts_->show();
}

frmPayouts* frmJackwell::payoutsWindow() const {
    return payouts_;
}

void frmJackwell::unloadPayouts() {
    delete payouts_;
    card_.payoutsClosed();
}

// Pins the window without hiding, moving or resizing it. Before the window has
// a native window the hint is set on the widget, which takes effect when it
// is first shown.
void frmJackwell::SetStayOnTop(bool onTop) {
    if (QWindow* window = windowHandle())
        window->setFlag(Qt::WindowStaysOnTopHint, onTop);
    else
        setWindowFlag(Qt::WindowStaysOnTopHint, onTop);
}

void frmJackwell::paintEvent(QPaintEvent* event) {
    QPainter painter(this);
    painter.drawPixmap(event->rect(), cardBackground(), event->rect());
}

void frmJackwell::closeEvent(QCloseEvent* event) {
    emit closing();
    event->accept();
}

} // namespace jackwell
