#pragma once

#include "keeper/keeper_log.h"
#include "keeper/keeper_send_queue.h"

#include <QByteArray>

#include <functional>
#include <memory>

namespace jackwell {

class Alarm;
class Clock;
class IrcConnection;
struct IrcMessage;

namespace keeper {

struct KeeperConfig;

// When the robot begins to speak on a new connection, and at which pace. With operator
// credentials it first asks the server to exempt it from flood limits (OPER, then MODE +F) and,
// once exempt, speaks at the faster pace; until the server has answered the MODE, it says
// nothing, so that no line of its sits behind the server's penalty for those commands. An OPER
// the server refused is not tried again before the robot is restarted.
class KeeperFloodExemption {
public:
    // How long to wait for the server's answer to OPER and MODE +F (a server may make a client
    // whose OPER failed wait about ten seconds).
    static constexpr int kExemptionWaitMs = 20000;

    // Opens `queue` when the robot may speak, sets its pace and then calls `speaking`; `clock`,
    // `connection` and `queue` must outlive this, which only keeps them until then.
    KeeperFloodExemption(Clock& clock, IrcConnection& connection, KeeperSendQueue& queue,
                         const KeeperConfig& config, KeeperLogger log,
                         std::function<void()> speaking);
    ~KeeperFloodExemption();

    // The connection is registered: asks for exemption, or lets the robot speak at once.
    void registered();
    // The server's answers to OPER and MODE; any other message is passed over.
    void take(const IrcMessage& message);
    // The connection was lost: the next one asks again.
    void lost();
    // Takes the paces (pace, fastpace) of `fresh`.
    void reconfigure(const KeeperConfig& fresh);

    bool isExempt() const { return exempt_; }
    // Registered, and waiting for the server's answer before speaking.
    bool isAwaiting() const { return awaiting_; }
    // The pace to speak at now: the fast one once exempt.
    KeeperSendQueue::Pace pace() const;

private:
    void beginSpeaking(bool exempt);

    IrcConnection& connection_;
    KeeperSendQueue& queue_;
    KeeperLogger log_;
    std::function<void()> speaking_;
    std::unique_ptr<Alarm> alarm_;
    QByteArray operName_; // empty: no operator credentials
    QByteArray operPassword_;
    int ordinaryPace_;
    int fastPace_;
    bool awaiting_ = false;
    bool operRefused_ = false;
    bool exempt_ = false;
};

} // namespace keeper
} // namespace jackwell
