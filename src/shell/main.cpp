// Jackwell: the player's side of a slot machine run by a machinekeeper robot in a chat world.

#include "clock/real_clock.h"
#include "jackwell_version.h"
#include "settings/qt_sound_player.h"
#include "settings/settings_file.h"
#include "shell/file_locations.h"
#include "shell/frm_jackwell.h"
#include "shell/jackwell_app.h"
#include "shell/program_flow.h"
#include "world/default_backend.h"

#include <QApplication>
#include <QMessageBox>

#include <cstdio>
#include <cstring>
#include <optional>

namespace {

bool hasArgument(int argc, char* argv[], const char* longName, const char* shortName) {
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], longName) == 0 || std::strcmp(argv[i], shortName) == 0)
            return true;
    }
    return false;
}

// --version and --help answer on the terminal and need no display.
std::optional<int> answerInformationRequest(int argc, char* argv[]) {
    if (hasArgument(argc, argv, "--version", "-v")) {
        std::printf("jackwell %s\n", JACKWELL_VERSION);
        return 0;
    }
    if (hasArgument(argc, argv, "--help", "-h")) {
        const QCoreApplication app(argc, argv); // for the executable's folder
        std::printf(
            "Usage: jackwell [--help] [--version]\n"
            "The player's side of a three-reel slot machine run by a machinekeeper "
            "robot in a chat world.\n\n"
            "Options:\n"
            "  -h, --help     show this help, with the files in use, and exit\n"
            "  -v, --version  show the version and exit\n\n%s",
            qPrintable(jackwell::fileLocationsText(QCoreApplication::applicationDirPath())));
        return 0;
    }
    return std::nullopt;
}

bool hasDisplay() {
    return !qEnvironmentVariableIsEmpty("DISPLAY") ||
           !qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY") ||
           !qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM");
}

} // namespace

int main(int argc, char* argv[]) {
    if (const std::optional<int> answered = answerInformationRequest(argc, argv))
        return *answered;
    if (!hasDisplay()) {
        std::fprintf(stderr, "jackwell: no display found (DISPLAY is not set); to run it without "
                             "a screen use: xvfb-run -a make run\n");
        return 1;
    }
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Jackwell"));
    QApplication::setApplicationVersion(QStringLiteral(JACKWELL_VERSION));
    // Ties the windows to the desktop entry, so that task bars show its name and icon.
    QGuiApplication::setDesktopFileName(QStringLiteral(JACKWELL_APP_ID));
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
