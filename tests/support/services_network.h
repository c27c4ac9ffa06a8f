#pragma once

// A private IRC network with services for tests: Debian's InspIRCd with Anope linked to it, their
// own configuration in a temporary folder, on 127.0.0.1 at free ports, in the foreground (see
// TestServer). SASL (PLAIN and EXTERNAL), account-tag and extended-join (each unless left out),
// account-notify, MONITOR, NickServ REGISTER and LOGOUT are on; kOperName may SANICK anyone.

#include "support/test_server.h"

namespace jackwell::testing {

class ServicesNetwork : public TestServer {
public:
    static constexpr const char* kOperName = "netop";
    static constexpr const char* kOperPassword = "netoppass";

    // What the server tells its clients of accounts besides SASL and account-notify.
    struct Offers {
        bool accountTags = true;
        bool extendedJoin = true;
    };

    ServicesNetwork();
    explicit ServicesNetwork(Offers offers);
    ~ServicesNetwork() { stop(); }

    // Starts the server, then the services, and waits (a bounded time) until NickServ answers.
    bool start(QString* error);
    // Stops the services, then the server (SIGTERM, then SIGKILL if they linger).
    void stop();
    quint16 port() const { return port_; }

    // Registers `account` with NickServ on its own connection (a password of 5 or more, not it).
    bool registerAccount(const QByteArray& account, const QByteArray& password, QString* error);

    // True when InspIRCd and Anope are there, installing them if they are missing.
    static bool ensureInstalled(QString* error);

private:
    bool writeConfig(QString* error);

    Offers offers_;
    quint16 port_ = 0;
    quint16 linkPort_ = 0;
    std::unique_ptr<QProcess> services_;
};

} // namespace jackwell::testing
