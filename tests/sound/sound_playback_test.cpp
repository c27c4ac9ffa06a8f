// Sound playback heard for real: a private sound server with a null output plays what the
// program asks for, and a recording of that output shows which sound played, for how long and in
// what order. Each sound of the tests is a pure tone of its own pitch, told apart in the recording.

#include "sound/sound_module.h"
#include "support/pulse_audio_server.h"
#include "support/test_files.h"
#include "support/wait_until.h"

#include <QAudioDevice>
#include <QDataStream>
#include <QMediaDevices>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <cmath>

namespace jackwell {
namespace {

using testing::PulseAudioServer;
using testing::runEventsFor;
using testing::waitUntil;

// One sound server for this program: Qt Multimedia connects once, at first use, for every test.
PulseAudioServer* server = nullptr;
class SoundServerEnvironment : public ::testing::Environment {
    void SetUp() override {
        server = &server_;
        QString error;
        ASSERT_TRUE(server_.start(&error)) << error.toStdString();
    }
    void TearDown() override { server_.stop(); }
    PulseAudioServer server_;
};
const auto* const environment = ::testing::AddGlobalTestEnvironment(new SoundServerEnvironment);

// The pitches of the sounds the tests play, and of the player's alert sound.
enum Tone { Long, Short, Alert, kToneCount };
constexpr std::array<double, kToneCount> kPitch = {440, 660, 1000};
const char* const kToneNames[] = {"Long", "Short", "Alert"};
constexpr int kSilent = -1;
constexpr int kWindowMs = 40;

// A wave file of one pure tone: 16-bit mono PCM at 44.1 kHz, fading in and out over 5 ms.
QByteArray toneWave(double hz, double seconds) {
    constexpr quint32 kRate = 44100;
    const int frames = int(seconds * kRate), fade = kRate / 200;
    QByteArray wave;
    QDataStream out(&wave, QIODevice::WriteOnly);
    out.setByteOrder(QDataStream::LittleEndian);
    out.writeRawData("RIFF", 4);
    out << quint32(36 + 2 * frames);
    out.writeRawData("WAVEfmt ", 8);
    out << quint32(16) << quint16(1) << quint16(1) << kRate << kRate * 2 << quint16(2)
        << quint16(16);
    out.writeRawData("data", 4);
    out << quint32(2 * frames);
    for (int i = 0; i < frames; ++i) {
        const double gain = std::min({1.0, double(i) / fade, double(frames - 1 - i) / fade});
        out << qint16(std::lround(12000 * gain * std::sin(2 * M_PI * hz * i / kRate)));
    }
    return wave;
}

// The strength of one pitch in a stretch of samples (Goertzel's algorithm).
double strength(const std::vector<double>& samples, double hz) {
    const double coefficient = 2 * std::cos(2 * M_PI * hz / PulseAudioServer::kRate);
    double previous = 0, beforePrevious = 0;
    for (const double sample : samples)
        beforePrevious = std::exchange(previous, sample + coefficient * previous - beforePrevious);
    return previous * previous + beforePrevious * beforePrevious -
           coefficient * previous * beforePrevious;
}

// What a recording holds, window after window of kWindowMs: the tone sounding in each, or kSilent.
struct Heard {
    std::vector<int> windows;

    int msOf(int tone, size_t from = 0) const {
        from = std::min(from, windows.size());
        return int(std::count(windows.begin() + from, windows.end(), tone)) * kWindowMs;
    }
    size_t firstOf(int tone) const {
        return size_t(std::find(windows.begin(), windows.end(), tone) - windows.begin());
    }
    // What sounded, in order, each run of one tone once however long the gaps: "Long Short".
    std::string story() const {
        std::string told;
        for (int tone = kSilent; const int window : windows) {
            if (window != kSilent && window != std::exchange(tone, window))
                told += std::string(told.empty() ? "" : " ") + kToneNames[window];
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
        std::array<double, kToneCount> strengths;
        for (int tone = 0; tone < kToneCount; ++tone)
            strengths[tone] = strength(mono, kPitch[tone]);
        // A tone only where one pitch carries the window; quiet and noise (a stutter) are none.
        const auto loudest = std::max_element(strengths.begin(), strengths.end());
        const bool tone =
            std::sqrt(energy / kFrames) >= kSilenceRms && *loudest >= energy * kFrames / 8;
        heard.windows.push_back(tone ? int(loudest - strengths.begin()) : kSilent);
    }
    return heard;
}

class SoundPlayback : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(server);
        // Qt must play into the test server, not nowhere.
        ASSERT_EQ(QMediaDevices::defaultAudioOutput().id(), QByteArray("testsink"));
        for (const auto& [tone, seconds] : {std::pair{Long, 3.0}, {Short, 0.5}})
            testing::writeFile(fileOf(tone), toneWave(kPitch[tone], seconds));
        testing::writeFile(notWave, "no samples, though named so");
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
        return waitUntil([&] { return heard().msOf(tone) >= ms; }, 10000);
    }
    // Runs the event loop until the output has no stream left and the recorder has what played.
    bool quiet() const {
        const bool ended = waitUntil([&] { return server->playingStreams().isEmpty(); }, 10000);
        runEventsFor(150);
        return ended;
    }

