#pragma once

// A private Prometheus server for tests: Debian's prometheus with its data in a temporary folder,
// listening on 127.0.0.1 on a free port and scraping one target every second (see TestServer).

#include "support/test_server.h"

#include <optional>

namespace jackwell::testing {

class PrometheusServer : public TestServer {
public:
    PrometheusServer()
        : TestServer({"prometheus.log"}) {}
    ~PrometheusServer() { end(process_); }

    // Starts the server, scraping http://127.0.0.1:`target`/metrics, and waits until it serves.
    bool start(quint16 target, QString* error);
    // The value of `query` now, through the server's HTTP API; nullopt when it has none.
    std::optional<double> query(const QString& query) const;

    // True when prometheus is there, installing it if it is missing.
    static bool ensureInstalled(QString* error);

private:
    quint16 port_ = 0;
};

} // namespace jackwell::testing
