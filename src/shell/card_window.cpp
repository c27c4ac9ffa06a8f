#include "shell/card_window.h"

#include "card/card.h"
#include "machine/pay_table.h"
#include "shell/card_keys.h"
#include "shell/card_label.h"
#include "shell/card_layout.h"
#include "shell/idle_buttons.h"
#include "shell/payouts_window.h"
#include "shell/pictures.h"
#include "shell/symbol_box.h"
#include "shell/window_placement.h"

#include <QCloseEvent>
#include <QContextMenuEvent>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QLineEdit>
#include <QPainter>
#include <QScreen>
#include <QWindow>

namespace jackwell {

namespace {

TextStyle styleFor(LabelLook look) {
    switch (look) {
    case LabelLook::CardCaption:
        return TextStyle::cardCaption();
    case LabelLook::HoldButton:
        return TextStyle::holdButton();
    case LabelLook::DrawCode:
        return TextStyle::drawCode();
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

// What screen readers call the reels and the card's figures; a figure reads with its caption
// ("Credits: 105").
constexpr std::array<const char*, 3> kReelNames{"Left reel", "Middle reel", "Right reel"};
constexpr std::pair<CardLabelRole, const char*> kFigureNames[]{
    {CardLabelRole::FreeGame, "One game"},
    {CardLabelRole::Credits, "Credits"},
    {CardLabelRole::Tokens, "Tokens"},
    {CardLabelRole::FirstCode1, "First draw, left reel"},
    {CardLabelRole::FirstCode2, "First draw, middle reel"},
    {CardLabelRole::FirstCode3, "First draw, right reel"},
    {CardLabelRole::FinalCode1, "Final draw, left reel"},
    {CardLabelRole::FinalCode2, "Final draw, middle reel"},
    {CardLabelRole::FinalCode3, "Final draw, right reel"},
};

QString symbolName(int image) {
    if (image < 1 || image > machine::kSymbolCount)
        return QStringLiteral("blank");
    return QLatin1String(machine::kSymbolNames[image]);
}

} // namespace

CardWindow::CardWindow(Card& card, QWidget* parent)
    : QWidget(parent)
    , card_(card) {
    setObjectName(QLatin1String(card::kFormName));
    setWindowTitle(QStringLiteral("Pim's Jackwell"));
    // A frame as narrow as the card may cut its caption; between the buttons it reads whole.
    setToolTip(windowTitle());
    // A fixed card: no maximise button, no resizing, the title bar's room left to the caption.
    setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                   Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint);
    setFixedSize(card::kClientSize);
    setAttribute(Qt::WA_OpaquePaintEvent);
    // The card takes the keyboard, and takes it back from the name box on a click.
    setFocusPolicy(Qt::StrongFocus);
    setAccessibleName(QStringLiteral("Jackwell card"));
    setAccessibleDescription(QStringLiteral("Keys:\n") + cardKeysText());
    buildControls();
    connect(&card_, &Card::changed, this, &CardWindow::render);
    render();
}

CardWindow::~CardWindow() {
    delete payouts_;
}

// Stacked as designed: the text box, the labels top to bottom, then the
// reel pictures with each result picture above its reel picture.
void CardWindow::buildControls() {
    nameBox_ = new QLineEdit(this);
    nameBox_->setObjectName(QLatin1String(card::kNameBoxName));
    nameBox_->setGeometry(toPixels(card::kNameBox));
    nameBox_->setFont(cardFont(8.25, false));
    nameBox_->setFrame(false);
    nameBox_->setStyleSheet(
        QStringLiteral("QLineEdit { background: white; color: black; border: 1px "
                       "solid #7a6a8a; padding: 0 2px; } QLineEdit:focus { border-color: "
                       "#e0a000; }"));
    // Typed, or set by assistive technology through the accessibility bus (which edits no key at
    // a time); the card's own rendering of its name is no edit.
    connect(nameBox_, &QLineEdit::textChanged, &card_, [this](const QString& text) {
        if (text != card_.state.nameBox)
            card_.nameBoxEdited(text);
    });
    nameBox_->setFocusPolicy(Qt::ClickFocus);
    nameBox_->setAccessibleName(QStringLiteral("Machinekeeper's name"));
    nameBox_->installEventFilter(this);

    for (const CardLabelControl& control : card::kLabels) {
        const bool clickable = control.action != CardAction::None;
        auto* label = new CardLabel(styleFor(control.look), clickable, this);
        label->setObjectName(QLatin1String(control.designName));
        label->setGeometry(toPixels(control.place));
        label->setCaption(QString::fromLatin1(control.caption));
        if (clickable)
            connect(label, &CardLabel::clicked, this,
                    [this, action = control.action] { act(action); });
        if (const CardKey* key = cardKeyFor(control.action)) {
            label->setToolTip(cardKeyToolTip(*key));
            label->setAccessibleName(cardKeyAccessibleName(*key));
            label->setAccessibleDescription(QLatin1String(key->description));
        }
        labels_[int(control.role)] = label;
    }
    for (const auto& [role, name] : kFigureNames)
        label(role)->setAccessibleName(QLatin1String(name));
    TextStyle notice;
    notice.pointSize = 7;
    notice.textColour = kColourWhite;
    notice.backColour = kColourRed;
    notice.border = true;
    notice.wordWrap = true;
    notice_ = new CardLabel(notice, false, this);
    notice_->setObjectName(QLatin1String(card::kNoticeName));
    notice_->setAttribute(Qt::WA_TransparentForMouseEvents, false); // for its tooltip
    notice_->setGeometry(toPixels(card::kNotice));
    notice_->setToolTip(QStringLiteral("The chat link gave up on it: the machinekeeper never got "
                                       "it. Click the button again to send it once more."));
    notice_->hide();
    for (int reel = 0; reel < 3; ++reel) {
        const card::ReelPictures& place = card::kReelPictures[reel];
        reelPictures_[reel] = new SymbolBox(this);
        reelPictures_[reel]->setObjectName(QLatin1String(place.reelDesignName));
        resultPictures_[reel] = new SymbolBox(this);
        resultPictures_[reel]->setObjectName(QLatin1String(place.resultDesignName));
        for (SymbolBox* box : {reelPictures_[reel], resultPictures_[reel]})
            box->setGeometry(toPixels(place.place));
    }
}

void CardWindow::act(CardAction action) {
    switch (action) {
    case CardAction::None:
        break;
    case CardAction::FindHost:
        card_.findHost();
        break;
    case CardAction::ResetCard:
        card_.resetCard();
        break;
    case CardAction::AskToRegister:
        card_.askToRegister();
        break;
    case CardAction::InsertCoin:
        break; // every game is free: the slot takes the click and nothing changes
    case CardAction::HoldReel1:
    case CardAction::HoldReel2:
    case CardAction::HoldReel3:
        card_.toggleHold(int(action) - int(CardAction::HoldReel1));
        break;
    case CardAction::Start:
        card_.start();
        break;
    case CardAction::SendHolds:
        card_.sendHolds();
        break;
    case CardAction::Finish:
        card_.finish();
        break;
    case CardAction::ShowPayouts:
        showPayouts();
        break;
    case CardAction::ShowOptions:
        emit optionsRequested();
        break;
    case CardAction::ToggleChatWindow:
        emit chatWindowToggleRequested();
        break;
    case CardAction::ShowStatistics:
        emit statisticsRequested();
        break;
    case CardAction::ShowHint:
        emit hintRequested();
        break;
    }
}

void CardWindow::trigger(CardAction action) {
    for (const CardLabelControl& control : card::kLabels) {
        if (control.action == action) {
            label(control.role)->click(); // a disabled button takes no click
            return;
        }
    }
    act(action); // no button of its own
}

// A key held down acts once: its auto-repeats are taken and do nothing.
void CardWindow::keyPressEvent(QKeyEvent* event) {
    if (const auto action = cardActionForKey(event->key(), int(event->modifiers()))) {
        if (!event->isAutoRepeat())
            trigger(*action);
        return;
    }
    QWidget::keyPressEvent(event);
}

// Esc in the name box gives the keyboard back to the card.
bool CardWindow::eventFilter(QObject* watched, QEvent* event) {
    if (watched == nameBox_ && event->type() == QEvent::KeyPress &&
        static_cast<QKeyEvent*>(event)->key() == Qt::Key_Escape) {
        setFocus(Qt::OtherFocusReason);
        return true;
    }
    return QWidget::eventFilter(watched, event);
}

void CardWindow::contextMenuEvent(QContextMenuEvent* event) {
    // From the keyboard the menu opens over the card, wherever the pointer is.
    const QPoint at = event->reason() == QContextMenuEvent::Keyboard
                          ? mapToGlobal(rect().center() - QPoint(rect().width() / 4, 0))
                          : event->globalPos();
    emit menuRequested(at);
}

CardLabel* CardWindow::label(CardLabelRole role) const {
    return labels_[int(role)];
}

// PAYOUTS: the card creates and shows the window (rendered at once); a window
// already open is brought forward, out of the task bar if it was minimised.
void CardWindow::showPayouts() {
    card_.showPayouts();
    if (!payouts_)
        return;
    if (payouts_->isMinimized())
        payouts_->showNormal();
    payouts_->raise();
    payouts_->activateWindow();
}

// Every setter below does nothing when its value is already shown, so a
// render after a spin tick repaints only the reel that changed.
void CardWindow::render() {
    const CardState& state = card_.state;
    for (int reel = 0; reel < 3; ++reel)
        renderReel(reel);
    label(CardLabelRole::FreeGame)->setCaption(state.freeGame);
    label(CardLabelRole::Credits)->setCaption(state.credits);
    label(CardLabelRole::Tokens)->setCaption(state.tokens);
    label(CardLabelRole::Start)->setEnabled(state.startEnabled);
    label(CardLabelRole::EspHold)->setEnabled(state.espHoldEnabled);
    label(CardLabelRole::Finish)->setEnabled(state.finishEnabled);
    notice_->setCaption(state.notice);
    notice_->setVisible(!state.notice.isEmpty());
    for (const CardLabelControl& control : card::kLabels)
        renderIdle(control);
    // What the player types reaches the state at once, so the box is written only when a
    // handler has set it: every announcement of a machinekeeper, RESET CARD. Text left as it
    // is keeps its cursor.
    if (nameBox_->text() != state.nameBox)
        nameBox_->setText(state.nameBox);
    renderPayouts();
}

// A button that would do nothing now is dimmed, and its tooltip says what comes first.
void CardWindow::renderIdle(const CardLabelControl& control) {
    const CardKey* key = cardKeyFor(control.action);
    if (!key)
        return;
    const QString why = whyButtonIsIdle(card_.state, control.action);
    CardLabel* button = label(control.role);
    button->setDimmed(!why.isEmpty());
    const QString tip = why.isEmpty() ? cardKeyToolTip(*key) : cardKeyToolTip(*key) + u'\n' + why;
    if (button->toolTip() != tip)
        button->setToolTip(tip);
}

void CardWindow::renderReel(int reel) {
    const Reel& state = card_.state.reels[reel];
    reelPictures_[reel]->setImage(state.reelPicture.image);
    reelPictures_[reel]->setVisible(state.reelPicture.visible);
    resultPictures_[reel]->setImage(state.resultPicture.image);
    resultPictures_[reel]->setVisible(state.resultPicture.visible);
    label(card::kFirstCodeLabels[reel])->setCaption(state.firstCode);
    label(card::kFinalCodeLabels[reel])->setCaption(state.finalCode);
    CardLabel* hold = label(card::kHoldLabels[reel]);
    hold->setCaption(state.hold.caption);
    hold->setBackColour(state.hold.backColour);
    // A screen reader hears whether the reel is held, as the colour shows it.
    const auto holdAction = CardAction(int(CardAction::HoldReel1) + reel);
    const QString holdName = cardKeyAccessibleName(*cardKeyFor(holdAction)) +
                             (isHeld(card_.state, reel) ? QStringLiteral(", held") : QString());
    if (hold->accessibleName() != holdName)
        hold->setAccessibleName(holdName);
    describeReel(reel);
}

// A screen reader hears a reel by the symbol on top ("Left reel: grapes"): the result picture
// while it shows, else the spinning reel beneath it; the box it covers goes unnamed.
void CardWindow::describeReel(int reel) {
    const bool resultOnTop = card_.state.reels[reel].resultPicture.visible;
    SymbolBox* top = resultOnTop ? resultPictures_[reel] : reelPictures_[reel];
    SymbolBox* covered = resultOnTop ? reelPictures_[reel] : resultPictures_[reel];
    const QString name =
        QLatin1String(kReelNames[reel]) + QStringLiteral(": ") + symbolName(top->image());
    if (top->accessibleName() != name)
        top->setAccessibleName(name);
    if (!covered->accessibleName().isEmpty())
        covered->setAccessibleName(QString());
}

void CardWindow::renderPayouts() {
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
        payouts_ = new PayoutsWindow();
        connect(payouts_, &PayoutsWindow::closedByPlayer, &card_, &Card::payoutsClosed);
        connect(payouts_, &PayoutsWindow::cardKeyPressed, this, &CardWindow::trigger);
    }
    payouts_->setAmounts(state.amounts);
    if (state.shown && payouts_->isHidden()) {
        if (!isWindow()) {
            emit openInDock(*payouts_);
            return;
        }
        // First seen beside the card, on the card's screen.
        const QRect screenArea = screen()->availableGeometry();
        payouts_->move(placeBeside(frameGeometry(), payouts_->frameGeometry().size(), screenArea));
        payouts_->show();
    }
}

PayoutsWindow* CardWindow::payoutsWindow() const {
    return payouts_;
}

void CardWindow::unloadPayouts() {
    delete payouts_;
    card_.payoutsClosed();
}

// Pins the window without hiding, moving or resizing it. Before the window has
// a native window the hint is set on the widget, which takes effect when it
// is first shown.
void CardWindow::setStayOnTop(bool onTop) {
    if (!isWindow())
        return; // docked beside the chat, where only the compositor stacks windows
    if (QGuiApplication::platformName().startsWith(QLatin1String("wayland"))) {
        if (onTop)
            qInfo("Stay On Top: Wayland lets no program keep its windows above the others; "
                  "the card stays where the desktop puts it.");
        return;
    }
    if (QWindow* window = windowHandle())
        window->setFlag(Qt::WindowStaysOnTopHint, onTop);
    else
        setWindowFlag(Qt::WindowStaysOnTopHint, onTop);
}

// Drawn for the screen's pixels, so that the card is as sharp at twice the scale; the painter
// keeps to the region to update.
void CardWindow::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.drawPixmap(0, 0, cardBackground(devicePixelRatioF()));
}

void CardWindow::closeEvent(QCloseEvent* event) {
    emit closing();
    event->accept();
}

} // namespace jackwell
