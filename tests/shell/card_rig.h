#pragma once

// The card window over a card whose chat answers from a script, in virtual
// time: clicks land where a player's would, through the window's own hit test.

#include "chat/dapi.h"
#include "chat/transport.h"
#include "clock/virtual_clock.h"
#include "controls/card.h"
#include "settings/options.h"
#include "shell/frm_jackwell.h"
#include "support/fakes.h"

#include <QTest>
#include <QWindow>

namespace jackwell::testing {

struct CardRig {
    VirtualClock clock;
    FakeSound sound;
    Options options;
    std::vector<ScriptedBackend::Call> calls;
    ScriptedBackend* backend = nullptr;
    ChatLibrary library{clock, [this] {
                            auto made = std::make_unique<ScriptedBackend>();
                            made->calls = &calls;
                            backend = made.get();
                            return made;
                        }};
    ChatTransport transport{library, clock, "Jackwell"};
    Card card{{transport, clock, sound, sound, options}};
    frmJackwell window{card};

    CardRig() {
        transport.open();
        card.bringToRest();
        window.show();
    }

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
    QByteArray lastMessage() const {
        for (auto call = calls.rbegin(); call != calls.rend(); ++call) {
            if (call->what == "communicate")
                return call->message;
        }
        return {};
    }
};

} // namespace jackwell::testing
