#pragma once

#include "load_capacity.h"

#include <QString>

#include <vector>

namespace jackwell::load {

// A capacity run's steps as a table of comma-separated values, headed by `label` (say, "1 robot,
// SQLite"); false, with `error`, when the file cannot be written.
bool writeCapacityTable(const QString& path, const QString& label,
                        const std::vector<CapacityStep>& steps, QString* error);

// Every table `folder` holds (capacity-*.csv) drawn into one picture at `png`: booked against
// offered games a second, and the p99 latency against the same, with each configuration's knee.
bool drawCapacityChart(const QString& folder, const QString& png, QString* error);

} // namespace jackwell::load
