#pragma once

#include <QString>

namespace jackwell {

// How far the card's walks have cut the chat text into lines. The remainder is a
// position in the text the cutting started on, never a copy of the rest, so
// walking a whole chat text costs one pass however long it is.
class Tokenizer {
public:
    // What has not been cut off yet.
    QStringView tokenRemainder() const { return QStringView(text_).mid(pos_); }

    // A walk starts cutting anew on `text`, then marks everything in front of
    // `position` as cut off; cutting to the end lets go of the text.
    void start(const QString& text);
    void cutTo(qsizetype position);

private:
    QString text_; // shares the caller's buffer; let go once it is cut up
    qsizetype pos_ = 0;
};

} // namespace jackwell
