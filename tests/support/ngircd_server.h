#pragma once

// A private IRC server for tests: Debian's ngircd with its own configuration in a temporary
// folder, listening on 127.0.0.1 on a free port, run in the foreground (see TestServer).

#include "support/test_server.h"

namespace jackwell::testing {

class NgircdServer : public TestServer {
public:
    struct Options {
        bool floodThrottling = true; // false: MaxPenaltyTime = 0
        int pingTimeoutSeconds = 120;
        int pongTimeoutSeconds = 20;
        bool tls = false; // also listen for TLS, with a fresh self-signed certificate
        // An IRC operator that may log in with OPER (none when the name is empty).
        QByteArray operName = {};
        QByteArray operPassword = {};
        QByteArray serverPassword = {}; // none when empty
    };

    static inline const QByteArray kServerName = "irc.test.local";

    NgircdServer()
        : NgircdServer(Options{}) {}
    explicit NgircdServer(Options options);

    // Starts the server, waits until it accepts connections; on a free port, the same each start.
    bool start(QString* error);
    // SIGTERM (SIGKILL if it lingers), and the wait for its end.
    void stop() { end(process_); }
    quint16 port() const { return port_; }
    // The TLS port and the certificate the server shows there (Options::tls).
    quint16 tlsPort() const { return tlsPort_; }
    QString certificatePath() const { return path("cert.pem"); }

    // True when ngircd is there, installing it if it is missing.
    static bool ensureInstalled(QString* error);

private:
    QString globalExtras() const;
    bool writeConfig(QString* error);
    bool makeCertificate(QString* error);
    bool launch(QString* error);

    Options options_;
    quint16 port_ = 0;
    quint16 tlsPort_ = 0;
};

} // namespace jackwell::testing
