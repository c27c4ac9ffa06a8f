#pragma once

// A port for a test's own server on the loopback address.

#include <QHostAddress>
#include <QTcpServer>

namespace jackwell::testing {

// A port nobody listens on at this moment (0 when none can be had).
inline quint16 freeLoopbackPort() {
    QTcpServer probe;
    if (!probe.listen(QHostAddress::LocalHost, 0))
        return 0;
    return probe.serverPort();
}

} // namespace jackwell::testing
