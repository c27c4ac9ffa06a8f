#pragma once

// The line walk of the three handlers, done in one pass over the chat text.
// A handler acts only on lines that carry one of its markers, so the walk
// hands over just those lines; every other line would have been left alone.

#include "protocol/chat_lines.h"
#include "protocol/tokenizer.h"

#include <functional>
#include <initializer_list>

namespace jackwell {

// Walks `text` line by line (lines end at CR LF), first line first, up to the
// first empty line or the end, and calls visit(ChatLine) for each line that
// holds at least one of `markers` anywhere (before normalising; the visitor
// still tests the normalised line). The markers must share their first
// character. An empty text walks nothing and leaves `tokenizer` alone; any other
// text is cut up to just behind the empty line that ended the walk, or wholly.
void walkMarkedLines(Tokenizer& tokenizer, const QString& text,
                     std::initializer_list<QStringView> markers,
                     const std::function<void(const ChatLine&)>& visit);

} // namespace jackwell
