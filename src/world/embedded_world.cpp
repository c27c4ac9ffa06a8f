#include "world/embedded_world.h"

#include "clock/clock.h"
#include "machine/texts.h"

#include <QDir>

namespace jackwell {

namespace world {

namespace {

constexpr qsizetype kLongestEchoedName = 64;

quint64 freshSeed() {
    std::random_device device;
    return (quint64(device()) << 32) ^ device();
}

// The world's answer to a private message for an avatar that cannot take it. A name that
// could make the line read as a message of the machinekeeper's is not repeated.
QString undeliverableNotice(const QString& recipient, bool isBystander) {
    const bool echo = recipient.size() <= kLongestEchoedName && !recipient.contains(u':');
    if (isBystander && echo)
        return recipient + QStringLiteral(" is not taking private messages.");
    if (echo)
        return QStringLiteral("There is no avatar named %1 here.").arg(recipient);
    return QStringLiteral("There is no avatar by that name here.");
}

} // namespace

EmbeddedWorld::EmbeddedWorld(Clock& clock, EmbeddedWorldConfig config)
    : clock_(clock)
    , config_(std::move(config))
    , random_(config_.seed.value_or(freshSeed()))
    , keeper_(config_.keeperName, books_, random_()) {
    if (config_.publicLife)
        life_ = std::make_unique<PublicLife>(*this, clock_, random_(), config_.lifePace);
    replyAlarm_ = clock_.createAlarm([this] { answerNext(); });
    setPrivateMessageHook([this](const QString& recipient, const QString& text) {
        onPrivateMessage(recipient, text);
    });
}

EmbeddedWorld::~EmbeddedWorld() = default;

bool EmbeddedWorld::open(EventSink events) {
    if (!ChatWorld::open(std::move(events)))
        return false;
    if (!greeted_) {
        greeted_ = true;
        for (const QString& line : keeper_.bannerLines())
            appendPublic(keeper_.name(), line);
    }
    if (life_)
        life_->start();
    return true;
}

// Not with the world itself: the program opens its windows first, and asks for the books once
// they are painted.
void EmbeddedWorld::openBooks() {
    if (booksOpened_ || config_.booksPath.isEmpty() || !isOpen())
        return;
    booksOpened_ = true;
    booksNotice_ = books_.openFile(config_.booksPath, QDateTime::currentDateTime());
    if (!booksNotice_.isEmpty())
        appendSystem(booksNotice_);
}

void EmbeddedWorld::close() {
    replyAlarm_->stop();
    inbox_.clear();
    if (life_)
        life_->stop();
    ChatWorld::close();
}

void EmbeddedWorld::sayInPublic(const QString& text) {
    ChatWorld::sayInPublic(text);
    if (life_ && isOpen() && !text.isEmpty())
        life_->playerSpoke();
}

void EmbeddedWorld::onPrivateMessage(const QString& recipient, const QString& text) {
    openBooks();
    if (life_)
        life_->playerSpoke();
    if (recipient.compare(keeper_.name(), Qt::CaseInsensitive) != 0) {
        appendSystem(undeliverableNotice(recipient, life_ && life_->isPresent(recipient)));
        reportGone(recipient);
        return;
    }
    inbox_.push_back(text);
    scheduleReply();
}

// One message is answered at a time, so answers keep the order of the messages.
void EmbeddedWorld::scheduleReply() {
    if (replyAlarm_->isActive() || inbox_.empty() || awaitingDisk_)
        return;
    std::uniform_int_distribution<int> delay(config_.replyDelayMinMs, config_.replyDelayMaxMs);
    replyAlarm_->start(delay(random_));
}

void EmbeddedWorld::answerNext() {
    if (inbox_.empty())
        return;
    const QString text = inbox_.front();
    inbox_.pop_front();
    // The books answer on this world's thread, and not after the world is gone.
    awaitingDisk_ = true;
    std::vector<machine::Reply> replies = keeper_.onPrivateMessage(ownName(), text);
    if (const QString notice = books_.takeNotice(); !notice.isEmpty())
        appendSystem(notice);
    books_.whenDurable(
        [this, replies = std::move(replies)](bool durable) { tell(replies, durable); });
}

void EmbeddedWorld::tell(const std::vector<machine::Reply>& replies, bool durable) {
    awaitingDisk_ = false;
    if (!isOpen())
        return; // booked, but the world closed meanwhile: nobody is told
    if (!durable) {
        // What the books took may be lost: the player hears nothing of it.
        appendSystem(QStringLiteral("%1's books %2 could not be made safe on the disk.")
                         .arg(keeper_.name(), books_.filePath()));
        appendPrivateFrom(keeper_.name(), machine::kOutOfOrder);
        scheduleReply();
        return;
    }
    for (const machine::Reply& reply : replies) {
        if (reply.isPublic)
            appendPublic(keeper_.name(), reply.text);
        else if (reply.to == ownName())
            appendPrivateFrom(keeper_.name(), reply.text);
    }
    scheduleReply();
}

KeptGames::Reading EmbeddedWorld::readKeptGames() {
    Reading read;
    RivetBooks& books = rivetBooks();
    const QString file = books.filePath();
    read.source =
        file.isEmpty()
            ? QStringLiteral("%1's books, kept in memory until the card closes").arg(keeper_.name())
            : QStringLiteral("%1's books in %2")
                  .arg(keeper_.name(), QDir::toNativeSeparators(file));
    const auto games = books.games(ownName(), &read.problem);
    for (const machine::GameOutcome& game : games.value_or(std::vector<machine::GameOutcome>{}))
        read.games.push_back({game.tokensWon, game.creditsAfter, game.cost});
    return read;
}

} // namespace world

std::unique_ptr<ChatPort> makeEmbeddedWorld(Clock& clock, const QString& booksPath) {
    world::EmbeddedWorldConfig config;
    config.booksPath = booksPath;
    return std::make_unique<world::EmbeddedWorld>(clock, config);
}

} // namespace jackwell
