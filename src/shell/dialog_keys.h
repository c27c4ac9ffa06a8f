#pragma once

#include <QKeyEvent>

namespace jackwell {

// The keys that close a window the card opened: Esc, Ctrl+W, and the key that opened it, alone.
inline bool closesDialog(const QKeyEvent& event, Qt::Key openedBy) {
    const Qt::KeyboardModifiers modifiers = event.modifiers() & ~Qt::KeypadModifier;
    if (event.key() == Qt::Key_W && modifiers == Qt::ControlModifier)
        return true;
    return modifiers == Qt::NoModifier &&
           (event.key() == Qt::Key_Escape || event.key() == openedBy);
}

} // namespace jackwell
