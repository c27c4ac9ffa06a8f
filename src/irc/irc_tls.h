#pragma once

#include <QString>

class QSslSocket;

namespace jackwell {

struct IrcConfig;

// Sets up a socket for a TLS connection as the configuration asks: the peer's certificate is
// checked against the system's authorities and those of `tlsca`, and the client certificate of
// `tlscert` and `tlskey` is shown. False, with `error` naming the file and the fault, when a
// file cannot be read, is larger than 1 MiB or holds no certificate or key.
bool prepareTls(QSslSocket& socket, const IrcConfig& config, QString* error);

} // namespace jackwell
