// jackwell-demo: plays scripted games on the real window, offscreen, against the embedded
// world until a game wins, saves pictures of the card along the way and of the card with the
// chat window beside it at the end, on an 800x600 screen and at twice the scale, and prints the
// chat text.
//
//     jackwell-demo [OUTPUT_DIR] [--seed N]      (OUTPUT_DIR defaults to ./demo)

#include "demo_docked.h"
#include "demo_script.h"

#include "clock/virtual_clock.h"
#include "settings/settings_file.h"
#include "shell/card_window.h"
#include "shell/jackwell_app.h"
#include "shell/program_dialogs.h"
#include "shell/program_windows.h"
#include "world/embedded_world.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QScreen>
#include <QTemporaryDir>
#include <QTimer>

#include <cstdio>

namespace {

// A seed whose first draw invites two holds and whose game ends in a win.
constexpr quint64 kDefaultSeed = 79;
// The virtual clock starts in the evening; the spinning reels draw from the time of day.
constexpr double kStartTimeOfDay = 20 * 3600.0;

struct Arguments {
    QString outputDir = QStringLiteral("demo");
    quint64 seed = kDefaultSeed;
    bool ok = true;
};

Arguments parseArguments(const QStringList& args) {
    Arguments parsed;
    for (qsizetype i = 1; i < args.size(); ++i) {
        if (args[i] == QLatin1String("--seed") && i + 1 < args.size())
            parsed.seed = args[++i].toULongLong(&parsed.ok);
        else if (!args[i].startsWith(u'-'))
            parsed.outputDir = args[i];
        else
            parsed.ok = false;
    }
    return parsed;
}

// The offscreen platform's two screens, side by side: 800x600, and 1920x1080 at twice the scale
// (960x540 in the windows' own pixels), where the games are played. Their configuration goes
// into `folder`.
void useTwoScreens(const QString& folder) {
    const QByteArray platform = qgetenv("QT_QPA_PLATFORM");
    if (!platform.isEmpty() && platform != "offscreen")
        return;
    const QString config = QDir(folder).filePath(QStringLiteral("offscreen.json"));
    QFile file(config);
    if (!file.open(QIODevice::WriteOnly))
        return;
    file.write(R"({"windowFrameMargins": false, "screens": [
        {"name": "A 800x600", "x": 0, "y": 0, "width": 800, "height": 600, "logicalDpi": 96,
         "logicalBpi": 96, "dpr": 1},
        {"name": "B 1920x1080 at 2x", "x": 800, "y": 0, "width": 960, "height": 540,
         "logicalDpi": 96, "logicalBpi": 96, "dpr": 2}]})");
    file.close();
    qputenv("QT_QPA_PLATFORM", "offscreen:configfile=" + config.toLocal8Bit());
}

} // namespace

int main(int argc, char* argv[]) {
    QTemporaryDir scratch; // the demo leaves the player's own Settings.txt alone
    useTwoScreens(scratch.path());
    QApplication application(argc, argv);

    const Arguments args = parseArguments(QCoreApplication::arguments());
    if (!args.ok) {
        std::fprintf(stderr, "usage: jackwell-demo [OUTPUT_DIR] [--seed N]\n");
        return 2;
    }
    QDir outputDir(args.outputDir);
    if (!outputDir.mkpath(QStringLiteral(".")) || !scratch.isValid()) {
        std::fprintf(stderr, "jackwell-demo: cannot create %s\n", qPrintable(args.outputDir));
        return 1;
    }

    jackwell::VirtualClock clock(kStartTimeOfDay);
    jackwell::demo::SoundLog sound;
    jackwell::world::EmbeddedWorld* world = nullptr;
    jackwell::world::EmbeddedWorldConfig config;
    config.seed = args.seed;
    jackwell::JackwellApp app({clock,
                               [&] {
                                   auto made = std::make_unique<jackwell::world::EmbeddedWorld>(
                                       clock, config);
                                   world = made.get();
                                   return made;
                               },
                               sound, sound, jackwell::settingsFilePath(scratch.path())});
    QString error;
    if (!app.startUp(&error) || !world) {
        std::fprintf(stderr, "jackwell-demo: %s\n", qPrintable(error));
        return 1;
    }
    app.options().playWinSound = jackwell::CheckState::Ticked;
    app.options().winSoundFile = QStringLiteral("win.wav");
    app.options().playLoseSound = jackwell::CheckState::Ticked;
    app.options().loseSoundFile = QStringLiteral("loss.wav");
    // On the screen at twice the scale, with room above for the pictures' title bars.
    QScreen* sharpest = QGuiApplication::primaryScreen();
    for (QScreen* screen : QGuiApplication::screens()) {
        if (screen->devicePixelRatio() > sharpest->devicePixelRatio())
            sharpest = screen;
    }
    app.windows().card().move(sharpest->availableGeometry().topLeft() + QPoint(24, 24));
    app.showWindows(); // the card and, beside it, the chat window

    jackwell::demo::DemoScript script(app, *world, clock, outputDir);
    int exitCode = 0;
    QTimer::singleShot(0, &script, [&] {
        script.run([&](bool ok) {
            exitCode = ok ? 0 : 1;
            app.shutDown();
            QCoreApplication::quit();
        });
    });
    application.exec();
    if (exitCode == 0)
        exitCode = jackwell::demo::saveDockedPicture(clock, outputDir);
    return exitCode;
}
