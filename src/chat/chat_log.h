#pragma once

#include <QByteArray>
#include <QString>

#include <deque>
#include <functional>

namespace jackwell {

// The lines of a chat world, in the chat client's line format: "ESP to NAME: text", "ESP from
// NAME: text", "NAME: text" and "<system>: text". They are kept as UTF-8, joined by CR LF, so
// that the chat text is handed over from this one buffer without being copied.
//
// It grows with the conversation; past its bound the oldest lines make room, so days of a busy
// channel cannot use up the memory.
//
// A line may belong to a server's greeting (its welcome, user counts and message of the day on
// one connect), which the chat window folds into one line; the greetings are numbered from 1.
class ChatLog {
public:
    static constexpr qsizetype kMaxBytes = 8 * 1024 * 1024;
    using LineAdded = std::function<void(const QString& line, int greeting)>;

    explicit ChatLog(qsizetype maxBytes = kMaxBytes)
        : maxBytes_(maxBytes) {}

    // Appends one line; CR, LF and NUL inside it become blanks and the other characters that
    // would break it visible marks (see markLineBreaks), so that it stays one line for every
    // reader. `greeting`: the greeting it belongs to, 0 for none.
    void appendLine(const QString& line, int greeting = 0);
    void appendSystem(const QString& text);

    // The lines joined by CR LF, with no line break after the last.
    const QByteArray& lines() const { return lines_; }
    qsizetype lineCount() const { return lineCount_; }
    // The greeting line `index` of lines() (from 0) belongs to; 0 for none.
    int greetingOf(qsizetype index) const;

    // Called with every line appended from now on, as the log holds it; empty: no calls.
    void setLineAdded(LineAdded lineAdded) { lineAdded_ = std::move(lineAdded); }

private:
    void dropOldest();

    qsizetype maxBytes_;
    QByteArray lines_;
    qsizetype lineCount_ = 0;
    qint64 dropped_ = 0; // lines dropped so far: the number of the first line kept
    std::deque<std::pair<qint64, int>> greetings_; // (line number, greeting), in order
    LineAdded lineAdded_;
};

// Turns the characters that end a line for some reader other than at CR LF (VT, FF, NEL, the
// line and paragraph separators) into visible marks, one for one.
void markLineBreaks(QString& text);

} // namespace jackwell
