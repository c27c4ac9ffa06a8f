#pragma once

#include <QString>

namespace jackwell {

// The files the card uses, where each one is for this executable and whether it is there yet,
// one a line under a "Files:" heading: for --help and the About box.
QString fileLocationsText(const QString& executableDir);

} // namespace jackwell
