#pragma once

// Lets GoogleTest print Qt strings readably in failure messages.

#include <QByteArray>
#include <QRect>
#include <QString>

#include <ostream>

QT_BEGIN_NAMESPACE
inline void PrintTo(const QRect& r, std::ostream* out) {
    *out << r.x() << ',' << r.y() << ' ' << r.width() << 'x' << r.height();
}
inline std::ostream& operator<<(std::ostream& out, const QString& s) {
    return out << s.toStdString();
}
inline std::ostream& operator<<(std::ostream& out, const QByteArray& b) {
    return out << b.toStdString();
}
inline void PrintTo(const QString& text, std::ostream* out) {
    *out << '"' << text << '"';
}
inline void PrintTo(const QByteArray& bytes, std::ostream* out) {
    *out << '"' << bytes << '"';
}
QT_END_NAMESPACE

// For EXPECT_PRED2, which prints the whole text beside the part it lacks.
inline bool textContains(const QString& text, const QString& part) {
    return text.contains(part);
}
inline bool textStartsWith(const QString& text, const QString& part) {
    return text.startsWith(part);
}
