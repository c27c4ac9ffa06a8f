#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QList>

#include <functional>

namespace jackwell {

// Cuts the bytes a server sends into lines. A line ends at LF (a CR in front of
// it is dropped). A line longer than kMaxLineBytes is thrown away whole, so no
// amount of input without a line end makes the buffer grow past that bound.
class IrcLineReader {
public:
    // Room for the longest tagged line servers send, with margin.
    static constexpr qsizetype kMaxLineBytes = 8192 + 512;

    // Takes received bytes; returns the lines they complete, empty ones left out.
    QList<QByteArray> feed(QByteArrayView bytes);
    // The same, handing each line to `take` as it is found, without copying the lines that lie
    // whole inside `bytes`: for a reader that must keep up with a stream. A view is valid only
    // during its call; `take` returns false to stop (the rest of `bytes` is dropped).
    void feed(QByteArrayView bytes, const std::function<bool(QByteArrayView line)>& take);
    // Lines thrown away so far for being too long.
    int discardedLines() const { return discarded_; }
    void clear();

private:
    QByteArray pending_;
    bool skipping_ = false; // inside a line that is being thrown away
    int discarded_ = 0;
};

} // namespace jackwell
