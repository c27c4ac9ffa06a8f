#include "protocol/tokenizer.h"

namespace jackwell {

void Tokenizer::start(const QString& text) {
    text_ = text;
    pos_ = 0;
}

void Tokenizer::cutTo(qsizetype position) {
    if (position >= text_.size())
        start(QString());
    else
        pos_ = qMax<qsizetype>(position, 0);
}

} // namespace jackwell
