#pragma once

#include <QObject>
#include <QSet>

class QKeyEvent;
class QWindow;

namespace jackwell {

// One action per press: a key held down acts once, in every window of the program, on the card's
// own keys as on a focused button's Return and Space.
//
// Desktops deliver a held key's repeats in different ways. Wayland's clients and most X servers
// mark them (QKeyEvent::isAutoRepeat), but an X server may send each repeat as a release and a
// press of the same key with the same time, which reaches the windows unmarked. So the repeats
// are found here, once for every window, before any widget sees them:
// - a press the platform marks as a repeat;
// - a press of a key that is down already (no release came between);
// - a press that follows a release of the same key with the same time stamp (X11's pair).
// A repeat is dropped, except where repeating is what a key is for: in a line the player types
// into, and for the keys that move (arrows, Page Up and Down, Home, End, Tab) or delete. Those
// get their repeats, marked as such, so the chat window's forwarding of card keys still takes
// only the first press.
class KeyRepeats : public QObject {
    Q_OBJECT

public:
    // Watches the application's key events from now on; once per program (later calls do nothing).
    static void install();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    explicit KeyRepeats(QObject* parent);
    // Whether this press repeats one before it; notes the key as down either way.
    bool isRepeat(const QKeyEvent& press);
    void released(const QKeyEvent& release);
    // Whether a repeat goes on as it is. A repeat that is kept goes on marked as a repeat (sent
    // anew, marked, when it came unmarked); any other is dropped.
    bool goesOn(QWindow* window, const QKeyEvent& press);

    QSet<quint32> down_; // the keys held down, by scan code (or Qt key where there is none)
    quint32 lastReleased_ = 0;
    quint64 lastReleaseTime_ = 0;
};

} // namespace jackwell
