#include "shell/jackwell_app.h"

#include "clock/clock.h"
#include "settings/settings_file.h"
#include "shell/frm_jackwell.h"

namespace jackwell {

const QByteArray JackwellApp::appName = QByteArrayLiteral("Jackwell");

JackwellApp::JackwellApp(Setup setup) : setup_(std::move(setup)) {
    library_ = std::make_unique<ChatLibrary>(setup_.clock, setup_.chatBackend);
    transport_ = std::make_unique<ChatTransport>(*library_, setup_.clock, appName);
    card_ = std::make_unique<Card>(
        Card::Effects{*transport_, setup_.clock, setup_.sound, setup_.beeper, options_});
    window_ = std::make_unique<frmJackwell>(*card_);
}

JackwellApp::~JackwellApp() {
    window_.reset();
    card_.reset();
    transport_.reset();
    library_.reset();
}

bool JackwellApp::Form_Load(QString* error) {
    card_->bringToRest();
    const SettingsResult read =
        readSettingsFile(setup_.settingsPath, options_, [this](int) { Check1_Click(); });
    if (read.status == SettingsResult::Failed) {
        *error = read.message;
        return false;
    }
    if (options_.check1 == 1)
        window_->SetStayOnTop(true);
    if (transport_->open() != 0) {
        *error = QStringLiteral("Run-time error '%1':\n\nFailed to initialize DDE layer")
                     .arg(kInitErrorNumber);
        return false;
    }
    return true;
}

void JackwellApp::Form_Unload() {
    if (unloaded_)
        return;
    unloaded_ = true;
    transport_->close();
    window_->unloadPayouts();
    saveOptions();
}

void JackwellApp::Check1_Click() {
    if (options_.check1 == 1)
        window_->SetStayOnTop(true);
    if (options_.check1 == 0)
        window_->SetStayOnTop(false);
}

bool JackwellApp::saveOptions() {
    const SettingsResult written = writeSettingsFile(setup_.settingsPath, options_);
    if (written.status != SettingsResult::Ok)
        emit problem(written.message);
    return written.status == SettingsResult::Ok;
}

} // namespace jackwell
