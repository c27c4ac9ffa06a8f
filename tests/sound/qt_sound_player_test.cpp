// The real sound player on a machine with no audio device: every request returns without the event
// loop, bad file names are harmless, and the player does not print a warning for each request.
// (What it plays where there is a device is heard in sound_playback_test.) The program reaches
// the player through the sound module, which it finds beside itself in the build tree.

#include "sound/qt_sound_player.h"
#include "sound/sound_module.h"
#include "support/test_files.h"
#include "support/wait_until.h"

#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace jackwell {
namespace {

QStringList warnings;

void collect(QtMsgType type, const QMessageLogContext&, const QString& message) {
    if (type >= QtWarningMsg)
        warnings << message;
}

TEST(QtSoundPlayer, requestsReturnAtOnceAndStayQuietWithoutAFile) {
    // No sound server: a socket that is not there (nor may one be started for us).
    qputenv("PULSE_SERVER", "unix:/nonexistent/jackwell-test/native");
    QTemporaryDir dir;
    const QString wave = dir.filePath("win.wav");
    ASSERT_TRUE(QFile::copy(":/assets/sounds/win.wav", wave));
    const QString notWave = testing::writeFile(dir.filePath("text.wav"), "not a wave file");

    warnings.clear();
    const auto previous = qInstallMessageHandler(collect);
    {
        QtSoundPlayer player;
        for (int round = 0; round < 10; ++round) {
            for (const QString& file :
                 {wave, notWave, dir.filePath("missing.wav"), QString(), QStringLiteral(" ")}) {
                player.playSound(file, false);
                player.playSound(file, true);
            }
            player.beep();
            player.stopSound();
        }
        testing::runEventsFor(300); // lets the loading and playing run
        player.stopSound();
    }
    qInstallMessageHandler(previous);
    // Without a device Qt may say so once; it must not say so per request.
    EXPECT_LE(warnings.size(), 3) << warnings.join(" | ").toStdString();
}

// A copy of the program in a folder of its own still finds the module; without one it is silent.
TEST(SoundModule, opensTheModuleWhereverTheProgramIsAndIsSilentWithoutIt) {
    qputenv("PULSE_SERVER", "unix:/nonexistent/jackwell-test/native");
    QTemporaryDir copy;
    ASSERT_TRUE(QFile(copy.filePath("empty.so")).open(QIODevice::WriteOnly)); // no library
    for (const auto& [places, found] :
         {std::pair{SoundModule::placesFor(JACKWELL_BINARY_DIR), true},
          std::pair{SoundModule::placesFor(copy.path()), true},
          std::pair{QStringList{copy.filePath("jackwell-sound.so")}, false},
          std::pair{QStringList{copy.filePath("empty.so")}, false}}) {
        SoundModule sound(places);
        ::testing::internal::CaptureStderr();
        sound.playSound(QStringLiteral("missing.wav"), false); // opens it, or finds it missing
        sound.beep();
        sound.stopSound();
        EXPECT_EQ(sound.load(), found) << places.join(' ').toStdString();
        // Silence is said once, with the place looked in, and never when the module is there.
        const QString said = QString::fromStdString(::testing::internal::GetCapturedStderr());
        EXPECT_EQ(said.count(QStringLiteral("jackwell: no sound: ")), found ? 0 : 1)
            << said.toStdString();
        EXPECT_EQ(said.contains(copy.path()), !found) << said.toStdString();
    }
}

} // namespace
} // namespace jackwell
