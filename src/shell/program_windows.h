#pragma once

#include <QObject>

#include <functional>
#include <memory>

namespace jackwell {

class Card;
class CardWindow;
class ChatSession;
class ChatWindow;
class Preferences;
class WindowPair;

// The program's two windows: the card and the chat window beside it, where both stand and
// whether the chat window is open (kept in the preferences, not in Settings.txt).
class ProgramWindows : public QObject {
    Q_OBJECT

public:
    // All three must outlive the windows.
    ProgramWindows(Card& card, ChatSession& session, Preferences& preferences);
    ~ProgramWindows() override;

    CardWindow& card() { return *card_; }
    ChatWindow& chat() { return *chat_; }

    // Shows the card and, unless the player closed it last time, the chat window beside it, the
    // keyboard on the card. `painted` runs once, when the windows shown have been painted.
    void show(std::function<void()> painted);
    // Opens the chat window where it last stood, or beside the card, on screen.
    void showChatWindow();
    void hideChatWindow();
    void toggleChatWindow();
    // Shutdown: keeps where the windows stand for the next run and hides the chat window; from
    // then on nothing opens.
    void close();

private:
    void remember();

    Preferences& preferences_;
    std::unique_ptr<CardWindow> card_;
    std::unique_ptr<ChatWindow> chat_;
    WindowPair* pair_ = nullptr; // a child of the card
    bool closed_ = false;
};

} // namespace jackwell
