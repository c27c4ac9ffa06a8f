// The floor for the start-up benchmark: a Qt Widgets window of the card's size and nothing
// else, ended by the same probe as the program once it has been painted.

#include "shell/start_probe.h"

#include <QApplication>
#include <QWidget>

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    jackwell::exitWhenShownIfAsked();
    QWidget window;
    window.setObjectName(QStringLiteral("bareWindow"));
    window.setFixedSize(197, 302); // the card's client area
    window.show();
    return app.exec();
}
