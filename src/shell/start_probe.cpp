#include "shell/start_probe.h"

#include <QCoreApplication>
#include <QEvent>
#include <QWidget>

#include <cstdio>
#include <cstdlib>

namespace jackwell {

namespace {

class ExitWhenShown final : public QObject {
public:
    explicit ExitWhenShown(QString window)
        : QObject(QCoreApplication::instance())
        , window_(std::move(window)) {}

    // A window paints only once it is exposed (mapped); the exit waits for the next turn of the
    // event loop, so that the paint this event starts is done and counted.
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::Paint && watched->isWidgetType() &&
            static_cast<QWidget*>(watched)->isWindow() && watched->objectName() == window_) {
            QMetaObject::invokeMethod(
                this,
                [] {
                    std::fflush(stdout);
                    std::_Exit(0);
                },
                Qt::QueuedConnection);
        }
        return false;
    }

private:
    QString window_;
};

} // namespace

void exitWhenShownIfAsked() {
    const QString window = qEnvironmentVariable("JACKWELL_EXIT_WHEN_SHOWN");
    if (!window.isEmpty())
        QCoreApplication::instance()->installEventFilter(new ExitWhenShown(window));
}

} // namespace jackwell
