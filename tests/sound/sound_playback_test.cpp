// Sound playback heard for real: a private sound server with a null output plays what the
// program asks for, and a recording of that output shows which sound played, for how long
// and in what order. Each sound of the tests is a pure tone of its own pitch, so a window of
// the recording tells which one was playing.

#include "card/card.h"
#include "chat/dapi.h"
#include "chat/transport.h"
#include "clock/virtual_clock.h"
#include "settings/options.h"
#include "sound/qt_sound_player.h"
#include "support/fakes.h"
#include "support/pulse_audio_server.h"
#include "support/wait_until.h"
#include "world/chat_world.h"

#include <QAudioDevice>
#include <QDir>
#include <QFile>
#include <QMediaDevices>
#include <QTemporaryDir>
#include <QtEndian>

#include <gtest/gtest.h>

#include <cmath>

namespace jackwell {
namespace {

using testing::PulseAudioServer;
using testing::runEventsFor;
using testing::waitUntil;

// The one sound server of this test program. Qt Multimedia connects to a sound server once,
// at its first use, so every test plays through the same server.
PulseAudioServer* server = nullptr;

class SoundServerEnvironment : public ::testing::Environment {
public:
    void SetUp() override {
        server = &server_;
        QString error;
        ASSERT_TRUE(server_.start(&error)) << error.toStdString();
    }
    void TearDown() override { server_.stop(); }

private:
    PulseAudioServer server_;
};
const auto* const environment = ::testing::AddGlobalTestEnvironment(new SoundServerEnvironment);

// The pitches of the sounds the tests play, and of the player's alert sound.
enum Tone { Long, Short, Win, Lose, Alert, kToneCount };
constexpr std::array<double, kToneCount> kPitch = {440, 660, 880, 330, 1000};
constexpr int kSilent = -1;
constexpr int kWindowMs = 40;
constexpr int kWaitMs = 10000; // the longest a test waits for a sound to be heard

// A wave file of one pure tone: 16-bit mono PCM at 44.1 kHz, fading in and out over 5 ms.
QByteArray toneWave(double hz, double seconds) {
    constexpr int kRate = 44100;
    const int frames = int(seconds * kRate);
    const int fade = kRate / 200;
    QByteArray data(frames * 2, '\0');
    for (int i = 0; i < frames; ++i) {
        const double gain = std::min({1.0, double(i) / fade, double(frames - 1 - i) / fade});
        const auto sample = qint16(std::lround(12000 * gain * std::sin(2 * M_PI * hz * i / kRate)));
        qToLittleEndian(sample, data.data() + 2 * i);
    }
    QByteArray wave = "RIFF" + QByteArray(4, '\0') + "WAVEfmt " + QByteArray(20, '\0') + "data" +
                      QByteArray(4, '\0') + data;
    char* header = wave.data();
    qToLittleEndian<quint32>(quint32(wave.size() - 8), header + 4);
    qToLittleEndian<quint32>(16, header + 16);        // format chunk size
    qToLittleEndian<quint16>(1, header + 20);         // PCM
    qToLittleEndian<quint16>(1, header + 22);         // mono
    qToLittleEndian<quint32>(kRate, header + 24);     // frames per second
    qToLittleEndian<quint32>(kRate * 2, header + 28); // bytes per second
    qToLittleEndian<quint16>(2, header + 32);         // bytes per frame
    qToLittleEndian<quint16>(16, header + 34);        // bits per sample
    qToLittleEndian<quint32>(quint32(data.size()), header + 40);
    return wave;
}

// The strength of one pitch in a stretch of samples (Goertzel's algorithm).
double strength(const std::vector<double>& samples, double hz) {
    const double coefficient = 2 * std::cos(2 * M_PI * hz / PulseAudioServer::kRate);
    double previous = 0, beforePrevious = 0;
    for (const double sample : samples) {
        const double next = sample + coefficient * previous - beforePrevious;
        beforePrevious = previous;
        previous = next;
    }
    return previous * previous + beforePrevious * beforePrevious -
           coefficient * previous * beforePrevious;
}

// What a recording holds, window after window of kWindowMs: the tone that sounds loudest in
// each, or kSilent.
struct Heard {
    std::vector<int> windows;

