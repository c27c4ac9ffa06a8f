#include "shell/jackwell_app.h"

#include "clock/clock.h"
#include "settings/settings_file.h"
#include "shell/frm_jackwell.h"
#include "shell/frm_options.h"
#include "shell/picture_test_corner.h"
#include "shell/qt_file_chooser.h"

namespace jackwell {

const QByteArray JackwellApp::appName = QByteArrayLiteral("Jackwell");

JackwellApp::JackwellApp(Setup setup)
    : setup_(std::move(setup)) {
    library_ = std::make_unique<ChatLibrary>(setup_.clock, setup_.chatBackend);
    transport_ = std::make_unique<ChatTransport>(*library_, setup_.clock, appName);
    card_ = std::make_unique<Card>(
        Card::Effects{*transport_, setup_.clock, setup_.sound, setup_.beeper, options_});
    window_ = std::make_unique<frmJackwell>(*card_);
    files_ = setup_.files;
    if (!files_) {
        ownFiles_ = std::make_unique<QtFileChooser>();
        files_ = ownFiles_.get();
    }
    pictureTestCorner_ = new PictureTestCorner(
        *window_, *files_, [this](const QString& message) { emit problem(message); });
    connect(window_.get(), &frmJackwell::optionsRequested, this, &JackwellApp::showOptions);
}

JackwellApp::~JackwellApp() {
    optionsWindow_.reset();
    window_.reset();
    card_.reset();
    transport_.reset();
    library_.reset();
}

bool JackwellApp::startUp(QString* error, QString* detail) {
    card_->bringToRest();
    optionsWindow(); // made hidden before the settings are read into it
    const SettingsResult read = readSettingsFile(
        setup_.settingsPath, options_, [this](int) { applyStayOnTop(); }, &pathSpellings_);
    optionsWindow_->render();
    if (read.status == SettingsResult::Failed) {
        *error = read.message;
        return false;
    }
    if (options_.stayOnTop == 1)
        window_->setStayOnTop(true);
    if (transport_->open() != 0) {
        *error = QStringLiteral("Run-time error '%1':\n\nFailed to initialize DDE layer")
                     .arg(kInitErrorNumber);
        if (detail)
            *detail = library_->openError();
        return false;
    }
    return true;
}

QString JackwellApp::shutDown() {
    if (unloaded_)
        return {};
    unloaded_ = true;
    transport_->close();
    window_->unloadPayouts();
    // The options are saved whether or not the options window was ever shown. A
    // failure is the caller's to tell: the program is ending.
    const SettingsResult saved = writeSettingsFile(setup_.settingsPath, options_, pathSpellings_);
    optionsWindow_.reset();
    return saved.status == SettingsResult::Ok ? QString() : saved.message;
}

frmOptions& JackwellApp::optionsWindow() {
    if (!optionsWindow_)
        optionsWindow_ = std::make_unique<frmOptions>(*this, *files_);
    return *optionsWindow_;
}

void JackwellApp::showOptions() {
    if (unloaded_)
        return;
    frmOptions& options = optionsWindow();
    options.setWindowState(options.windowState() & ~Qt::WindowMinimized);
    options.show();
    options.raise();
    options.activateWindow();
}

void JackwellApp::applyStayOnTop() {
    if (options_.stayOnTop == 1)
        window_->setStayOnTop(true);
    if (options_.stayOnTop == 0)
        window_->setStayOnTop(false);
}

bool JackwellApp::saveOptions() {
    const SettingsResult written = writeSettingsFile(setup_.settingsPath, options_, pathSpellings_);
    if (written.status != SettingsResult::Ok)
        emit problem(written.message);
    return written.status == SettingsResult::Ok;
}

} // namespace jackwell
