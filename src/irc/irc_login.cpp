#include "irc/irc_login.h"

#include "irc/irc_numerics.h"

namespace jackwell {

namespace {

constexpr qsizetype kAuthenticatePiece = 400;

bool isLoginFailure(const QByteArray& command) {
    return command == irc_numeric::nickLocked || command == irc_numeric::saslFail ||
           command == irc_numeric::saslTooLong || command == irc_numeric::saslAborted ||
           command == irc_numeric::saslAlready;
}

} // namespace

IrcLogin::IrcLogin(const IrcConfig& config)
    : config_(config) {}

QList<QByteArray> IrcLogin::plainResponseLines(const QByteArray& account,
                                               const QByteArray& password) {
    const QByteArray response = (account + '\0' + account + '\0' + password).toBase64();
    QList<QByteArray> lines;
    for (qsizetype at = 0; at < response.size(); at += kAuthenticatePiece)
        lines.append(ircLine("AUTHENTICATE", {response.mid(at, kAuthenticatePiece)}));
    if (response.size() % kAuthenticatePiece == 0)
        lines.append(ircLine("AUTHENTICATE", {"+"}));
    return lines;
}

QByteArray IrcLogin::mechanism() const {
    return config_.sasl == IrcConfig::Sasl::External ? "EXTERNAL" : "PLAIN";
}

QList<QByteArray> IrcLogin::begin() {
    return {ircLine("CAP", {"LS", "302"})};
}

QList<QByteArray> IrcLogin::take(const IrcMessage& message) {
    if (outcome_ != Outcome::Negotiating)
        return {};
    const QByteArray& command = message.command;
    if (command == "CAP")
        return onCap(message);
    if (command == irc_numeric::unknownCommand && message.param(1).toUpper() == "CAP") {
        // A server from before capabilities: it registers us on NICK and USER alone.
        if (loginWanted())
            return refuse(QStringLiteral("the server offers no login (it knows no CAP)"));
        outcome_ = Outcome::Done;
        return {};
    }
    if (command == "AUTHENTICATE" && authenticating_ && message.param(0) == "+") {
        if (++loginRounds_ > kMostLoginRounds)
            return fail(QStringLiteral("the server asked for the login over and over"));
        if (config_.sasl == IrcConfig::Sasl::External)
            return {ircLine("AUTHENTICATE", {"+"})};
        return plainResponseLines(config_.saslAccount, config_.saslPassword);
    }
    if (command == irc_numeric::loggedIn) {
        account_ = message.param(2);
        return {};
    }
    if (command == irc_numeric::saslSuccess)
        return finish();
    if (authenticating_ && isLoginFailure(command)) {
        QByteArray reason = message.last().left(200);
        return refuse(
            QStringLiteral("the server refused the login%1: %2")
                .arg(config_.sasl == IrcConfig::Sasl::Plain
                         ? QStringLiteral(" as ") + QString::fromUtf8(config_.saslAccount.left(100))
                         : QStringLiteral(" with the client certificate"),
                     QString::fromUtf8(reason)));
    }
    return {};
}

QList<QByteArray> IrcLogin::onCap(const IrcMessage& message) {
    const QByteArray sub = message.param(1).toUpper();
    if (sub == "LS") {
        if (++capListLines_ > kMostCapListLines)
            return fail(QStringLiteral("the server's list of capabilities never ends"));
        const bool more = message.params.size() >= 4 && message.param(2) == "*";
        for (const QByteArray& item : message.last().split(' ')) {
            if (item.isEmpty())
                continue;
            if (offered_.size() >= kMostCapabilities)
                return fail(QStringLiteral("the server's list of capabilities never ends"));
            const qsizetype equals = item.indexOf('=');
            offered_.insert(equals < 0 ? item : item.left(equals),
                            equals < 0 ? QByteArray() : item.mid(equals + 1));
        }
        if (more)
            return {};
        QList<QByteArray> lines;
        for (const QByteArray& wanted : kWantedCapabilities) {
            if (!offered_.contains(wanted) || (wanted == "sasl" && !loginWanted()))
                continue;
            lines.append(ircLine("CAP", {"REQ"}, QByteArrayView(wanted)));
            ++requestsOpen_;
        }
        return lines.isEmpty() ? afterRequests() : lines;
    }
    if ((sub == "ACK" || sub == "NAK") && requestsOpen_ > 0) {
        if (sub == "ACK") {
            for (const QByteArray& item : message.last().split(' ')) {
                if (item.startsWith('-'))
                    enabled_.remove(item.mid(1));
                else if (!item.isEmpty())
                    enabled_.insert(item);
            }
        }
        return --requestsOpen_ == 0 ? afterRequests() : QList<QByteArray>{};
    }
    return {};
}

// Every request answered: log in, or end the negotiation.
QList<QByteArray> IrcLogin::afterRequests() {
    if (!loginWanted())
        return finish();
    if (!enabled_.contains("sasl"))
        return refuse(QStringLiteral("the server offers no SASL login"));
    const QByteArray mechanisms = offered_.value("sasl");
    if (!mechanisms.isEmpty() && !mechanisms.split(',').contains(mechanism()))
        return refuse(
            QStringLiteral("the server offers no SASL %1 login (only %2)")
                .arg(QString::fromLatin1(mechanism()), QString::fromUtf8(mechanisms.left(100))));
    authenticating_ = true;
    return {ircLine("AUTHENTICATE", {mechanism()})};
}

QList<QByteArray> IrcLogin::finish() {
    outcome_ = Outcome::Done;
    return {ircLine("CAP", {"END"})};
}

QList<QByteArray> IrcLogin::refuse(const QString& why) {
    outcome_ = Outcome::Refused;
    refusal_ = why;
    return {};
}

QList<QByteArray> IrcLogin::fail(const QString& why) {
    outcome_ = Outcome::Failed;
    refusal_ = why;
    return {};
}

void IrcLogin::registrationDone() {
    if (outcome_ != Outcome::Negotiating)
        return;
    if (loginWanted())
        refuse(QStringLiteral("the server registered the connection without a login"));
    else
        outcome_ = Outcome::Done;
}

} // namespace jackwell
