#include "shell/jackwell_app.h"

#include "clock/clock.h"
#include "history/hold_hint.h"
#include "machine/texts.h"
#include "platform/version.h"
#include "settings/settings_file.h"
#include "shell/card_keys.h"
#include "shell/card_window.h"
#include "shell/chat_window.h"
#include "shell/first_paint.h"
#include "shell/help_window.h"
#include "shell/key_repeats.h"
#include "shell/options_window.h"
#include "shell/picture_test_corner.h"
#include "shell/pictures.h"
#include "shell/qt_file_chooser.h"
#include "shell/statistics_window.h"
#include "shell/window_pair.h"
#include "shell/window_placement.h"

#include <QApplication>
#include <QDir>
#include <QFileInfo>
#include <QMenu>
#include <QMessageBox>
#include <QScreen>
#include <QShortcut>

namespace jackwell {

namespace {

const QString kWinSound = QStringLiteral("win.wav");
const QString kLoseSound = QStringLiteral("lose.wav");

// A message box that goes on its own when closed, shown without a nested event loop.
QMessageBox* openInfoBox(QWidget* parent, const QString& title, const QString& text) {
    auto* box = new QMessageBox(QMessageBox::NoIcon, title, text, QMessageBox::Close, parent);
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->setWindowModality(Qt::NonModal);
    box->setTextInteractionFlags(Qt::TextSelectableByMouse);
    box->show();
    return box;
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
    window_ = std::make_unique<CardWindow>(*card_);
    chatWindow_ = std::make_unique<ChatWindow>(*chatSession_);
    chatSession_->setSink({[this](const ChatSession::Line& line) { chatLineAdded(line); },
                           [this](const QString& text) { chatWindow_->setStatus(text); }});
    connect(card_.get(), &Card::changed, this,
            [this] { chatSession_->setKeeperName(card_->state.machineKeeperName); });
    connect(card_.get(), &Card::told, this,
            [this](const QString& words) { chatSession_->addCardLine(words); });
    connect(chatWindow_.get(), &ChatWindow::cardKeyPressed, window_.get(), &CardWindow::trigger);
    connect(chatWindow_.get(), &ChatWindow::closedByPlayer, this, [this] { rememberChatWindow(); });
    connect(window_.get(), &CardWindow::chatWindowToggleRequested, this,
            &JackwellApp::toggleChatWindow);
    connect(window_.get(), &CardWindow::menuRequested, this, &JackwellApp::showCardMenu);
    windowPair_ = new WindowPair(*window_, *chatWindow_, preferences_);
    connect(window_.get(), &CardWindow::statisticsRequested, this, &JackwellApp::showStatistics);
    connect(window_.get(), &CardWindow::hintRequested, this, &JackwellApp::showHint);
    files_ = setup_.files;
    if (!files_) {
        ownFiles_ = std::make_unique<QtFileChooser>();
        files_ = ownFiles_.get();
    }
    pictureTestCorner_ = new PictureTestCorner(
        *window_, *files_, [this](const QString& message) { emit problem(message); });
    connect(window_.get(), &CardWindow::optionsRequested, this, &JackwellApp::showOptions);
    addShortcuts();
}

// Keys that work in every window of the program.
void JackwellApp::addShortcuts() {
    const auto everywhere = [this](QKeySequence keys, auto action) {
        auto* shortcut = new QShortcut(keys, window_.get());
        shortcut->setContext(Qt::ApplicationShortcut);
        connect(shortcut, &QShortcut::activated, this, action);
    };
    everywhere(QKeySequence(Qt::Key_F1), &JackwellApp::showHelp);
    everywhere(QKeySequence(Qt::CTRL | Qt::Key_Q), [this] { window_->close(); });
}

JackwellApp::~JackwellApp() {
    statisticsWindow_.reset();
    optionsWindow_.reset();
    helpWindow_.reset();
    chatSession_->attach(nullptr);
    chatWindow_.reset();
    window_.reset();
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
        chooseBundledSounds();
    renderOptions();
    if (read.status == SettingsResult::Failed) {
        startFailure_ = StartFailure::Settings;
        *error = read.message;
        return false;
    }
    if (options_.stayOnTop == CheckState::Ticked)
        window_->setStayOnTop(true);
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
    chooseBundledSounds();
    renderOptions();
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

// Each line for the chat window; a result the card's machinekeeper sent is also kept for the
// statistics, and shown in them at once while they are open.
void JackwellApp::chatLineAdded(const ChatSession::Line& line) {
    chatWindow_->appendLine(line);
    history_->lineAdded(line.text, line.look);
    if (line.look.keeper && line.look.kind == ChatLineKind::PrivateFrom && statisticsWindow_ &&
        statisticsWindow_->isVisible() && line.text.contains(machine::kFinalDrawHead))
        statisticsWindow_->showGames(history_->read(card_->state.machineKeeperName));
}

// No Settings.txt yet: a first run, which starts with the program's own sounds, both played.
// They reach the file when it is written, as every option does.
void JackwellApp::chooseBundledSounds() {
    if (setup_.soundsDir.isEmpty())
        return;
    const QDir sounds(setup_.soundsDir);
    if (const QString win = sounds.filePath(kWinSound); QFileInfo(win).isFile()) {
        options_.winSoundFile = win;
        options_.playWinSound = CheckState::Ticked;
    }
    if (const QString lose = sounds.filePath(kLoseSound); QFileInfo(lose).isFile()) {
        options_.loseSoundFile = lose;
        options_.playLoseSound = CheckState::Ticked;
    }
}

void JackwellApp::showWindows() {
    const bool withChat = preferences_.chatWindow().open;
    windowPair_->placeCard(withChat);
    window_->show();
    if (withChat)
        showChatWindow();
    window_->activateWindow(); // the keyboard starts on the card
    window_->setFocus(Qt::ActiveWindowFocusReason);
    // What the first paint does not need waits until the windows are there to see: every window
    // takes the program's icon, and the embedded world opens its machinekeeper's books (what
    // the player must hear about them is shown).
    afterFirstPaint(withChat ? static_cast<QWidget&>(*chatWindow_) : *window_, [this] {
        QApplication::setWindowIcon(programIcon());
        if (const QString notice = history_->notice(); !notice.isEmpty() && !unloaded_)
            emit problem(notice);
        emit firstPainted();
    });
}

void JackwellApp::showChatWindow() {
    if (unloaded_)
        return;
    ChatWindow& chat = *chatWindow_;
    if (!chat.isVisible()) {
        windowPair_->placeChat();
        chat.show();
    }
    chat.setWindowState(chat.windowState() & ~Qt::WindowMinimized);
    chat.raise();
    rememberChatWindow();
}

void JackwellApp::hideChatWindow() {
    chatWindow_->hide();
    rememberChatWindow();
}

void JackwellApp::toggleChatWindow() {
    if (chatWindow_->isVisible())
        hideChatWindow();
    else
        showChatWindow();
}

void JackwellApp::rememberChatWindow() {
    windowPair_->remember();
}

void JackwellApp::showCardMenu(const QPoint& globalPos) {
    if (unloaded_)
        return;
    auto* menu = new QMenu(window_.get());
    menu->setAttribute(Qt::WA_DeleteOnClose);
    menu->setObjectName(QStringLiteral("cardMenu"));
    QAction* chat =
        menu->addAction(QStringLiteral("Chat window\tC"), this, &JackwellApp::toggleChatWindow);
    chat->setCheckable(true);
    chat->setChecked(chatWindow_->isVisible());
    menu->addAction(QStringLiteral("Payouts\tP"), this,
                    [this] { window_->trigger(CardAction::ShowPayouts); });
    menu->addAction(QStringLiteral("Options\tO"), this,
                    [this] { window_->trigger(CardAction::ShowOptions); });
    menu->addAction(QStringLiteral("Statistics\tT"), this, &JackwellApp::showStatistics);
    menu->addAction(QStringLiteral("Hint\tH"), this, &JackwellApp::showHint);
    menu->addSeparator();
    menu->addAction(QStringLiteral("Help\tF1"), this, &JackwellApp::showHelp);
    menu->addAction(QStringLiteral("Keys"), this, &JackwellApp::showKeys);
    menu->addAction(QStringLiteral("About Jackwell"), this, &JackwellApp::showAbout);
    menu->addSeparator();
    menu->addAction(QStringLiteral("Quit\tCtrl+Q"), window_.get(), &QWidget::close);
    menu->popup(globalPos);
}

void JackwellApp::showHelp() {
    openHelp(false);
}

void JackwellApp::showKeys() {
    openHelp(true);
}

// On the card's screen.
void JackwellApp::openHelp(bool atKeys) {
    if (unloaded_)
        return;
    if (!helpWindow_)
        helpWindow_ = std::make_unique<HelpWindow>();
    QScreen* screen = window_->screen();
    helpWindow_->open(atKeys ? HelpWindow::Section::Keys : HelpWindow::Section::Rules,
                      screen ? screen->availableGeometry() : QRect());
}

void JackwellApp::showAbout() {
    delete infoBox_;
    QMessageBox* box = openInfoBox(
        window_.get(), QStringLiteral("About Jackwell"),
        QStringLiteral("Jackwell %1\n\nThe player's side of a three-reel slot machine that a "
                       "machinekeeper robot runs in a chat world.\n\n"
                       "Options (Settings.txt):\n%2\n\n"
                       "Preferences (the chat window's place):\n%3")
            .arg(QLatin1String(kJackwellVersion), QDir::toNativeSeparators(setup_.settingsPath),
                 setup_.preferencesPath.isEmpty()
                     ? QStringLiteral("not kept")
                     : QDir::toNativeSeparators(setup_.preferencesPath)));
    box->setObjectName(QStringLiteral("aboutBox"));
    infoBox_ = box;
}

void JackwellApp::showStatistics() {
    if (unloaded_)
        return;
    if (!statisticsWindow_)
        statisticsWindow_ = std::make_unique<StatisticsWindow>();
    statisticsWindow_->showGames(history_->read(card_->state.machineKeeperName));
    statisticsWindow_->setWindowState(statisticsWindow_->windowState() & ~Qt::WindowMinimized);
    statisticsWindow_->show();
    statisticsWindow_->raise();
}

void JackwellApp::showHint() {
    if (unloaded_)
        return;
    machine::ReelCodes firstDraw{};
    machine::HoldMask holds{};
    for (int reel = 0; reel < machine::kReelCount; ++reel) {
        firstDraw[reel] = codeValue(card_->state.reels[reel].firstCode);
        holds[reel] = isHeld(card_->state, reel);
    }
    delete infoBox_;
    QMessageBox* box =
        openInfoBox(window_.get(), QStringLiteral("Hint"), history::holdHint(firstDraw, holds));
    box->setObjectName(QStringLiteral("hintBox"));
    infoBox_ = box;
}

QString JackwellApp::shutDown() {
    if (unloaded_)
        return {};
    unloaded_ = true;
    statisticsWindow_.reset();
    // The chat window stays as the player left it for the next run.
    rememberChatWindow();
    chatWindow_->hide();
    chatSession_->attach(nullptr);
    history_->attach(nullptr);
    transport_->close();
    window_->unloadPayouts();
    // The options are saved whether or not the options window was ever shown. A
    // failure is the caller's to tell: the program is ending.
    const SettingsResult saved = writeSettingsFile(setup_.settingsPath, options_, pathSpellings_);
    optionsWindow_.reset();
    helpWindow_.reset();
    return saved.status == SettingsResult::Ok ? QString() : saved.message;
}

OptionsWindow& JackwellApp::optionsWindow() {
    if (!optionsWindow_) {
        optionsWindow_ = std::make_unique<OptionsWindow>(options_, *files_, setup_.soundsDir);
        OptionsWindow* window = optionsWindow_.get();
        connect(window, &OptionsWindow::stayOnTopChanged, this, &JackwellApp::applyStayOnTop);
        connect(window, &OptionsWindow::saveRequested, this, &JackwellApp::saveOptions);
        connect(window, &OptionsWindow::problem, this, &JackwellApp::problem);
    }
    return *optionsWindow_;
}

// The options window shows the options it is made with: one not made yet waits until it is needed.
void JackwellApp::renderOptions() {
    if (optionsWindow_)
        optionsWindow_->render();
}

void JackwellApp::showOptions() {
    if (unloaded_)
        return;
    OptionsWindow& options = optionsWindow();
    // Beside the card on its screen, unless the player has put it elsewhere there.
    const QRect screenArea = window_->screen()->availableGeometry();
    if (options.isHidden() && !fitsOn(options.frameGeometry(), screenArea))
        options.move(
            placeBeside(window_->frameGeometry(), options.frameGeometry().size(), screenArea));
    options.setWindowState(options.windowState() & ~Qt::WindowMinimized);
    options.show();
    options.raise();
    options.activateWindow();
}

void JackwellApp::applyStayOnTop() {
    if (options_.stayOnTop == CheckState::Ticked)
        window_->setStayOnTop(true);
    if (options_.stayOnTop == CheckState::Clear)
        window_->setStayOnTop(false);
}

bool JackwellApp::saveOptions() {
    const SettingsResult written = writeSettingsFile(setup_.settingsPath, options_, pathSpellings_);
    if (written.status != SettingsResult::Ok)
        emit problem(written.message);
    return written.status == SettingsResult::Ok;
}

} // namespace jackwell
