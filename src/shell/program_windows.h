#pragma once

#include <QObject>

#include <functional>
#include <memory>

namespace jackwell {

class Card;
class CardWindow;
class ChatSession;
class ChatWindow;
class DockPane;
class Preferences;
class WindowPair;

// The program's two windows: the card and the chat window beside it, where both stand and
// whether the chat window is open (kept in the preferences, not in Settings.txt).
//
// Where the desktop lets a program place its windows (X11), the two stand apart, the chat window
// beside the card. Where it does not (Wayland: the compositor places every window, and may put
// the chat window over the reels), the chat is docked beside the card in one window, and the
// windows the card opens show there in the chat's place (see DockPane), so that nothing of the
// program can ever cover the reels.
class ProgramWindows : public QObject {
    Q_OBJECT

public:
    enum class Arrangement { Apart, Docked };
    // Docked where windows cannot be placed by the program, apart elsewhere.
    static Arrangement arrangementForPlatform();

    // All three must outlive the windows.
    ProgramWindows(Card& card, ChatSession& session, Preferences& preferences,
                   Arrangement arrangement = arrangementForPlatform());
    ~ProgramWindows() override;

    CardWindow& card() { return *card_; }
    ChatWindow& chat() { return *chat_; }
    // The window that holds both when they are docked, else null.
    QWidget* dock() const { return dock_.get(); }
    // Docked: shows `window` (one the card opens) in the docked window beside the card, in the
    // chat's place until it is closed, and returns true. Apart: false, and nothing is done.
    bool showInDock(QWidget& window);

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

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void remember();
    void makeDock();
    // The card at its own size, with the chat or a window from the card beside it.
    void fitDock();

    Preferences& preferences_;
    std::unique_ptr<QWidget> dock_; // declared before the windows: they are its children
    std::unique_ptr<CardWindow> card_;
    std::unique_ptr<ChatWindow> chat_;
    std::unique_ptr<DockPane> pane_; // when docked
    WindowPair* pair_ = nullptr;     // a child of the card; none when docked
    bool closed_ = false;
};

} // namespace jackwell
