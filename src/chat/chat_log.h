#pragma once

#include <QByteArray>
#include <QString>

#include <functional>

namespace jackwell {

// The lines of a chat world, in the chat client's line format: "ESP to NAME: text", "ESP from
// NAME: text", "NAME: text" and "<system>: text". They are kept as UTF-8, joined by CR LF, so
// that the chat text is handed over from this one buffer without being copied.
//
// It grows with the conversation; past its bound the oldest lines make room, so days of a busy
// channel cannot use up the memory.
class ChatLog {
public:
    static constexpr qsizetype kMaxBytes = 8 * 1024 * 1024;

    explicit ChatLog(qsizetype maxBytes = kMaxBytes)
        : maxBytes_(maxBytes) {}

    // Appends one line; CR, LF and NUL inside it become blanks so that it stays one line.
    void appendLine(const QString& line);
    void appendSystem(const QString& text);

    // The lines joined by CR LF, with no line break after the last.
    const QByteArray& lines() const { return lines_; }
    qsizetype lineCount() const { return lineCount_; }

    // Called with every line appended from now on, as the log holds it; empty: no calls.
    void setLineAdded(std::function<void(const QString& line)> lineAdded) {
        lineAdded_ = std::move(lineAdded);
    }

private:
    void dropOldest();

    qsizetype maxBytes_;
    QByteArray lines_;
    qsizetype lineCount_ = 0;
    std::function<void(const QString&)> lineAdded_;
};

} // namespace jackwell
