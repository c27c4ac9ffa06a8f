#include "world/public_life.h"

#include "clock/clock.h"
#include "machine/texts.h"
#include "world/chat_world.h"

namespace jackwell::world {

namespace {

// What bystanders say. None of it may look like one of the machinekeeper's messages.
const QStringList kChatter = {
    QStringLiteral("Has anyone seen the new fountain in the square?"),
    QStringLiteral("Three bells last night. Still grinning."),
    QStringLiteral("brb, kettle's on"),
    QStringLiteral("Cherries again. Small wins are still wins!"),
    QStringLiteral("Anyone up for a walk to the lighthouse later?"),
    QStringLiteral("The lag is terrible today."),
    QStringLiteral("Good luck at the machine, everyone."),
    QStringLiteral("Who keeps leaving teacups on the pier?"),
    QStringLiteral("I held two sevens and got a lemon. Typical."),
    QStringLiteral("Evening all."),
    QStringLiteral("Does the machine ever sleep?"),
    QStringLiteral("lol"),
};

const QStringList kBystanders = {
    QStringLiteral("Mabel"), QStringLiteral("Oskar"), QStringLiteral("Tamsin"),
    QStringLiteral("Jory"),  QStringLiteral("Wren"),
};

} // namespace

PublicLife::PublicLife(ChatWorld& log, Clock& clock, quint64 seed, Pace pace)
    : log_(log)
    , pace_(pace)
    , random_(seed)
    , present_(kBystanders.mid(0, 2))
    , away_(kBystanders.mid(2)) {
    pace_.minGapMs = qMax(1, pace_.minGapMs);
    pace_.maxGapMs = qMax(pace_.minGapMs, pace_.maxGapMs);
    alarm_ = clock.createAlarm([this] { sayOneLine(); });
}

PublicLife::~PublicLife() = default;

QString PublicLife::markedNotice() {
    return QStringLiteral("<system>: ") + machine::kKeeperHead +
           QStringLiteral(" always on duty here; write to it privately to play.");
}

bool PublicLife::isPresent(const QString& name) const {
    return present_.contains(name, Qt::CaseInsensitive);
}

void PublicLife::start() {
    running_ = true;
    linesSincePlayer_ = 0;
    scheduleNext();
}

void PublicLife::stop() {
    running_ = false;
    alarm_->stop();
}

void PublicLife::playerSpoke() {
    const bool wasQuiet = linesSincePlayer_ >= pace_.quietAfterLines;
    linesSincePlayer_ = 0;
    if (running_ && wasQuiet)
        scheduleNext();
}

void PublicLife::scheduleNext() {
    if (!running_ || linesSincePlayer_ >= pace_.quietAfterLines)
        return;
    std::uniform_int_distribution<int> gap(pace_.minGapMs, pace_.maxGapMs);
    alarm_->start(gap(random_));
}

QString PublicLife::pick(const QStringList& from) {
    std::uniform_int_distribution<qsizetype> index(0, from.size() - 1);
    return from.at(index(random_));
}

void PublicLife::sayOneLine() {
    const int roll = std::uniform_int_distribution<int>(0, 99)(random_);
    if (roll < 15) {
        log_.appendLine(markedNotice());
    } else if (roll < 30 && !away_.isEmpty()) {
        const QString name = pick(away_);
        away_.removeOne(name);
        present_.append(name);
        log_.appendSystem(name + QStringLiteral(" has entered the world."));
    } else if (roll < 45 && present_.size() > 1) {
        const QString name = pick(present_);
        present_.removeOne(name);
        away_.append(name);
        log_.appendSystem(name + QStringLiteral(" has left the world."));
    } else {
        log_.appendPublic(pick(present_), pick(kChatter));
    }
    ++linesSincePlayer_;
    scheduleNext();
}

} // namespace jackwell::world
