#pragma once

#include <QString>

namespace jackwell {

// Opens the file at path for reading and closes it again without reading
// anything: the test a chosen sound or picture file must pass before it is
// taken. On failure gives false and, in `message`, a text for the player that
// names the file and the reason.
bool checkReadable(const QString& path, QString* message);

} // namespace jackwell
