#include "protocol/marked_lines.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace jackwell {

namespace {

class Walk {
public:
    Walk(const QString& text, std::initializer_list<QStringView> markers,
         const std::function<void(const ChatLine&)>& visit)
        : data_(QStringView(text).utf16())
        , size_(text.size())
        , markers_(markers)
        , visit_(visit) {
        first_ = markers_.size() > 0 ? markers_.begin()->front().unicode() : u'\r';
        for (QStringView marker : markers_)
            Q_ASSERT(!marker.isEmpty() && marker.front() == QChar(first_));
    }

    // Where the walk stopped: just behind the first empty line, or the end.
    qsizetype run() {
        qsizetype i = 0;
#if defined(__SSE2__)
        // Eight characters at a time: which of them are a CR or the markers'
        // first character. Most blocks hold neither and cost one test.
        const __m128i cr = _mm_set1_epi16(short(u'\r'));
        const __m128i first = _mm_set1_epi16(short(first_));
        for (; i + 8 <= size_; i += 8) {
            const __m128i block = _mm_loadu_si128(reinterpret_cast<const __m128i*>(data_ + i));
            unsigned hits = unsigned(_mm_movemask_epi8(
                _mm_or_si128(_mm_cmpeq_epi16(block, cr), _mm_cmpeq_epi16(block, first))));
            while (hits) {
                const int bit = __builtin_ctz(hits);
                hits &= ~(3u << bit);
                if (!at(i + bit / 2))
                    return stop_;
            }
        }
#endif
        for (; i < size_; ++i) {
            if ((data_[i] == u'\r' || data_[i] == first_) && !at(i))
                return stop_;
        }
        if (lineStart_ < size_ && marked_)
            visit_(normaliseLine(QStringView(data_ + lineStart_, size_ - lineStart_)));
        return size_;
    }

private:
    // A CR or a marker's first character at `i`; false when the walk ends here.
    bool at(qsizetype i) {
        if (data_[i] != u'\r') {
            if (!marked_)
                marked_ = markerAt(i);
            return true;
        }
        if (i + 1 >= size_ || data_[i + 1] != u'\n')
            return true; // a CR alone is part of the line
        if (i == lineStart_) {
            stop_ = i + 2; // an empty line: nothing behind it is walked
            return false;
        }
        if (marked_)
            visit_(normaliseLine(QStringView(data_ + lineStart_, i - lineStart_)));
        lineStart_ = i + 2;
        marked_ = false;
        return true;
    }

    bool markerAt(qsizetype i) const {
        const QStringView rest(data_ + i, size_ - i);
        for (QStringView marker : markers_) {
            if (rest.size() < marker.size())
                continue;
            // Most colons in a chat are followed by a blank and a small letter;
            // the markers go on with a blank and a capital.
            if (marker.size() > 2 && (rest[1] != marker[1] || rest[2] != marker[2]))
                continue;
            if (rest.first(marker.size()) == marker)
                return true;
        }
        return false;
    }

    const char16_t* data_;
    qsizetype size_;
    std::initializer_list<QStringView> markers_;
    const std::function<void(const ChatLine&)>& visit_;
    char16_t first_;
    qsizetype lineStart_ = 0;
    bool marked_ = false;
    qsizetype stop_ = 0;
};

} // namespace

void walkMarkedLines(Tokenizer& tokenizer, const QString& text,
                     std::initializer_list<QStringView> markers,
                     const std::function<void(const ChatLine&)>& visit) {
    if (text.isEmpty())
        return; // an empty text starts no walk, so an old remainder is not walked
    tokenizer.start(text);
    tokenizer.cutTo(Walk(text, markers, visit).run());
}

} // namespace jackwell
