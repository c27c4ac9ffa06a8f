#pragma once

#include <QString>

namespace jackwell {

// The folder that holds the program's bundled data (its sounds/ folder). In the build tree that
// is the executable's own folder; installed it is ../share/jackwell beside the executable's
// folder, so that an install under any prefix finds its data.
QString jackwellDataDir();
QString jackwellDataDir(const QString& executableDir);

} // namespace jackwell
