#pragma once

// The card rig with the main window on top, clicked where a player would click.

#include "shell/card_window.h"
#include "support/card_rig.h"
#include "support/qt_gui_printers.h"

#include <QTest>
#include <QWindow>

namespace jackwell::testing {

struct CardWindowRig : CardRig<ScriptedBackend> {
    CardWindow window{card};

    CardWindowRig() { window.show(); }
    // A press and release at `point` of the card's client area.
    void clickAt(QPoint point) {
        QTest::mouseClick(window.windowHandle(), Qt::LeftButton, {}, point);
    }
    template <typename T = QWidget> T* control(const QString& name) const {
        return window.findChild<T*>(name);
    }
    // Changes the state as a handler would and lets the window render it.
    template <typename Change> void change(Change change) {
        change(card.state);
        emit card.changed();
    }
};

} // namespace jackwell::testing