    int windowsOf(int tone, size_t from = 0) const {
        return int(std::count(windows.begin() + qMin(from, windows.size()), windows.end(), tone));
    }
    int msOf(int tone) const { return windowsOf(tone) * kWindowMs; }
    // The first window of `tone`, or the end when it never sounds.
    size_t firstOf(int tone) const {
        return size_t(std::find(windows.begin(), windows.end(), tone) - windows.begin());
    }
    // What sounded, in order, each run of windows once: "Long Short".
    std::string story() const {
        static const char* const names[] = {"Long", "Short", "Win", "Lose", "Alert"};
        std::string told;
        int last = kSilent;
        for (const int tone : windows) {
            if (tone != kSilent && tone != last)
                told += std::string(told.empty() ? "" : " ") + names[tone];
            last = tone;
        }
        return told.empty() ? "silence" : told;
    }
};

Heard listenTo(const std::vector<qint16>& stereo) {
    constexpr int kFrames = PulseAudioServer::kRate * kWindowMs / 1000;
    constexpr double kSilenceRms = 1000; // the tones are played at an amplitude of 12000
    Heard heard;
    std::vector<double> mono(kFrames);
    for (size_t start = 0; start + 2 * kFrames <= stereo.size(); start += 2 * kFrames) {
        double energy = 0;
        for (int i = 0; i < kFrames; ++i) {
            mono[i] = (stereo[start + 2 * i] + stereo[start + 2 * i + 1]) / 2.0;
            energy += mono[i] * mono[i];
        }
        int loudest = kSilent;
        if (std::sqrt(energy / kFrames) >= kSilenceRms) {
            double best = -1;
            for (int tone = 0; tone < kToneCount; ++tone) {
                const double s = strength(mono, kPitch[tone]);
                if (s > best) {
                    best = s;
                    loudest = tone;
                }
            }
        }
        heard.windows.push_back(loudest);
    }
    return heard;
}

class SoundPlayback : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(server);
        // Qt must play into the test server, not nowhere.
        ASSERT_EQ(QMediaDevices::defaultAudioOutput().id(), QByteArray("testsink"));
        for (const auto& [tone, seconds] :
             {std::pair{Long, 3.0}, {Short, 0.5}, {Win, 0.8}, {Lose, 0.8}}) {
            QFile file(fileOf(tone));
            ASSERT_TRUE(file.open(QIODevice::WriteOnly));
            file.write(toneWave(kPitch[tone], seconds));
        }
        notWave = dir.filePath(QStringLiteral("notes.wav"));
        QFile text(notWave);
        ASSERT_TRUE(text.open(QIODevice::WriteOnly));
        text.write("these are no sound samples, though the name says so");
        text.close();
        QString error;
        ASSERT_TRUE(server->startRecording(&error)) << error.toStdString();
    }
    void TearDown() override { server->stopRecording(); }

    QString fileOf(Tone tone) const {
        return dir.filePath(QStringLiteral("tone-%1.wav").arg(tone));
    }
    Heard heard() const { return listenTo(server->recording()); }
    // Lets the event loop run until `ms` of `tone` have been heard.
    bool hear(Tone tone, int ms) const {
        return waitUntil([&] { return heard().msOf(tone) >= ms; }, kWaitMs);
    }
    // Lets the event loop run until the output has no stream left and the recorder has what
    // was played before.
    bool quiet() const {
        if (!waitUntil([&] { return server->playingStreams().isEmpty(); }, kWaitMs))
            return false;
        runEventsFor(150);
        return true;
    }

    QTemporaryDir dir;
    QString notWave;
    QtSoundPlayer player;
};

