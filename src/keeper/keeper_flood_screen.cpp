#include "keeper/keeper_flood_screen.h"

#include "clock/clock.h"

#include <algorithm>

namespace jackwell::keeper {

void KeeperFloodScreen::screen(const QByteArray& prefix, qint64 forMs) {
    const qint64 until = clock_.monotonicMs() + forMs;
    auto entry = std::ranges::find(screened_, prefix, &Screened::prefix);
    if (entry == screened_.end() && qsizetype(screened_.size()) < kScreenedAtMost)
        entry = screened_.insert(screened_.end(), Screened{prefix, 0});
    else if (entry == screened_.end())
        entry = std::ranges::min_element(screened_, {}, &Screened::untilMs);
    *entry = Screened{prefix, until};
}

bool KeeperFloodScreen::screensOut(QByteArrayView line) const {
    if (screened_.empty())
        return false;
    if (line.startsWith('@')) { // tags first: the prefix follows them
        const qsizetype blank = line.indexOf(' ');
        line = blank < 0 ? QByteArrayView() : line.sliced(blank + 1);
    }
    for (const Screened& entry : screened_) {
        if (line.startsWith(entry.prefix))
            return clock_.monotonicMs() < entry.untilMs;
    }
    return false;
}

} // namespace jackwell::keeper
