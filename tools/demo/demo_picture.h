#pragma once

#include <QImage>
#include <QString>
#include <QStringList>

class QScreen;
class QWidget;

namespace jackwell {

struct CardState;

namespace demo {

// One picture of the demo: the card's window as it is drawn, and beside it what the card
// holds and the last lines of the chat text, so that the picture tells the whole moment.
struct Snapshot {
    QString title;
    QStringList facts;    // a few lines about the card's state
    QStringList chatTail; // the last lines of the chat text
};

QStringList describeCard(const CardState& state);
QImage composePicture(QWidget& window, const Snapshot& snapshot);
// The windows as they stand on `screen`, each under a title bar with its window title, on a
// plain desktop the size of the screen's free area.
QImage composeDesktop(const QList<QWidget*>& windows, QScreen* screen);

} // namespace demo
} // namespace jackwell
