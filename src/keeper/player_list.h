#pragma once

// Who plays: the robot's --players listing, made from the ledger rows any store reads.

#include "books/ledger_audit.h"

#include <QStringList>

namespace jackwell::keeper {

// One line per player, sorted by their books name: "NAME credits=C games=G tokens=T last=TIME",
// TIME the time of their last game in UTC ("2026-01-31T17:02:03Z"), "-" before their first,
// "unknown" when it was booked before the books kept times. Control characters in a name are
// written out.
QStringList listPlayers(const books::Ledger& rows);

} // namespace jackwell::keeper
