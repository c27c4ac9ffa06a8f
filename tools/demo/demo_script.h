#pragma once

#include "shell/card_layout.h"
#include "sound/beeper.h"
#include "sound/sound_player.h"

#include <QDir>
#include <QObject>
#include <QString>

#include <functional>
#include <vector>

namespace jackwell {

class Card;
class JackwellApp;
class VirtualClock;

namespace world {
class EmbeddedWorld;
}

namespace demo {

// Sounds the card would play, written to the demo's output instead.
class SoundLog final : public SoundPlayer, public Beeper {
public:
    QString lastPlayed;
    int beeps = 0;
    void playSound(const QString& filename, bool repeat) override;
    void stopSound() override {}
    void beep() override { ++beeps; }
};

// Scripted games on the real window against the embedded world, in virtual time, until one
// wins: each step clicks the card's hot spots and lets time pass until the card is done with
// the click; the steps run one per turn of the event loop, so the windows render between them.
class DemoScript : public QObject {
public:
    DemoScript(JackwellApp& app, world::EmbeddedWorld& world, VirtualClock& clock, QDir outputDir);

    // Runs the steps; `finished(ok)` is called after the last one or the first that fails.
    void run(std::function<void(bool ok)> finished);

private:
    void next();
    bool click(CardLabelRole button, const char* caption);
    bool waitUntil(const std::function<bool()>& done, const char* what);
    bool picture(const QString& file, const QString& title);
    // Saves `picture` as `file` of the output folder and says where, or that it could not.
    bool save(const QImage& picture, const QString& file) const;
    bool checkCreditsAgainstBooks();
    void say(const QString& text) const;

    bool getHost();
    bool registerAndStart();
    bool holdAndFinish();
    bool evaluation();
    bool startNextGame();
    bool cardAndChat();
    bool statistics();
    bool otherWindows();
    bool printChatLog();

    JackwellApp& app_;
    Card& card_;
    world::EmbeddedWorld& world_;
    VirtualClock& clock_;
    QDir outputDir_;
    std::vector<std::function<bool()>> steps_;
    std::size_t nextStep_ = 0;
    std::function<void(bool)> finished_;
    int cardChanges_ = 0;
    bool anotherGame_ = false; // the last game won nothing: play one more
};

} // namespace demo
} // namespace jackwell
