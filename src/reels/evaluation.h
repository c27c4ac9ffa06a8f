#pragma once

#include <QString>

namespace jackwell {

// The win table, compared as text: any reel on cherries ("14"), or all three
// reels on the same symbol "1".."13". Anything else, "0" and "07" included, loses.
bool isWinningDraw(const QString& a, const QString& b, const QString& c);

} // namespace jackwell
