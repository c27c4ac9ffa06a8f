#pragma once

#include <QString>
#include <QStringView>

#include <optional>

namespace jackwell {

// Blanks are spaces and tabs: skipped before a field and around a box value.
bool isSettingsBlank(QChar c);

// One field of Settings.txt and the line (counted from 1) on which it starts.
struct SettingsField {
    QString text;
    int line = 1;
};

// Cuts the text of Settings.txt into fields:
// - a field ends at a comma, at a line end (CR LF, LF or a lone CR) or at the end of the text;
//   an empty line is an empty field;
// - blanks before a field are skipped;
// - a field that begins with a double quote runs to the next double quote (line ends included);
//   the quotes are not part of it, and the rest up to the next comma or line end is dropped.
// The reader only looks at the text; it must outlive the reader.
class SettingsFieldReader {
public:
    explicit SettingsFieldReader(QStringView text)
        : text_(text) {}

    bool atEnd() const { return pos_ >= text_.size(); }
    // Reads the next field. At the end of the text it gives an empty field; callers test atEnd()
    // first, since reading past the end is a fault of the file.
    SettingsField next();

private:
    bool atLineEnd() const;
    void advance();        // steps over one character, counting lines
    void skipTerminator(); // steps over the comma or line end that ends a field, if any
    QString readQuoted();
    QString readPlain();

    QStringView text_;
    qsizetype pos_ = 0;
    int line_ = 1;
};

// Converts a box value field to a whole number: blanks around it are ignored, and a fraction
// is rounded to the nearest whole number, a half to the even one (1.5 -> 2, 2.5 -> 2).
// Accepts an optional sign, digits and an optional decimal point with more digits (".5" and
// "1." included). Gives nothing when the field is not such a number (an empty field included).
// Huge values saturate far outside the range of a box value instead of overflowing.
std::optional<qint64> roundToWholeNumber(QStringView field);

} // namespace jackwell
