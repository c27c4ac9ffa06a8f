// Jackwell: the player's side of a slot machine run by a machinekeeper robot in a chat world.

#include "chat/irc_module.h"
#include "clock/real_clock.h"
#include "platform/command_line.h"
#include "platform/data_paths.h"
#include "platform/player_files.h"
#include "platform/version.h"
#include "settings/settings_file.h"
#include "shell/card_keys.h"
#include "shell/card_window.h"
#include "shell/file_locations.h"
#include "shell/jackwell_app.h"
#include "shell/program_flow.h"
#include "shell/start_probe.h"
#include "shell/world_choice.h"
#include "sound/sound_module.h"
#include "world/embedded_world.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QFileInfo>
#include <QMessageBox>

#include <cstdio>
#include <optional>

namespace {

// Qt's own options for windowed programs, passed on to Qt; those marked take a value.
struct QtOption {
    const char* name;
    bool takesValue;
};
constexpr QtOption kQtOptions[] = {
    {"platform", true},        {"platformpluginpath", true},
    {"platformtheme", true},   {"plugin", true},
    {"display", true},         {"geometry", true},
    {"style", true},           {"stylesheet", true},
    {"qwindowgeometry", true}, {"qwindowtitle", true},
    {"qwindowicon", true},     {"session", true},
    {"reverse", false},        {"widgetcount", false},
    {"nograb", false},         {"dograb", false},
};

// The executable's folder before any application object exists (where the help finds the
// files in use); the folder of the name it was started by where the system does not say.
QString executableDir(const char* argv0) {
    const QString self = QFileInfo(QStringLiteral("/proc/self/exe")).canonicalFilePath();
    if (!self.isEmpty())
        return QFileInfo(self).absolutePath();
    return QFileInfo(QString::fromLocal8Bit(argv0)).absolutePath();
}

jackwell::ProgramInfo programInfo(const QString& exeDir) {
    return {
        QStringLiteral("jackwell"), QStringLiteral("[--help] [--version]"),
        QStringLiteral("The player's side of a three-reel slot machine that a machinekeeper "
                       "robot runs in a chat world:\nthe card, and the chat window beside it.\n\n"
                       "  -h, --help     shows this help, with the files in use, and exits\n"
                       "  -v, --version  shows the version and exits\n"
                       "  Qt's own options (-platform NAME, -style NAME, ...) go to Qt.\n\n"
                       "Keys on the card and on the chat window:\n") +
            jackwell::cardKeysText() + QStringLiteral("\n") + jackwell::fileLocationsText(exeDir) +
            QStringLiteral("  preferences   the chat window's place:\n                %1\n")
                .arg(jackwell::preferencesFilePath())};
}

// --help, --version or a wrong command line end the program before anything opens.
std::optional<int> readArguments(int argc, char* argv[]) {
    QStringList arguments;
    for (int i = 0; i < argc; ++i)
        arguments << QString::fromLocal8Bit(argv[i]);
    QCommandLineParser parser;
    parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
    for (const QtOption& option : kQtOptions) {
        QCommandLineOption qt(QString::fromLatin1(option.name), QString(),
                              option.takesValue ? QStringLiteral("value") : QString());
        qt.setFlags(QCommandLineOption::HiddenFromHelp);
        parser.addOption(qt);
    }
    const jackwell::ProgramInfo info = programInfo(executableDir(argv[0]));
    if (auto exitCode = jackwell::readCommandLine(parser, arguments, info))
        return exitCode;
    if (!parser.positionalArguments().isEmpty())
        return jackwell::commandLineFault(
            info,
            QStringLiteral("unexpected argument '%1'").arg(parser.positionalArguments().first()));
    return std::nullopt;
}

bool hasDisplay() {
    return !qEnvironmentVariableIsEmpty("DISPLAY") ||
           !qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY") ||
           !qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM");
}

} // namespace

int main(int argc, char* argv[]) {
    if (const auto exitCode = readArguments(argc, argv))
        return *exitCode;
    if (!hasDisplay()) {
        std::fprintf(stderr, "jackwell: no display found (DISPLAY is not set); to run it without "
                             "a screen use: xvfb-run -a make run\n");
        return 1;
    }
    QApplication app(argc, argv);
    jackwell::exitWhenShownIfAsked();
    QApplication::setApplicationName(QStringLiteral("Jackwell"));
    QApplication::setApplicationVersion(QLatin1String(jackwell::kJackwellVersion));
    // Ties the windows to the desktop entry, so that task bars show its name and icon.
    QGuiApplication::setDesktopFileName(QLatin1String(jackwell::kJackwellAppId));
    // The program ends when its course says so, not when its last window closes: a message
    // it ends on may still wait for the player.
    QApplication::setQuitOnLastWindowClosed(false);

    jackwell::RealClock clock;
    const QString exeDir = QCoreApplication::applicationDirPath();
    jackwell::SoundModule sound(jackwell::SoundModule::placesFor(exeDir));
    const jackwell::IrcBackendMaker irc = jackwell::ircBackendsFromModule(exeDir);
    jackwell::JackwellApp jackwell(
        {clock,
         [&clock, exeDir, irc] {
             return jackwell::makeDefaultBackend(clock, exeDir, jackwell::rivetBooksFilePath(),
                                                 irc);
         },
         sound, sound, jackwell::settingsFilePath(exeDir), nullptr, jackwell::preferencesFilePath(),
         jackwell::bundledSoundsDir(jackwell::jackwellDataDir(exeDir)),
         [&clock] { return jackwell::makeEmbeddedWorld(clock, jackwell::rivetBooksFilePath()); },
         jackwell::chatConfigFilePath(exeDir), jackwell::playerDataDir()});
    QObject::connect(&jackwell, &jackwell::JackwellApp::problem, &app, [](const QString& message) {
        std::fprintf(stderr, "jackwell: %s\n", qPrintable(message));
        auto* box = new QMessageBox(QMessageBox::Warning, QStringLiteral("Jackwell"), message);
        box->setAttribute(Qt::WA_DeleteOnClose);
        box->open();
    });
    // The sound is ready moments after the windows are there to see, not before.
    QObject::connect(&jackwell, &jackwell::JackwellApp::firstPainted, &app,
                     [&sound] { sound.load(); });
    jackwell::ProgramFlow flow(jackwell);
    QObject::connect(&flow, &jackwell::ProgramFlow::finished, &app,
                     [](int exitCode) { QCoreApplication::exit(exitCode); });
    // A logout or a kill asks the card to close as the player would: the
    // chat link is closed and the options are saved.
    flow.stopOnSignals();
    flow.start();
    return app.exec();
}
