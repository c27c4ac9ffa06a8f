#include "protocol/get_token.h"

namespace jackwell {

QString Tokenizer::GetToken(const QString& sText, const QString& sDelimiter) {
    return GetTokenView(sText, sDelimiter).toString();
}

QStringView Tokenizer::GetTokenView(const QString& sText, QStringView sDelimiter) {
    if (!sText.isEmpty()) {
        text_ = sText; // shares the buffer: no copy
        pos_ = 0;
    }
    const QStringView all(text_);
    qsizetype q = -1;
    if (pos_ < all.size())
        q = sDelimiter.isEmpty() ? pos_ : all.indexOf(sDelimiter, pos_);
    if (q < 0) {
        const QStringView rest = all.mid(pos_);
        pos_ = all.size(); // the text itself stays alive for the views handed out
        return rest;
    }
    const QStringView piece = all.mid(pos_, q - pos_);
    pos_ = q + sDelimiter.size();
    return piece;
}

} // namespace jackwell
