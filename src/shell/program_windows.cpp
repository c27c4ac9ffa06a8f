#include "shell/program_windows.h"

#include "platform/preferences.h"
#include "shell/card_keys.h"
#include "shell/card_window.h"
#include "shell/chat_window.h"
#include "shell/dock_pane.h"
#include "shell/first_paint.h"
#include "shell/window_pair.h"

#include <QEvent>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QLayout>
#include <QScreen>

#include <utility>

namespace jackwell {

namespace {
// The docked chat's width beside the card, to begin with.
constexpr int kDockedChatWidth = 460;
} // namespace

ProgramWindows::Arrangement ProgramWindows::arrangementForPlatform() {
    return QGuiApplication::platformName().startsWith(QLatin1String("wayland"))
               ? Arrangement::Docked
               : Arrangement::Apart;
}

ProgramWindows::ProgramWindows(Card& card, ChatSession& session, Preferences& preferences,
                               Arrangement arrangement)
    : preferences_(preferences)
    , card_(std::make_unique<CardWindow>(card))
    , chat_(std::make_unique<ChatWindow>(session)) {
    if (arrangement == Arrangement::Docked)
        makeDock();
    else
        pair_ = new WindowPair(*card_, *chat_, preferences);
    connect(chat_.get(), &ChatWindow::cardKeyPressed, card_.get(), &CardWindow::trigger);
    connect(chat_.get(), &ChatWindow::closedByPlayer, this, [this] { remember(); });
    connect(card_.get(), &CardWindow::chatWindowToggleRequested, this,
            &ProgramWindows::toggleChatWindow);
}

ProgramWindows::~ProgramWindows() {
    pane_.reset(); // a window shown there goes back to its owner
    chat_.reset();
    card_.reset();
    dock_.reset();
}

// One window: the card at its own size on the left, the chat beside it taking the rest. Closing
// it is closing the card.
void ProgramWindows::makeDock() {
    dock_ = std::make_unique<QWidget>();
    dock_->setObjectName(QStringLiteral("dockedWindows"));
    dock_->setWindowTitle(card_->windowTitle());
    auto* layout = new QHBoxLayout(dock_.get());
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(card_.get(), 0, Qt::AlignTop);
    layout->addWidget(chat_.get(), 1);
    chat_->setMinimumWidth(kDockedChatWidth / 2);
    dock_->installEventFilter(this);
    pane_ = std::make_unique<DockPane>(*dock_, *chat_, [this] { fitDock(); });
    connect(card_.get(), &CardWindow::openInDock, this, &ProgramWindows::showInDock);
}

bool ProgramWindows::showInDock(QWidget& window) {
    if (!pane_ || closed_)
        return false;
    pane_->show(window);
    return true;
}

void ProgramWindows::fitDock() {
    dock_->layout()->activate(); // the room of what was hidden is given up first
    QSize size = card_->size();
    if (pane_->shown()) {
        const QWidget* pane = pane_->pane();
        const QSize wanted = pane->sizeHint().expandedTo(pane->minimumSizeHint());
        size = QSize(card_->width() + wanted.width(), std::max(card_->height(), wanted.height()));
    } else if (!chat_->isHidden()) {
        size = QSize(card_->width() + kDockedChatWidth, dock_->height());
    }
    if (const QScreen* screen = dock_->screen())
        size = size.boundedTo(screen->availableGeometry().size());
    dock_->resize(size.expandedTo(dock_->minimumSizeHint()));
}

bool ProgramWindows::eventFilter(QObject* watched, QEvent* event) {
    if (watched == dock_.get() && event->type() == QEvent::Close)
        card_->close(); // the program ends as when the card closes
    return QObject::eventFilter(watched, event);
}

void ProgramWindows::show(std::function<void()> painted) {
    const bool withChat = preferences_.chatWindow().open;
    if (dock_) {
        chat_->setVisible(withChat);
        dock_->adjustSize();
        if (withChat)
            dock_->resize(card_->width() + kDockedChatWidth, dock_->height());
        dock_->show();
    } else {
        pair_->placeCard(withChat);
        card_->show();
        if (withChat)
            showChatWindow();
    }
    card_->activateWindow(); // the keyboard starts on the card
    card_->setFocus(Qt::ActiveWindowFocusReason);
    afterFirstPaint(withChat ? static_cast<QWidget&>(*chat_) : *card_, std::move(painted));
}

void ProgramWindows::showChatWindow() {
    if (closed_)
        return;
    if (dock_) {
        if (!chat_->isVisible()) {
            chat_->show();
            fitDock();
        }
        remember();
        return;
    }
    if (!chat_->isVisible()) {
        pair_->placeChat();
        chat_->show();
    }
    chat_->setWindowState(chat_->windowState() & ~Qt::WindowMinimized);
    chat_->raise();
    remember();
}

void ProgramWindows::hideChatWindow() {
    chat_->hide();
    if (dock_)
        fitDock();
    remember();
}

void ProgramWindows::toggleChatWindow() {
    if (chat_->isVisible())
        hideChatWindow();
    else
        showChatWindow();
}

void ProgramWindows::remember() {
    if (pair_) {
        pair_->remember();
        return;
    }
    // Docked, only whether the chat is open is kept: the compositor decides where windows go.
    Preferences::ChatWindow chat = preferences_.chatWindow();
    chat.open = chat_->isVisible() || pane_->keepsChatOpen();
    preferences_.setChatWindow(chat);
}

void ProgramWindows::close() {
    if (std::exchange(closed_, true))
        return;
    // The chat window stays as the player left it for the next run.
    remember();
    if (!dock_)
        chat_->hide();
}

} // namespace jackwell