// The evaluation plays the file the player chose for a win after a win, and the one for a
// loss after a loss.
TEST_F(SoundPlayback, aWinPlaysTheChosenWinningSoundAndALossTheLosingOne) {
    VirtualClock clock;
    testing::FakeSound beeper;
    const Options options{fileOf(Win), fileOf(Lose), CheckState::Clear, CheckState::Ticked,
                          CheckState::Ticked};
    ChatLibrary library(clock, [] { return std::make_unique<ChatWorld>(); });
    ChatTransport chat(library, clock, "Jackwell");
    ASSERT_EQ(chat.open(), 0);
    Card card({chat, clock, player, beeper, options});
    card.bringToRest();
    const auto evaluate = [&](std::array<const char*, 3> finalCodes) {
        for (int reel = 0; reel < 3; ++reel)
            card.state.reels[reel].finalCode = QString::fromLatin1(finalCodes[reel]);
        card.state.evaluationTimer.enabled = true;
        card.evaluate();
        clock.advance(7000);
    };
    evaluate({"7", "7", "7"});
    ASSERT_TRUE(hear(Win, 400)) << heard().story();
    ASSERT_TRUE(quiet());
    evaluate({"1", "2", "3"});
    ASSERT_TRUE(hear(Lose, 400)) << heard().story();
    ASSERT_TRUE(quiet());
    EXPECT_EQ(heard().story(), "Win Lose");
}

// At most one sound plays: a new request ends the one playing, which is not heard again.
TEST_F(SoundPlayback, aNewRequestEndsTheSoundPlaying) {
    player.playSound(fileOf(Long), false);
    ASSERT_TRUE(hear(Long, 200)) << heard().story();
    player.playSound(fileOf(Short), false);
    ASSERT_TRUE(hear(Short, 300)) << heard().story();
    ASSERT_TRUE(quiet());
    const Heard all = heard();
    EXPECT_EQ(all.story(), "Long Short");
    EXPECT_LE(all.windowsOf(Long, all.firstOf(Short)), 1) << "at most the window where they meet";
    EXPECT_LT(all.msOf(Long), 2500) << "the long sound was cut short";
}

// Played once, a file that cannot be played gives silence: no alert, nothing at all. A good
// file played afterwards is heard, alone.
TEST_F(SoundPlayback, aFileThatCannotBePlayedOnceIsSilence) {
    const QString missing = dir.filePath(QStringLiteral("missing.wav"));
    for (const QString& file : {missing, QString(), QStringLiteral(" "), notWave, dir.path()}) {
        SCOPED_TRACE(file.toStdString());
        player.playSound(file, false);
        runEventsFor(400); // time enough for anything it might play to be heard
        EXPECT_EQ(heard().story(), "silence");
        EXPECT_TRUE(server->playingStreams().isEmpty());
    }
    player.playSound(fileOf(Short), false);
    ASSERT_TRUE(hear(Short, 300)) << heard().story();
    EXPECT_EQ(heard().story(), "Short");
}

// Looping, a file that cannot be played gives the alert sound in its place, over and over,
// until StopSound ends it.
TEST_F(SoundPlayback, loopingAFileThatCannotBePlayedRepeatsTheAlertUntilStopped) {
    for (const QString& file : {dir.filePath(QStringLiteral("missing.wav")), notWave}) {
        SCOPED_TRACE(file.toStdString());
        QString error;
        ASSERT_TRUE(server->startRecording(&error)) << error.toStdString();
        player.playSound(file, true);
        // The alert lasts 0.12 s: heard for 0.6 s, it has come round at least four times.
        ASSERT_TRUE(hear(Alert, 600)) << heard().story();
        player.stopSound();
        ASSERT_TRUE(quiet());
        const int heardMs = heard().msOf(Alert);
        runEventsFor(500);
        EXPECT_LE(heard().msOf(Alert) - heardMs, kWindowMs) << "the loop goes on after StopSound";
        EXPECT_EQ(heard().story(), "Alert");
    }
}

// StopSound while nothing plays is silent; while a sound loops, it ends the loop.
TEST_F(SoundPlayback, stopSoundEndsALoopAndPlaysNothingItself) {
    player.stopSound();
    runEventsFor(400);
    EXPECT_EQ(heard().story(), "silence");
    player.playSound(fileOf(Short), true);
    ASSERT_TRUE(hear(Short, 1200)) << heard().story(); // more than the file's 0.5 s: it loops
    player.stopSound();
    ASSERT_TRUE(quiet());
    const int heardMs = heard().msOf(Short);
    runEventsFor(500);
    EXPECT_LE(heard().msOf(Short) - heardMs, kWindowMs) << "the loop goes on after StopSound";
    EXPECT_EQ(heard().story(), "Short");
}

} // namespace
} // namespace jackwell
