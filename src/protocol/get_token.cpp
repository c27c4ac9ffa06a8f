#include "protocol/get_token.h"

namespace jackwell {

namespace {

// Where `delimiter` first occurs in `text` from `from` on, or -1. A two-character
// delimiter (the line break) is looked for by its first character, which the
// library scans many characters at a time; that is several times faster than
// its general search on a long chat text.
qsizetype findFrom(QStringView text, QStringView delimiter, qsizetype from) {
    if (delimiter.size() != 2)
        return text.indexOf(delimiter, from);
    const QChar first = delimiter[0];
    const QChar second = delimiter[1];
    for (qsizetype at = text.indexOf(first, from); at >= 0; at = text.indexOf(first, at + 1)) {
        if (at + 1 < text.size() && text[at + 1] == second)
            return at;
    }
    return -1;
}

} // namespace

void Tokenizer::start(const QString& text) {
    text_ = text;
    pos_ = 0;
}

void Tokenizer::cutTo(qsizetype position) {
    if (position >= text_.size()) {
        text_ = QString();
        pos_ = 0;
    } else {
        pos_ = qMax<qsizetype>(position, 0);
    }
}

QString Tokenizer::getToken(const QString& text, const QString& delimiter) {
    return getTokenView(text, delimiter).toString();
}

QStringView Tokenizer::getTokenView(const QString& text, QStringView delimiter) {
    if (!text.isEmpty()) {
        text_ = text; // shares the buffer: no copy
        pos_ = 0;
    }
    const QStringView all(text_);
    if (pos_ >= all.size()) {
        // Nothing left: let go of the text, so that a chat text that has been
        // walked to its end is not kept alive beside the next one.
        text_ = QString();
        pos_ = 0;
        return {};
    }
    const qsizetype q = delimiter.isEmpty() ? pos_ : findFrom(all, delimiter, pos_);
    if (q < 0) {
        const QStringView rest = all.mid(pos_);
        pos_ = all.size(); // the text stays alive for the view handed out
        return rest;
    }
    const QStringView piece = all.mid(pos_, q - pos_);
    pos_ = q + delimiter.size();
    return piece;
}

} // namespace jackwell
