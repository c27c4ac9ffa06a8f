#include "shell/first_paint.h"

#include <QEvent>
#include <QWidget>

namespace jackwell {

namespace {

class FirstPaintWatch final : public QObject {
public:
    FirstPaintWatch(QWidget& window, std::function<void()> then)
        : QObject(&window)
        , then_(std::move(then)) {
        window.installEventFilter(this);
    }

    // Queued, so that it runs once this paint, and those of the window's children, are done.
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::Paint && watched == parent()) {
            watched->removeEventFilter(this);
            QMetaObject::invokeMethod(watched, std::move(then_), Qt::QueuedConnection);
            deleteLater();
        }
        return false;
    }

private:
    std::function<void()> then_;
};

} // namespace

void afterFirstPaint(QWidget& window, std::function<void()> then) {
    new FirstPaintWatch(window, std::move(then));
}

} // namespace jackwell
