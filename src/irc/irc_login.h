#pragma once

#include "irc/irc_config.h"
#include "irc/irc_message.h"

#include <QByteArray>
#include <QList>
#include <QMap>
#include <QSet>
#include <QString>

namespace jackwell {

// The capabilities this program asks a server for, where it offers them: the login itself, the
// services account on each message and on each join, account changes, tags at all, and the
// time a message was sent.
inline const QList<QByteArray> kWantedCapabilities = {
    "sasl", "account-tag", "extended-join", "account-notify", "message-tags", "server-time"};

// The first part of every registration: capability negotiation (CAP LS 302, one CAP REQ per
// wanted capability on offer, CAP END) and, when the configuration asks for it, the SASL login
// (PLAIN with an account and password, or EXTERNAL with the client certificate). It only reads
// messages and says what to send, so the connection stays in charge of the socket.
//
// A server that knows no CAP registers as before; but a configured login that does not succeed,
// for whatever reason, refuses the connection: the program never goes on logged out unawares.
//
// A server that draws the negotiation out (a capability list that never ends, a login asked for
// over and over) fails the attempt: it is tried again later like any lost connection.
class IrcLogin {
public:
    // Failed: this attempt, not the login, went wrong (see refusal() for why).
    enum class Outcome { Negotiating, Done, Refused, Failed };
    static constexpr int kMostCapListLines = 16;
    static constexpr qsizetype kMostCapabilities = 200;
    // PLAIN and EXTERNAL each need one round; one more is allowed.
    static constexpr int kMostLoginRounds = 2;

    explicit IrcLogin(const IrcConfig& config);

    // The lines that open the negotiation, before PASS, NICK and USER.
    QList<QByteArray> begin();
    // Takes a message received during registration; returns the lines to send in answer.
    QList<QByteArray> take(const IrcMessage& message);
    // The server's welcome arrived: whatever was not settled by then is settled now (a login
    // asked for and not done is refused).
    void registrationDone();

    Outcome outcome() const { return outcome_; }
    // Why the login was refused, for the player or the operator; never the password.
    const QString& refusal() const { return refusal_; }
    bool loginWanted() const { return config_.sasl != IrcConfig::Sasl::None; }
    // The account the server logged us in as (empty when none).
    const QByteArray& account() const { return account_; }
    const QMap<QByteArray, QByteArray>& offered() const { return offered_; }
    const QSet<QByteArray>& enabled() const { return enabled_; }

    // The AUTHENTICATE lines that carry a PLAIN login: the base64 of "account NUL account NUL
    // password" in pieces of 400 characters, and "+" after a last piece of exactly 400.
    static QList<QByteArray> plainResponseLines(const QByteArray& account,
                                                const QByteArray& password);

private:
    QList<QByteArray> onCap(const IrcMessage& message);
    QList<QByteArray> afterRequests();
    QList<QByteArray> refuse(const QString& why);
    QList<QByteArray> fail(const QString& why);
    QList<QByteArray> finish();
    QByteArray mechanism() const;

    IrcConfig config_;
    Outcome outcome_ = Outcome::Negotiating;
    QString refusal_;
    QMap<QByteArray, QByteArray> offered_;
    QSet<QByteArray> enabled_;
    QByteArray account_;
    int requestsOpen_ = 0;
    int capListLines_ = 0;
    int loginRounds_ = 0;
    bool authenticating_ = false; // AUTHENTICATE sent (read only until the login has its outcome)
};

} // namespace jackwell
