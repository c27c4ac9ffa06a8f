#include "shell/program_windows.h"

#include "platform/preferences.h"
#include "shell/card_keys.h"
#include "shell/card_window.h"
#include "shell/chat_window.h"
#include "shell/first_paint.h"
#include "shell/window_pair.h"

#include <utility>

namespace jackwell {

ProgramWindows::ProgramWindows(Card& card, ChatSession& session, Preferences& preferences)
    : preferences_(preferences)
    , card_(std::make_unique<CardWindow>(card))
    , chat_(std::make_unique<ChatWindow>(session)) {
    pair_ = new WindowPair(*card_, *chat_, preferences);
    connect(chat_.get(), &ChatWindow::cardKeyPressed, card_.get(), &CardWindow::trigger);
    connect(chat_.get(), &ChatWindow::closedByPlayer, this, [this] { remember(); });
    connect(card_.get(), &CardWindow::chatWindowToggleRequested, this,
            &ProgramWindows::toggleChatWindow);
}

ProgramWindows::~ProgramWindows() {
    chat_.reset();
    card_.reset();
}

void ProgramWindows::show(std::function<void()> painted) {
    const bool withChat = preferences_.chatWindow().open;
    pair_->placeCard(withChat);
    card_->show();
    if (withChat)
        showChatWindow();
    card_->activateWindow(); // the keyboard starts on the card
    card_->setFocus(Qt::ActiveWindowFocusReason);
    afterFirstPaint(withChat ? static_cast<QWidget&>(*chat_) : *card_, std::move(painted));
}

void ProgramWindows::showChatWindow() {
    if (closed_)
        return;
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
    remember();
}

void ProgramWindows::toggleChatWindow() {
    if (chat_->isVisible())
        hideChatWindow();
    else
        showChatWindow();
}

void ProgramWindows::remember() {
    pair_->remember();
}

void ProgramWindows::close() {
    if (std::exchange(closed_, true))
        return;
    // The chat window stays as the player left it for the next run.
    remember();
    chat_->hide();
}

} // namespace jackwell
