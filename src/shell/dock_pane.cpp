#include "shell/dock_pane.h"

#include <QBoxLayout>
#include <QEvent>
#include <QLabel>
#include <QPushButton>
#include <QWidget>

#include <utility>

namespace jackwell {

DockPane::DockPane(QWidget& dock, QWidget& chat, std::function<void()> fit)
    : dock_(dock)
    , chat_(chat)
    , fit_(std::move(fit))
    , pane_(new QWidget(&dock)) {
    // Above the window, what its title bar would show: its title and a Close.
    pane_->setObjectName(QStringLiteral("dockedPane"));
    auto* bar = new QWidget(pane_);
    bar->setObjectName(QStringLiteral("dockedPaneBar"));
    auto* barLayout = new QHBoxLayout(bar);
    barLayout->setContentsMargins(6, 2, 2, 2);
    title_ = new QLabel(bar);
    QFont bold = title_->font();
    bold.setBold(true);
    title_->setFont(bold);
    auto* close = new QPushButton(QStringLiteral("Close"), bar);
    close->setObjectName(QStringLiteral("dockedPaneClose"));
    close->setFocusPolicy(Qt::NoFocus); // the keys stay where they were
    connect(close, &QPushButton::clicked, this, [this] {
        if (shown_)
            shown_->close();
    });
    barLayout->addWidget(title_, 1);
    barLayout->addWidget(close);
    auto* layout = new QVBoxLayout(pane_);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(bar);
    if (auto* docked = qobject_cast<QBoxLayout*>(dock.layout()))
        docked->addWidget(pane_, 1);
    pane_->hide();
}

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
        window.setParent(pane_, Qt::Widget);
        static_cast<QBoxLayout*>(pane_->layout())->addWidget(&window, 1);
        title_->setText(window.windowTitle());
        pane_->show();
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
        pane_->layout()->removeWidget(window);
        window->setParent(nullptr, flags_);
    }
    pane_->hide();
}

} // namespace jackwell
