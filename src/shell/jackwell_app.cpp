#include "shell/jackwell_app.h"

#include "clock/clock.h"
#include "settings/settings_file.h"
#include "shell/card_window.h"
#include "shell/chat_window.h"
#include "shell/key_repeats.h"
#include "shell/pictures.h"
#include "shell/program_dialogs.h"
#include "shell/program_windows.h"

#include <QApplication>
#include <QDir>
#include <QFileInfo>

namespace jackwell {

namespace {

const QString kWinSound = QStringLiteral("win.wav");
const QString kLoseSound = QStringLiteral("lose.wav");

// No Settings.txt yet: a first run, which starts with the program's own sounds, both played.
// They reach the file when it is written, as every option does.
void chooseBundledSounds(Options& options, const QString& soundsDir) {
    if (soundsDir.isEmpty())
        return;
    const QDir sounds(soundsDir);
    if (const QString win = sounds.filePath(kWinSound); QFileInfo(win).isFile()) {
        options.winSoundFile = win;
        options.playWinSound = CheckState::Ticked;
    }
    if (const QString lose = sounds.filePath(kLoseSound); QFileInfo(lose).isFile()) {
        options.loseSoundFile = lose;
        options.playLoseSound = CheckState::Ticked;
    }
}

} // namespace

const QByteArray JackwellApp::appName = QByteArrayLiteral("Jackwell");

JackwellApp::JackwellApp(Setup setup)
    : setup_(std::move(setup))
    , preferences_(setup_.preferencesPath) {
    KeyRepeats::install(); // a held key acts once, in every window
    library_ = std::make_unique<ChatLibrary>(setup_.clock, [this] {
        return inEmbeddedWorld_ ? setup_.embeddedWorld() : setup_.chatBackend();
    });
    transport_ = std::make_unique<ChatTransport>(*library_, setup_.clock, appName);
    card_ = std::make_unique<Card>(
        Card::Effects{*transport_, setup_.clock, setup_.sound, setup_.beeper, options_});
    chatSession_ = std::make_unique<ChatSession>(*transport_, setup_.clock);
    history_ = std::make_unique<history::GameHistory>(setup_.dataDir);
    const ProgramWindows::Arrangement arrangement =
        !setup_.docked   ? ProgramWindows::arrangementForPlatform()
        : *setup_.docked ? ProgramWindows::Arrangement::Docked
                         : ProgramWindows::Arrangement::Apart;
    windows_ = std::make_unique<ProgramWindows>(*card_, *chatSession_, preferences_, arrangement);
    dialogs_ = std::make_unique<ProgramDialogs>(
        ProgramDialogs::Context{*windows_, *card_, options_, *history_, setup_.files,
                                setup_.soundsDir, setup_.settingsPath, setup_.preferencesPath});
    ChatWindow& chat = windows_->chat();
    chatSession_->setSink({[&chat](const ChatSession::Line& line) { chat.appendLine(line); },
                           [&chat](const QString& text) { chat.setStatus(text); },
                           [&chat](int heldDraw, const ChatSession::Line& line) {
                               chat.revealLine(heldDraw, line);
                           }});
    connect(card_.get(), &Card::drawShown, this,
            [this](const QString& line) { chatSession_->drawShown(line); });
    // A game the card played is kept for the statistics, and shown in them at once.
    connect(card_.get(), &Card::resultTaken, this, [this](const QString& line) {
        history_->resultShown(line);
        dialogs_->refreshStatistics();
    });
    connect(card_.get(), &Card::changed, this,
            [this] { chatSession_->setKeeperName(card_->state.machineKeeperName); });
    connect(card_.get(), &Card::told, this,
            [this](const QString& words) { chatSession_->addCardLine(words); });
    connect(dialogs_.get(), &ProgramDialogs::stayOnTopChanged, this, &JackwellApp::applyStayOnTop);
    connect(dialogs_.get(), &ProgramDialogs::saveRequested, this, &JackwellApp::saveOptions);
    connect(dialogs_.get(), &ProgramDialogs::problem, this, &JackwellApp::problem);
}

JackwellApp::~JackwellApp() {
    dialogs_.reset();
    chatSession_->attach(nullptr);
    windows_.reset();
    chatSession_.reset();
    card_.reset();
    transport_.reset();
    library_.reset();
}

bool JackwellApp::startUp(QString* error, QString* detail) {
    card_->bringToRest();
    const SettingsResult read = readSettingsFile(
        setup_.settingsPath, options_, [this](CheckState) { applyStayOnTop(); }, &pathSpellings_);
    if (read.status == SettingsResult::Missing)
        chooseBundledSounds(options_, setup_.soundsDir);
    dialogs_->renderOptions();
    if (read.status == SettingsResult::Failed) {
        startFailure_ = StartFailure::Settings;
        *error = read.message;
        return false;
    }
    if (options_.stayOnTop == CheckState::Ticked)
        windows_->card().setStayOnTop(true);
    return openChatLink(error, detail);
}

bool JackwellApp::openChatLink(QString* error, QString* detail) {
    // Opening ends the link open so far, and its port with it: nothing may keep that port.
    chatSession_->attach(nullptr);
    history_->attach(nullptr);
    if (transport_->open() != 0) {
        startFailure_ = StartFailure::ChatLink;
        *error = QStringLiteral("Run-time error '%1':\n\nFailed to initialize DDE layer")
                     .arg(kInitErrorNumber);
        if (detail)
            *detail = library_->openError();
        return false;
    }
    startFailure_ = StartFailure::None;
    history_->attach(library_->backend());
    chatSession_->attach(library_->backend());
    return true;
}

bool JackwellApp::startWithDefaultSettings(QString* keptAs, QString* error, QString* detail) {
    QString why;
    *keptAs = setBrokenSettingsAside(setup_.settingsPath, &why);
    if (keptAs->isEmpty()) {
        *error = QStringLiteral("%1 cannot be set aside: %2").arg(setup_.settingsPath, why);
        return false;
    }
    options_ = Options{};
    pathSpellings_.clear();
    chooseBundledSounds(options_, setup_.soundsDir);
    dialogs_->renderOptions();
    return openChatLink(error, detail);
}

bool JackwellApp::startInEmbeddedWorld(QString* error, QString* detail) {
    inEmbeddedWorld_ = true;
    return openChatLink(error, detail);
}

bool JackwellApp::canPlayInEmbeddedWorld() const {
    return setup_.embeddedWorld && !inEmbeddedWorld_;
}

QString JackwellApp::chatConfigFile() const {
    const QString& path = setup_.chatConfigPath;
    return !path.isEmpty() && QFileInfo::exists(path) ? path : QString();
}

void JackwellApp::showWindows() {
    // What the first paint does not need waits until the windows are there to see: every window
    // takes the program's icon, and the embedded world opens its machinekeeper's books (what
    // the player must hear about them is shown).
    windows_->show([this] {
        QApplication::setWindowIcon(programIcon());
        if (const QString notice = history_->notice(); !notice.isEmpty() && !unloaded_)
            emit problem(notice);
        emit firstPainted();
    });
}

QString JackwellApp::shutDown() {
    if (unloaded_)
        return {};
    unloaded_ = true;
    windows_->close();
    chatSession_->attach(nullptr);
    history_->attach(nullptr);
    transport_->close();
    windows_->card().unloadPayouts();
    // The options are saved whether or not the options window was ever shown. A
    // failure is the caller's to tell: the program is ending.
    const SettingsResult saved = writeSettingsFile(setup_.settingsPath, options_, pathSpellings_);
    dialogs_->close();
    return saved.status == SettingsResult::Ok ? QString() : saved.message;
}

void JackwellApp::applyStayOnTop() {
    if (options_.stayOnTop == CheckState::Ticked)
        windows_->card().setStayOnTop(true);
    if (options_.stayOnTop == CheckState::Clear)
        windows_->card().setStayOnTop(false);
}

void JackwellApp::saveOptions() {
    const SettingsResult written = writeSettingsFile(setup_.settingsPath, options_, pathSpellings_);
    if (written.status != SettingsResult::Ok)
        emit problem(written.message);
}

} // namespace jackwell
