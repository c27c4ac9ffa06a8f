#pragma once

// A private IRC server for tests: Debian's ngircd with its own configuration
// in a temporary folder, listening on 127.0.0.1 on a free port, run in the
// foreground as a child process and stopped by its PID. Installed first when
// missing (through scripts/install-deps.sh, which keeps the package from
// starting a system service).

#include <QByteArray>
#include <QProcess>
#include <QString>
#include <QTemporaryDir>

#include <memory>

namespace jackwell::testing {

class NgircdServer {
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

    static inline const QString kHost = QStringLiteral("127.0.0.1");
    static inline const QByteArray kServerName = "irc.test.local";

    NgircdServer();
    explicit NgircdServer(Options options);
    ~NgircdServer();

    // Starts the server and waits until it accepts connections. The first
    // start picks a free port; later starts use the same one.
    bool start(QString* error);
    // Stops it (SIGTERM, then SIGKILL if it lingers) and waits for its end.
    void stop();
    bool isRunning() const;
    quint16 port() const { return port_; }
    // The TLS port and the certificate the server shows there (Options::tls).
    quint16 tlsPort() const { return tlsPort_; }
    QString certificatePath() const;
    // What the server printed since its latest start, for failure messages.
    QString output() const;

    // True when ngircd is there, installing it if it is missing.
    static bool ensureInstalled(QString* error);

private:
    bool writeConfig(QString* error);
    bool makeCertificate(QString* error);
    bool launch(QString* error);
    QByteArray logText() const;

    Options options_;
    QTemporaryDir dir_;
    quint16 port_ = 0;
    quint16 tlsPort_ = 0;
    std::unique_ptr<QProcess> process_;
    QByteArray output_;
};

} // namespace jackwell::testing
