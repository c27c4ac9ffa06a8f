#pragma once

#include <QByteArray>
#include <QString>

#include <functional>

namespace jackwell {

// The chat text the chat library hands out, in the chat client's line
// format: "ESP to NAME: text", "ESP from NAME: text", "NAME: text" and
// "<system>: text". It is kept as delivered (lines joined by CR LF, then four
// filler characters and a NUL) so that a delivery shares the buffer.
//
// It grows with the conversation; past kMaxBytes the oldest lines make room,
// so days of a busy channel cannot use up the memory.
class ChatLog {
public:
    static constexpr qsizetype kMaxBytes = 8 * 1024 * 1024;

    ChatLog();

    // Appends one line; CR, LF and NUL inside it become blanks so that it stays one line.
    void appendLine(const QString& line);
    void appendSystem(const QString& text);

    const QByteArray& delivered() const { return delivered_; }
    // The lines without the filler, joined by CR LF.
    QByteArray lines() const;
    qsizetype lineCount() const { return lines_; }

    // Called with every line appended from now on, as the log holds it; empty: no calls.
    void setLineAdded(std::function<void(const QString& line)> lineAdded) {
        lineAdded_ = std::move(lineAdded);
    }

private:
    void dropOldest();

    QByteArray delivered_;
    qsizetype lines_ = 0;
    std::function<void(const QString&)> lineAdded_;
};

} // namespace jackwell
