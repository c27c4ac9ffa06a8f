#pragma once

// Lets GoogleTest print colours readably in the window tests' failure messages.

#include "support/qt_printers.h"

#include <QColor>

QT_BEGIN_NAMESPACE
inline void PrintTo(const QColor& c, std::ostream* out) {
    *out << c.name().toStdString();
}
QT_END_NAMESPACE