    QTemporaryDir dir;
    QString notWave = dir.filePath("notes.wav");
    SoundModule player{SoundModule::placesFor(JACKWELL_BINARY_DIR)}; // as the program plays
};

// StopSound while nothing plays, or a file that cannot be played, gives silence and no alert. Good
// files played later are heard, one at a time: a new request ends the one playing for good.
TEST_F(SoundPlayback, aFileThatCannotBePlayedOnceIsSilenceAndANewRequestEndsTheOnePlaying) {
    player.stopSound();
    for (const QString& file :
         {dir.filePath("missing.wav"), QString(), QString(" "), notWave, dir.path()}) {
        player.playSound(file, false);
        runEventsFor(400); // time enough for anything it might play to be heard
        EXPECT_EQ(heard().story(), "silence") << file.toStdString();
        EXPECT_TRUE(server->playingStreams().isEmpty()) << file.toStdString();
    }
    player.playSound(fileOf(Long), false);
    ASSERT_TRUE(hear(Long, 200)) << heard().story();
    player.playSound(fileOf(Short), false);
    ASSERT_TRUE(hear(Short, 300)) << heard().story();
    ASSERT_TRUE(quiet());
    const Heard all = heard();
    EXPECT_EQ(all.story(), "Long Short");
    EXPECT_LE(all.msOf(Long, all.firstOf(Short)), kWindowMs) << "at most where they meet";
    EXPECT_LT(all.msOf(Long), 2500) << "the long sound was cut short";
}

// Looping, a sound repeats until StopSound ends it; a file that cannot be played loops the alert.
TEST_F(SoundPlayback, aLoopRepeatsUntilStoppedAndAnUnplayableFileLoopsTheAlert) {
    // Heard for longer than the alert (0.12 s) or the file (0.5 s) lasts: it came round. The alert
    // comes first, from a player that never looped anything.
    const std::tuple<QString, Tone, int> rows[] = {{dir.filePath("missing.wav"), Alert, 600},
                                                   {notWave, Alert, 600},
                                                   {fileOf(Short), Short, 1200}};
    for (const auto& [file, tone, ms] : rows) {
        SCOPED_TRACE(file.toStdString());
        QString error;
        ASSERT_TRUE(server->startRecording(&error)) << error.toStdString();
        player.playSound(file, true);
        ASSERT_TRUE(hear(tone, ms)) << heard().story();
        player.stopSound();
        ASSERT_TRUE(quiet()) << heard().story() << server->playingStreams().join("|").toStdString();
        const int heardMs = heard().msOf(tone);
        runEventsFor(500);
        EXPECT_LE(heard().msOf(tone) - heardMs, kWindowMs) << "the loop goes on after StopSound";
        EXPECT_EQ(heard().story(), kToneNames[tone]);
    }
}

// A beep where there is a device is the alert sound. (Beeps go until one is heard: the
// recording takes the output only once the idle output has woken.)
TEST_F(SoundPlayback, aBeepIsTheAlert) {
    EXPECT_TRUE(waitUntil(
        [&] {
            player.beep();
            runEventsFor(300);
            return heard().msOf(Alert) >= kWindowMs;
        },
        10000))
        << heard().story();
    EXPECT_EQ(heard().story(), kToneNames[Alert]);
}

} // namespace
} // namespace jackwell
