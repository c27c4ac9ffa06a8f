#pragma once

#include "world/paytable.h"

#include <QString>

namespace jackwell::world::test {

// Reads a first- or final-result line the way the player's program does: it sees
// "<keeper>: <text>", keeps `kept` characters after the position of ": FIRST:" (or
// ": FINAL:"), takes the body after " FIRST:" and picks the codes at characters 4-5, 9-10 and
// 14-15; the credits are the body's text between its first two colons without its first two
// characters and its last one. A code or credits that do not read as numbers come out as -1.
struct PositionReading {
    ReelCodes codes{-1, -1, -1};
    qint64 credits = -1;
};

inline PositionReading readByPosition(const QString& text, const QString& marker, int kept) {
    const QString line = QStringLiteral("Rivet: ") + text;
    const QString inner = QLatin1Char(' ') + marker + QLatin1Char(':');
    const qsizetype p = line.indexOf(QLatin1Char(':') + inner) + 1; // counted from 1
    PositionReading reading;
    if (p == 0)
        return reading;
    const QString window = line.left(p + kept);
    const qsizetype start = window.indexOf(inner) + inner.size();
    const qsizetype end = window.indexOf(inner, start);
    const QString body = window.mid(start, end < 0 ? -1 : end - start);
    for (int reel = 0; reel < kReelCount; ++reel) {
        bool ok = false;
        const int code = body.mid(3 + 5 * reel, 2).toInt(&ok);
        reading.codes[reel] = ok ? code : -1;
    }
    const QString piece = body.section(QLatin1Char(':'), 1, 1);
    bool ok = false;
    const qint64 credits = piece.size() >= 3 ? piece.mid(2).chopped(1).toLongLong(&ok) : 0;
    reading.credits = ok ? credits : -1;
    return reading;
}

inline PositionReading readFirst(const QString& text) {
    return readByPosition(text, QStringLiteral("FIRST"), 30);
}

inline PositionReading readFinal(const QString& text) {
    return readByPosition(text, QStringLiteral("FINAL"), 50);
}

} // namespace jackwell::world::test
