#pragma once

#include <QObject>
#include <QPointer>

#include <functional>

class QLabel;
class QWidget;

namespace jackwell {

// Where the compositor places every window (Wayland) it may put one over the reels. There the
// windows the card opens (the options, the help, the statistics, the hint, the payouts, the
// about box) show inside the docked window instead, in the chat's place beside the card, one at
// a time, under a bar with its title and a Close, as a title bar would show them. When one is
// closed it becomes a window of its own again, hidden, and the chat comes back as it was.
class DockPane : public QObject {
public:
    // `card` and `chat` are children of `dock`, side by side in its box layout, where the pane
    // goes after them; `fit` sizes the dock to what it now shows. All must outlive the pane.
    DockPane(QWidget& dock, QWidget& chat, std::function<void()> fit);
    // A window still shown in the pane is given back, so that whoever owns it deletes it.
    ~DockPane() override;

    // Shows `window` beside the card in the chat's place, instead of any other shown there. It
    // takes the keyboard unless it is shown without activating.
    void show(QWidget& window);
    // The window shown in the pane, or null; and the pane that holds it with its bar.
    QWidget* shown() const { return shown_; }
    QWidget* pane() const { return pane_; }
    // The chat was open when a window took its place: it comes back when that window closes.
    bool keepsChatOpen() const { return chatWasOpen_; }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    // The window shown goes back to being a hidden window of its own, and the chat comes back.
    void giveBack();
    void putBack();

    QWidget& dock_;
    QWidget& chat_;
    std::function<void()> fit_;
    QWidget* pane_; // a child of the dock
    QLabel* title_;
    QPointer<QWidget> shown_;
    bool holding_ = false;  // a window shown, or one deleted while shown not given back yet
    Qt::WindowFlags flags_; // the shown window's own, given back with it
    QMetaObject::Connection deleted_;
    bool chatWasOpen_ = false;
};

} // namespace jackwell
