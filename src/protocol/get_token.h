#pragma once

#include <QString>

namespace jackwell {

// Cuts a text into pieces at a delimiter, one piece per call. The remainder is
// a position in the text the cutting started on, never a copy of the rest, so
// walking a whole chat text costs one pass however long it is.
class Tokenizer {
public:
    // A non-empty text starts cutting anew on it; an empty one goes on where the
    // previous call stopped. Returns the text up to the first delimiter and
    // drops the delimiter; with no delimiter left, returns the whole rest. An
    // empty delimiter is found at the start of a non-empty remainder.
    QString getToken(const QString& text, const QString& delimiter);
    // The same, as a view into the text being cut. It stays valid until the next
    // call that starts on another text or finds nothing left to cut.
    QStringView getTokenView(const QString& text, QStringView delimiter);

    // What has not been cut off yet.
    QStringView tokenRemainder() const { return QStringView(text_).mid(pos_); }

    // For a walk that finds the delimiters itself: start() takes the text as a
    // non-empty text would, and cutTo() marks everything in front of
    // `position` as cut off; cutting to the end lets go of the text.
    void start(const QString& text);
    void cutTo(qsizetype position);

private:
    QString text_; // shares the caller's buffer; let go once it is cut up
    qsizetype pos_ = 0;
};

} // namespace jackwell
