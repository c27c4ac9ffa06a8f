#pragma once

// The card rig with the main window on top, clicked where a player would click.

#include "shell/card_label.h"
#include "shell/card_window.h"
#include "shell/symbol_box.h"
#include "support/card_rig.h"

#include <QColor>
#include <QLineEdit>
#include <QTest>

// Colours readably in failure messages.
QT_BEGIN_NAMESPACE
inline void PrintTo(const QColor& c, std::ostream* out) {
    *out << c.name();
}
QT_END_NAMESPACE

namespace jackwell::testing {

struct CardWindowRig : CardRig<ScriptedBackend> {
    CardWindow window{card};

    CardWindowRig() { window.show(); }
    // A press and release at `point` of the card's client area.
    void clickAt(QPoint point) {
        QTest::mouseClick(window.windowHandle(), Qt::LeftButton, {}, point);
    }
    // The card's controls by what they are for, found through the card's control table.
    CardLabel* label(CardLabelRole role) const {
        return window.findChild<CardLabel*>(card::designName(role));
    }
    SymbolBox* reelPicture(int reel) const {
        return window.findChild<SymbolBox*>(card::kReelPictures[reel].reelDesignName);
    }
    SymbolBox* resultPicture(int reel) const {
        return window.findChild<SymbolBox*>(card::kReelPictures[reel].resultDesignName);
    }
    QLineEdit* nameBox() const { return window.findChild<QLineEdit*>(card::kNameBoxName); }
    // Changes the state as a handler would and lets the window render it.
    template <typename Change> void change(Change change) {
        change(card.state);
        emit card.changed();
    }
    void knowKeeper() {
        change([](CardState& s) { s.machineKeeperName = "Rivet"; });
    }
};

} // namespace jackwell::testing
