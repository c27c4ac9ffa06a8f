#include "shell/frm_jackwell.h"

#include "controls/card.h"

#include <QCloseEvent>
#include <QWindow>

namespace jackwell {

frmJackwell::frmJackwell(Card& card, QWidget* parent) : QWidget(parent), card_(card) {
    setWindowTitle(QStringLiteral("Pim's Jackwell"));
    setFixedSize(197, 302);
    connect(&card_, &Card::changed, this, &frmJackwell::render);
    render();
}

void frmJackwell::render() { update(); }

// Pins the window without hiding, moving or resizing it. Before the window has
// a native window the hint is set on the widget, which takes effect when it
// is first shown.
void frmJackwell::SetStayOnTop(bool onTop) {
    if (QWindow* window = windowHandle())
        window->setFlag(Qt::WindowStaysOnTopHint, onTop);
    else
        setWindowFlag(Qt::WindowStaysOnTopHint, onTop);
}

void frmJackwell::closeEvent(QCloseEvent* event) {
    emit closing();
    event->accept();
}

} // namespace jackwell
