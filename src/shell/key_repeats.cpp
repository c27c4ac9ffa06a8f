#include "shell/key_repeats.h"

#include <QApplication>
#include <QKeyEvent>
#include <QPointer>
#include <QWidget>
#include <QWindow>

namespace jackwell {

namespace {

// A key as the repeat test knows it: its scan code, which a held key keeps whatever the
// modifiers do to its meaning; Qt's key where the platform gives none (synthesised events).
quint32 keyId(const QKeyEvent& event) {
    constexpr quint32 kNotAScanCode = 0x80000000u;
    return event.nativeScanCode() != 0 ? event.nativeScanCode()
                                       : quint32(event.key()) | kNotAScanCode;
}

bool movesOrDeletes(int key) {
    switch (key) {
    case Qt::Key_Left:
    case Qt::Key_Right:
    case Qt::Key_Up:
    case Qt::Key_Down:
    case Qt::Key_PageUp:
    case Qt::Key_PageDown:
    case Qt::Key_Home:
    case Qt::Key_End:
    case Qt::Key_Tab:
    case Qt::Key_Backtab:
    case Qt::Key_Backspace:
    case Qt::Key_Delete:
        return true;
    default:
        return false;
    }
}

bool typingHasFocus() {
    const QWidget* focus = QApplication::focusWidget();
    return focus && focus->testAttribute(Qt::WA_InputMethodEnabled);
}

} // namespace

void KeyRepeats::install() {
    static QPointer<KeyRepeats> installed;
    if (installed || !QCoreApplication::instance())
        return;
    installed = new KeyRepeats(QCoreApplication::instance());
    QCoreApplication::instance()->installEventFilter(installed);
}

KeyRepeats::KeyRepeats(QObject* parent)
    : QObject(parent) {}

// Key events are looked at where the platform hands them to a window: each press once, before
// it travels from the focused widget to its parents.
bool KeyRepeats::eventFilter(QObject* watched, QEvent* event) {
    switch (event->type()) {
    case QEvent::ApplicationDeactivate: // a key let go in another program's window
        down_.clear();
        return false;
    case QEvent::KeyPress:
        if (!watched->isWindowType())
            return false;
        if (const auto* press = static_cast<const QKeyEvent*>(event); isRepeat(*press))
            return !goesOn(static_cast<QWindow*>(watched), *press);
        return false;
    case QEvent::KeyRelease:
        if (watched->isWindowType())
            released(*static_cast<const QKeyEvent*>(event));
        return false;
    default:
        return false;
    }
}

bool KeyRepeats::isRepeat(const QKeyEvent& press) {
    const quint32 key = keyId(press);
    const bool xPair = press.nativeScanCode() != 0 && key == lastReleased_ &&
                       press.timestamp() == lastReleaseTime_;
    const bool wasDown = down_.contains(key);
    down_.insert(key);
    return press.isAutoRepeat() || wasDown || xPair;
}

void KeyRepeats::released(const QKeyEvent& release) {
    if (release.isAutoRepeat())
        return;
    const quint32 key = keyId(release);
    down_.remove(key);
    lastReleased_ = key;
    lastReleaseTime_ = release.timestamp();
}

bool KeyRepeats::goesOn(QWindow* window, const QKeyEvent& press) {
    if (!movesOrDeletes(press.key()) && !typingHasFocus())
        return false;
    if (press.isAutoRepeat())
        return true;
    QKeyEvent marked(press.type(), press.key(), press.modifiers(), press.nativeScanCode(),
                     press.nativeVirtualKey(), press.nativeModifiers(), press.text(), true,
                     press.count(), press.device());
    marked.setTimestamp(press.timestamp());
    QCoreApplication::sendEvent(window, &marked);
    return false; // the unmarked one goes no further
}

} // namespace jackwell
