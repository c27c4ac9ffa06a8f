#pragma once

#include <QtGlobal>

#include <utility>

namespace jackwell::keeper {

// Puts `key` in `hash`, first emptying a hash that already holds `most` other keys: what the
// robot learnt of many players is learnt again when it is next needed, and a stream of new
// names never grows the hash past its bound.
template <typename Hash, typename Key, typename Value>
void insertBounded(Hash& hash, const Key& key, Value value, qsizetype most) {
    if (hash.size() >= most && !hash.contains(key))
        hash.clear();
    hash.insert(key, std::move(value));
}

} // namespace jackwell::keeper
