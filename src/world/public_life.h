#pragma once

#include <QString>
#include <QStringList>

#include <memory>
#include <random>

namespace jackwell {

class Alarm;
class ChatWorld;
class Clock;

namespace world {

// The embedded world's bystanders: now and then another avatar says something in public, one
// comes or goes, or the world posts a notice, so that the chat text reads like a real world's.
// None of the bystanders' lines carries a machinekeeper marker; one of the world's notices
// does, as a real world's might, and the player's program must pass it over because its
// speaker is "<system>".
//
// So that a card left open all night does not fill its chat text with chatter, the world falls
// quiet after `quietAfterLines` lines in a row without a word from the player, and wakes again
// when the player next speaks.
class PublicLife {
public:
    struct Pace {
        int minGapMs = 20'000;
        int maxGapMs = 60'000;
        int quietAfterLines = 60;
    };

    // `log` and `clock` must outlive this object.
    PublicLife(ChatWorld& log, Clock& clock, quint64 seed, Pace pace);
    ~PublicLife();

    void start();
    void stop();
    // The player sent something: the bystanders take up their chatter again if they had fallen
    // quiet.
    void playerSpoke();

    // Whether `name` is one of the bystanders in the world just now.
    bool isPresent(const QString& name) const;

    // The notice that carries a machinekeeper marker, as it stands in the log.
    static QString markedNotice();

private:
    void scheduleNext();
    void sayOneLine();
    QString pick(const QStringList& from);

    ChatWorld& log_;
    Pace pace_;
    std::mt19937_64 random_;
    std::unique_ptr<Alarm> alarm_;
    QStringList present_; // bystanders in the world now
    QStringList away_;    // bystanders who may come in
    bool running_ = false;
    int linesSincePlayer_ = 0;
};

} // namespace world
} // namespace jackwell
