#include "shell/dock_pane.h"

#include <QBoxLayout>
#include <QEvent>
#include <QWidget>

#include <utility>

namespace jackwell {

DockPane::DockPane(QWidget& dock, QWidget& chat, std::function<void()> fit)
    : dock_(dock)
    , chat_(chat)
    , fit_(std::move(fit)) {}

DockPane::~DockPane() {
    disconnect(deleted_);
    putBack();
}

void DockPane::show(QWidget& window) {
    if (shown_ != &window) {
        giveBack();
        flags_ = window.windowFlags();
        chatWasOpen_ = !chat_.isHidden();
        chat_.hide();
        window.setParent(&dock_, Qt::Widget);
        if (auto* layout = qobject_cast<QBoxLayout*>(dock_.layout()))
            layout->addWidget(&window, 1);
        window.installEventFilter(this);
        // Deleted while shown (the about box goes when closed): the chat comes back.
        deleted_ = connect(&window, &QObject::destroyed, this, [this] {
            QMetaObject::invokeMethod(
                this, [this] { shown_ ? void() : giveBack(); }, Qt::QueuedConnection);
        });
        shown_ = &window;
        holding_ = true;
    }
    window.show();
    if (!window.testAttribute(Qt::WA_ShowWithoutActivating))
        window.setFocus(Qt::OtherFocusReason);
    fit_();
}

bool DockPane::eventFilter(QObject* watched, QEvent* event) {
    // Closed by the player or the program (not hidden with the docked window): given back once
    // its hiding is over.
    if (watched == shown_ && event->type() == QEvent::Hide && shown_->isHidden()) {
        QMetaObject::invokeMethod(
            this,
            [this, window = shown_] {
                if (window == shown_ && (!window || window->isHidden()))
                    giveBack();
            },
            Qt::QueuedConnection);
    }
    return QObject::eventFilter(watched, event);
}

void DockPane::giveBack() {
    if (!std::exchange(holding_, false))
        return;
    disconnect(deleted_);
    putBack();
    if (std::exchange(chatWasOpen_, false))
        chat_.show();
    fit_();
}

void DockPane::putBack() {
    if (QWidget* window = std::exchange(shown_, nullptr)) {
        window->removeEventFilter(this);
        // The docked window's memory of where its focus was must not point into it.
        if (QWidget* focus = window->focusWidget())
            focus->clearFocus();
        dock_.layout()->removeWidget(window);
        window->setParent(nullptr, flags_);
    }
}

} // namespace jackwell
