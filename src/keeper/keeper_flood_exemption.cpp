#include "keeper/keeper_flood_exemption.h"

#include "clock/clock.h"
#include "irc/irc_connection.h"
#include "irc/irc_numerics.h"
#include "keeper/keeper_config.h"

#include <algorithm>

namespace jackwell::keeper {

namespace {

bool isOperRefusal(const QByteArray& command) {
    // Wrong password, no operator block for us.
    return command == irc_numeric::passwordMismatch || command == irc_numeric::noOperHost;
}

// Answers to MODE +F that refuse it: no privilege, unknown mode.
bool isExemptionRefusal(const QByteArray& command) {
    return command == irc_numeric::noPrivileges || command == irc_numeric::unknownMode ||
           command == irc_numeric::userModeUnknownFlag || command == irc_numeric::usersDontMatch;
}

// Whether a mode string ("+F", "+iF-o") sets F.
bool setsFloodExemption(QByteArrayView modes) {
    bool adding = true;
    for (const char c : modes) {
        if (c == '+' || c == '-')
            adding = c == '+';
        else if (c == 'F' && adding)
            return true;
    }
    return false;
}

} // namespace

KeeperFloodExemption::KeeperFloodExemption(Clock& clock, IrcConnection& connection,
                                           KeeperSendQueue& queue, const KeeperConfig& config,
                                           KeeperLogger log, std::function<void()> speaking)
    : connection_(connection)
    , queue_(queue)
    , log_(std::move(log))
    , speaking_(std::move(speaking))
    , operName_(config.operName)
    , operPassword_(config.operPassword)
    , ordinaryPace_(config.pace)
    , fastPace_(config.fastPace) {
    alarm_ = clock.createAlarm([this] {
        log_(QtWarningMsg, QStringLiteral("no answer to the request for flood exemption; speaking "
                                          "at the ordinary pace"));
        beginSpeaking(false);
    });
}

KeeperFloodExemption::~KeeperFloodExemption() = default;

void KeeperFloodExemption::registered() {
    if (operName_.isEmpty() || operRefused_) {
        beginSpeaking(false);
        return;
    }
    awaiting_ = true;
    connection_.send(ircLine("OPER", {operName_, operPassword_}));
    connection_.send(ircLine("MODE", {connection_.nick(), "+F"}));
    queue_.noteSentElsewhere(2);
    alarm_->start(kExemptionWaitMs);
}

void KeeperFloodExemption::take(const IrcMessage& message) {
    const QByteArray& command = message.command;
    if (command == "MODE") {
        if (!awaiting_ || !sameNickname(message.param(0), connection_.nick()))
            return;
        for (qsizetype i = 1; i < message.params.size(); ++i) {
            if (setsFloodExemption(message.params[i])) {
                log_(QtInfoMsg, QStringLiteral("exempt from flood limits; speaking at %1 lines a "
                                               "second")
                                    .arg(fastPace_));
                beginSpeaking(true);
                return;
            }
        }
    } else if (command == irc_numeric::youreOper) {
        log_(QtInfoMsg, QStringLiteral("operator status granted"));
    } else if (awaiting_ && isOperRefusal(command)) {
        // The server punishes a failed OPER with a long pause; the answer to MODE shows when
        // it is over.
        log_(QtWarningMsg,
             QStringLiteral("operator login refused (%1 %2); not trying it again")
                 .arg(QString::fromLatin1(command), QString::fromUtf8(message.last().left(100))));
        operRefused_ = true;
    } else if (awaiting_ && isExemptionRefusal(command)) {
        log_(QtWarningMsg,
             QStringLiteral("flood exemption refused (%1 %2); speaking at the ordinary pace")
                 .arg(QString::fromLatin1(command), QString::fromUtf8(message.last().left(100))));
        beginSpeaking(false);
    }
}

void KeeperFloodExemption::beginSpeaking(bool exempt) {
    awaiting_ = false;
    alarm_->stop();
    exempt_ = exempt;
    queue_.setPace(pace());
    queue_.setOpen(true);
    if (speaking_)
        speaking_();
}

void KeeperFloodExemption::lost() {
    awaiting_ = false;
    exempt_ = false;
    alarm_->stop();
}

void KeeperFloodExemption::reconfigure(const KeeperConfig& fresh) {
    ordinaryPace_ = fresh.pace;
    fastPace_ = fresh.fastPace;
    if (queue_.isOpen())
        queue_.setPace(pace());
}

// Once exempt, the pace is kept over about a tenth of a second, so that a busy second goes out
// evenly instead of all at once and then nothing until the second is over.
KeeperSendQueue::Pace KeeperFloodExemption::pace() const {
    if (!exempt_)
        return {ordinaryPace_, KeeperSendQueue::kOrdinaryWindowMs};
    const int lines = std::max(1, fastPace_ / 10);
    return {lines, std::max(1, lines * 1000 / fastPace_)};
}

} // namespace jackwell::keeper
