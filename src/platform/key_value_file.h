#pragma once

// The small configuration files of `key = value` lines (Chat.txt, the robot's file).

#include <QByteArray>
#include <QByteArrayView>
#include <QList>
#include <QString>

#include <functional>
#include <optional>
#include <vector>

namespace jackwell {

// The lines of a configuration file, taken by one reader after another: each reader takes
// the keys it knows and leaves the other lines for the next (the robot takes its own keys,
// then reads the rest as Chat.txt). Every fault is one line, "FILE, line N: what".
//
// The text may begin with a byte-order mark; blanks around a line, its key and its value do
// not count, so lines may end in CR LF; blank lines and lines starting with '#' are skipped.
// Keys are compared in lower case; a key may be given only once.
class KeyValueFile {
public:
    static constexpr qint64 kMaxBytes = 64 * 1024;

    // Checks one value and keeps it; returns what is wrong, or an empty text.
    using Take = std::function<QString(const QByteArray& key, const QByteArray& value)>;

    // The text of the file at `path`, if it is a regular file that can be read and holds at
    // most `maxBytes`. Otherwise nullopt and `error` says why; `kind` ends the fault of a file
    // that is too large or not a file at all ("PATH: larger than 65536 bytes, not " + kind).
    // A FIFO or a device is refused without being read, so it cannot make the caller wait.
    static std::optional<QByteArray> readText(const QString& path, const QString& kind,
                                              QString* error, qint64 maxBytes = kMaxBytes);

    // `fileName` names the file in faults.
    KeyValueFile(const QByteArray& text, const QString& fileName);

    // Takes every line that is left: each must be `key = value` with one of `keys`, and the
    // value must be neither empty nor hold a control character. The first fault ends the
    // reading and is returned; empty when every line was taken.
    QString takeAll(const QList<QByteArray>& keys, const Take& take);
    // Takes the lines of `keys` and leaves the others, lines without '=' included, for the
    // next reader. take() alone judges a value, empty or not. The first fault ends the reading
    // and is returned; empty when every line of `keys` was taken.
    QString takeOwn(const QList<QByteArray>& keys, const Take& take);

    // Whether a line of `key` has been taken.
    bool has(QByteArrayView key) const { return taken_.contains(key); }
    // The fault of a required key without a line: `FILE: no "KEY = ..." line`.
    QString missing(QByteArrayView key) const;

    // A fault of the file as a whole: "FILE: what".
    QString faultOfFile(const QString& what) const;

    // A value as a fault may show it: quoted, cut short, control characters escaped.
    static QString shown(const QByteArray& value);
    // `text` with its control characters written out ("\x1B", "\r", "\t"), so that a message
    // quoting it cannot move a terminal's cursor, ring its bell or break its line.
    static QString escaped(const QString& text);
    static bool hasControl(QByteArrayView value);
    // Whether users other than the owner may read the file at `path` (its group or the world).
    static bool othersMayRead(const QString& path);

private:
    struct Line {
        int number = 0;    // counted from 1 over every line of the file
        QByteArray text;   // without the blanks around it
        bool pair = false; // holds '='
        QByteArray key;    // in lower case
        QByteArray value;
    };

    // Notes `line`'s key as taken; a key taken before is a fault.
    QString noteTaken(const Line& line);
    QString faultAt(int line, const QString& what) const;

    QString fileName_;
    std::vector<Line> lines_; // not yet taken, in file order
    QList<QByteArray> taken_;
    QList<QByteArray> known_; // keys an earlier reader took: a later reader's faults name them too
};

} // namespace jackwell
