#include "settings/settings_fields.h"

namespace jackwell {

namespace {

constexpr QChar quote = u'"';
constexpr QChar comma = u',';
constexpr QChar cr = u'\r';
constexpr QChar lf = u'\n';

// Far beyond any box value, and small enough that one more digit cannot overflow.
constexpr qint64 saturatedMagnitude = qint64(1) << 40;

bool isDigit(QChar c) {
    return c >= u'0' && c <= u'9';
}

} // namespace

bool isSettingsBlank(QChar c) {
    return c == u' ' || c == u'\t';
}

SettingsField SettingsFieldReader::next() {
    while (!atEnd() && isSettingsBlank(text_[pos_]))
        ++pos_;
    SettingsField field;
    field.line = line_;
    field.text = (!atEnd() && text_[pos_] == quote) ? readQuoted() : readPlain();
    skipTerminator();
    return field;
}

bool SettingsFieldReader::atLineEnd() const {
    return text_[pos_] == cr || text_[pos_] == lf;
}

void SettingsFieldReader::advance() {
    // CR LF counts once, at its LF; a lone CR or LF counts on its own.
    const QChar c = text_[pos_++];
    if (c == lf || (c == cr && (atEnd() || text_[pos_] != lf)))
        ++line_;
}

void SettingsFieldReader::skipTerminator() {
    if (atEnd())
        return;
    if (text_[pos_] == cr && pos_ + 1 < text_.size() && text_[pos_ + 1] == lf)
        ++pos_;
    advance();
}

QString SettingsFieldReader::readQuoted() {
    ++pos_; // the opening quote
    const qsizetype start = pos_;
    while (!atEnd() && text_[pos_] != quote)
        advance();
    const QString text = text_.sliced(start, pos_ - start).toString();
    if (!atEnd())
        ++pos_; // the closing quote
    while (!atEnd() && text_[pos_] != comma && !atLineEnd())
        ++pos_;
    return text;
}

QString SettingsFieldReader::readPlain() {
    const qsizetype start = pos_;
    while (!atEnd() && text_[pos_] != comma && !atLineEnd())
        ++pos_;
    return text_.sliced(start, pos_ - start).toString();
}

std::optional<qint64> roundToWholeNumber(QStringView field) {
    qsizetype pos = 0;
    qsizetype end = field.size();
    while (pos < end && isSettingsBlank(field[pos]))
        ++pos;
    while (end > pos && isSettingsBlank(field[end - 1]))
        --end;

    bool negative = false;
    if (pos < end && (field[pos] == u'+' || field[pos] == u'-'))
        negative = field[pos++] == u'-';

    qint64 whole = 0;
    int digits = 0;
    for (; pos < end && isDigit(field[pos]); ++pos, ++digits)
        whole = qMin(whole * 10 + field[pos].digitValue(), saturatedMagnitude);

    // The fraction decides the rounding: above a half rounds up, a half exactly rounds to even.
    int fractionDigits = 0;
    int firstFraction = 0;
    bool restNonZero = false;
    if (pos < end && field[pos] == u'.') {
        for (++pos; pos < end && isDigit(field[pos]); ++pos, ++fractionDigits) {
            if (fractionDigits == 0)
                firstFraction = field[pos].digitValue();
            else
                restNonZero = restNonZero || field[pos] != u'0';
        }
    }
    if (digits + fractionDigits == 0 || pos != end)
        return std::nullopt;

    const bool roundUp =
        firstFraction > 5 || (firstFraction == 5 && (restNonZero || whole % 2 == 1));
    if (roundUp)
        ++whole;
    return negative ? -whole : whole;
}

} // namespace jackwell
