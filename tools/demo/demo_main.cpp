// jackwell-demo: plays one scripted game on the real window, offscreen, against the embedded
// world, saves pictures of the card along the way and prints the chat text.
//
//     jackwell-demo [OUTPUT_DIR] [--seed N]      (OUTPUT_DIR defaults to ./demo)

#include "demo_script.h"

#include "clock/virtual_clock.h"
#include "settings/settings_file.h"
#include "shell/frm_jackwell.h"
#include "shell/jackwell_app.h"
#include "world/embedded_world.h"

#include <QApplication>
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

} // namespace

int main(int argc, char* argv[]) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    if (qEnvironmentVariableIsEmpty("QT_SCALE_FACTOR"))
        qputenv("QT_SCALE_FACTOR", "2"); // sharper pictures
    QApplication application(argc, argv);

    const Arguments args = parseArguments(QCoreApplication::arguments());
    if (!args.ok) {
        std::fprintf(stderr, "usage: jackwell-demo [OUTPUT_DIR] [--seed N]\n");
        return 2;
    }
    QDir outputDir(args.outputDir);
    QTemporaryDir settingsDir; // the demo leaves the player's own Settings.txt alone
    if (!outputDir.mkpath(QStringLiteral(".")) || !settingsDir.isValid()) {
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
                               sound, sound, jackwell::settingsFilePath(settingsDir.path())});
    QString error;
    if (!app.startUp(&error) || !world) {
        std::fprintf(stderr, "jackwell-demo: %s\n", qPrintable(error));
        return 1;
    }
    app.options().playWinSound = 1;
    app.options().winSoundFile = QStringLiteral("win.wav");
    app.options().playLoseSound = 1;
    app.options().loseSoundFile = QStringLiteral("loss.wav");
    app.window().show();

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
    return exitCode;
}
