// Jackwell: the player's side of a slot machine run by a machinekeeper robot in a chat world.

#include "clock/real_clock.h"
#include "settings/qt_sound_player.h"
#include "settings/settings_file.h"
#include "shell/frm_jackwell.h"
#include "shell/jackwell_app.h"
#include "shell/program_flow.h"
#include "world/default_backend.h"

#include <QApplication>
#include <QMessageBox>

#include <cstdio>

namespace {

bool hasDisplay() {
    return !qEnvironmentVariableIsEmpty("DISPLAY") ||
           !qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY") ||
           !qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM");
}

} // namespace

int main(int argc, char* argv[]) {
    if (!hasDisplay()) {
        std::fprintf(stderr, "jackwell: no display found (DISPLAY is not set); to run it without "
                             "a screen use: xvfb-run -a make run\n");
        return 1;
    }
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Jackwell"));
    // The program ends when its course says so, not when its last window closes: a message
    // it ends on may still wait for the player.
    QApplication::setQuitOnLastWindowClosed(false);

    jackwell::RealClock clock;
    jackwell::QtSoundPlayer sound;
    const QString exeDir = QCoreApplication::applicationDirPath();
    jackwell::JackwellApp jackwell(
        {clock, [&clock, exeDir] { return jackwell::makeDefaultBackend(clock, exeDir); }, sound,
         sound, jackwell::settingsFilePath(exeDir)});
    QObject::connect(&jackwell, &jackwell::JackwellApp::problem, &app, [](const QString& message) {
        std::fprintf(stderr, "jackwell: %s\n", qPrintable(message));
        auto* box = new QMessageBox(QMessageBox::Warning, QStringLiteral("Jackwell"), message);
        box->setAttribute(Qt::WA_DeleteOnClose);
        box->open();
    });
    jackwell::ProgramFlow flow(jackwell);
    QObject::connect(&flow, &jackwell::ProgramFlow::finished, &app,
                     [](int exitCode) { QCoreApplication::exit(exitCode); });
    // A logout or a kill asks the card to close as the player would: the
    // chat link is closed and the options are saved.
    flow.stopOnSignals();
    flow.start();
    return app.exec();
}
