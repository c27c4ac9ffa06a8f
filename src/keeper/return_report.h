#pragma once

// What the machine pays, as the books show it: the robot's --report, made from the ledger rows
// any store reads.

#include "books/ledger_audit.h"

#include <QStringList>

namespace jackwell::keeper {

// Two lines saying what the figures are, then one line per player who has played, sorted by
// their books name, and one for the whole machine (named machine:total, which no player key can
// be):
//
//   NAME games=G staked=S paid=P return=R as-played=E±B best-holds=X±B no-holds=Y±B verdict=V
//
// Returns are tokens paid over tokens staked. as-played is the exact expectation for the first
// draws and holds the books hold (what the second draws should have paid); best-holds and
// no-holds are the machine's exact returns. Each ±B is the 95 % band (1.96 σ/√n, in percentage
// points) for the games counted. The verdict says where the measured return lies against the
// as-played band: as-expected, low or high; unknown when a game's draws cannot be read.
QStringList returnReport(const books::Ledger& ledger);

} // namespace jackwell::keeper
