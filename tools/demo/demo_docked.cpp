#include "demo_docked.h"

#include "demo_script.h"

#include "card/card.h"
#include "clock/virtual_clock.h"
#include "settings/settings_file.h"
#include "shell/jackwell_app.h"
#include "shell/program_dialogs.h"
#include "shell/program_windows.h"
#include "world/embedded_world.h"

#include <QDir>
#include <QPixmap>
#include <QTemporaryDir>
#include <QWidget>

#include <cstdio>

namespace jackwell::demo {

int saveDockedPicture(VirtualClock& clock, const QDir& outputDir) {
    QTemporaryDir scratch;
    SoundLog sound;
    JackwellApp app(
        {.clock = clock,
         .chatBackend = [&clock] { return std::make_unique<world::EmbeddedWorld>(clock); },
         .sound = sound,
         .beeper = sound,
         .settingsPath = settingsFilePath(scratch.path()),
         .preferencesPath = scratch.filePath(QStringLiteral("Jackwell.conf")),
         .docked = true});
    QString error;
    if (!app.startUp(&error)) {
        std::fprintf(stderr, "jackwell-demo: %s\n", qPrintable(error));
        return 1;
    }
    app.showWindows();
    app.card().findHost();
    clock.advance(500);
    app.card().askToRegister();
    clock.advance(2000);
    QWidget* dock = app.windows().dock();
    const QString path = outputDir.filePath(QStringLiteral("wayland-docked.png"));
    const QString helpPath = outputDir.filePath(QStringLiteral("wayland-docked-help.png"));
    bool saved = dock && dock->grab().save(path);
    // Then the help, which shows in the chat's place under a bar of its own.
    app.dialogs().showHelp();
    clock.advance(100);
    saved = saved && dock->grab().save(helpPath);
    app.shutDown();
    if (!saved) {
        std::fprintf(stderr, "jackwell-demo: the docked pictures could not be saved\n");
        return 1;
    }
    std::printf("The card and the chat docked as under Wayland: %s\n", qPrintable(path));
    std::printf("The help docked in the chat's place: %s\n", qPrintable(helpPath));
    return 0;
}

} // namespace jackwell::demo
