// Jackwell: the player's side of a slot machine run by a machinekeeper robot in a chat world.

#include "clock/real_clock.h"
#include "platform/command_line.h"
#include "platform/data_paths.h"
#include "platform/stop_signals.h"
#include "settings/qt_sound_player.h"
#include "settings/settings_file.h"
#include "shell/card_keys.h"
#include "shell/frm_jackwell.h"
#include "shell/jackwell_app.h"
#include "world/default_backend.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QMessageBox>

#include <cstdio>

namespace {

bool hasDisplay() {
    return !qEnvironmentVariableIsEmpty("DISPLAY") ||
           !qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY") ||
           !qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM");
}

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

const jackwell::ProgramInfo& programInfo() {
    static const jackwell::ProgramInfo info{
        QStringLiteral("jackwell"), QStringLiteral("[--help] [--version]"),
        QStringLiteral("The player's side of a three-reel slot machine that a machinekeeper robot "
                       "runs in a chat world:\nthe card, and the chat window beside it.\n\n"
                       "  -h, --help     shows this help and exits\n"
                       "  -v, --version  shows the version and exits\n"
                       "  Qt's own options (-platform NAME, -style NAME, ...) go to Qt.\n\n"
                       "Keys on the card and on the chat window:\n") +
            jackwell::cardKeysText() +
            QStringLiteral("\nThe options live in Settings.txt, an IRC network to play on in "
                           "Chat.txt, both beside the\nexecutable; the preferences (the chat "
                           "window's place) in %1.\nRight click the card (or press Menu) for "
                           "About Jackwell, which says where each one is.\n")
                .arg(jackwell::preferencesFilePath())};
    return info;
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
    if (auto exitCode = jackwell::readCommandLine(parser, arguments, programInfo()))
        return exitCode;
    if (!parser.positionalArguments().isEmpty())
        return jackwell::commandLineFault(
            programInfo(),
            QStringLiteral("unexpected argument '%1'").arg(parser.positionalArguments().first()));
    return std::nullopt;
}

// Shows a message without a nested event loop: the process ends once it is dismissed.
void showFatal(const QString& message) {
    std::fprintf(stderr, "jackwell: %s\n", qPrintable(QString(message).replace(u'\n', u' ')));
    auto* box = new QMessageBox(QMessageBox::Critical, QStringLiteral("Jackwell"), message);
    box->setAttribute(Qt::WA_DeleteOnClose);
    QObject::connect(box, &QMessageBox::finished, qApp, [] { QCoreApplication::exit(1); });
    box->open();
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
    QApplication::setApplicationName(QStringLiteral("Jackwell"));

    jackwell::RealClock clock;
    jackwell::QtSoundPlayer sound;
    const QString exeDir = QCoreApplication::applicationDirPath();
    jackwell::JackwellApp jackwell(
        {clock, [&clock, exeDir] { return jackwell::makeDefaultBackend(clock, exeDir); }, sound,
         sound, jackwell::settingsFilePath(exeDir), nullptr, jackwell::preferencesFilePath(),
         jackwell::bundledSoundsDir(jackwell::jackwellDataDir(exeDir))});
    QObject::connect(&jackwell, &jackwell::JackwellApp::problem, &app, [](const QString& message) {
        std::fprintf(stderr, "jackwell: %s\n", qPrintable(message));
        auto* box = new QMessageBox(QMessageBox::Warning, QStringLiteral("Jackwell"), message);
        box->setAttribute(Qt::WA_DeleteOnClose);
        box->open();
    });
    QString error;
    if (!jackwell.startUp(&error)) {
        showFatal(error);
        app.exec();
        return 1;
    }
    QObject::connect(&jackwell.window(), &jackwell::frmJackwell::closing, &app, [&jackwell] {
        jackwell.shutDown();
        QCoreApplication::quit();
    });
    // A logout or a kill asks the card to close as the player would: the
    // chat link is closed and the options are saved.
    jackwell::installStopSignals([&jackwell] { jackwell.window().close(); });
    jackwell.showWindows();
    return app.exec();
}
