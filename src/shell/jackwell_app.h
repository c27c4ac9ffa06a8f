#pragma once

#include "chat/dapi.h"
#include "chat/transport.h"
#include "controls/card.h"
#include "settings/options.h"
#include "settings/settings_file.h"

#include <QPointer>
#include <QString>

#include <memory>

namespace jackwell {

class Beeper;
class Clock;
class FileChooser;
class PictureTestCorner;
class SoundPlayer;
class frmJackwell;
class frmOptions;

// The program: its windows, its options and its link to the chat world, from
// the main window's load to its unload.
class JackwellApp : public QObject {
    Q_OBJECT

public:
    static constexpr qint16 kInitErrorNumber = 10001;
    static const QByteArray appName; // "Jackwell"

    struct Setup {
        Clock& clock;
        ChatBackendFactory chatBackend;
        SoundPlayer& sound;
        Beeper& beeper;
        QString settingsPath;
        FileChooser* files = nullptr; // null: the platform's Open dialogs
    };

    explicit JackwellApp(Setup setup);
    ~JackwellApp() override;

    // Start-up, before the main window is first shown. On failure returns
    // false with the message for the player in `error` and, when there is more
    // to say (why the chat link did not open), the reason in `detail`; the
    // window must not be shown.
    bool startUp(QString* error, QString* detail = nullptr);
    // Shutdown: closes the chat link and the other windows, saving the options.
    // Gives the message for the player when the options could not be saved,
    // empty when they were (or when shutdown has run before).
    QString shutDown();

    frmJackwell& window() { return *window_; }
    Card& card() { return *card_; }
    Options& options() { return options_; }
    ChatTransport& chat() { return *transport_; }
    ChatLibrary& chatLibrary() { return *library_; }
    // The options window, made hidden when it does not exist yet.
    frmOptions& optionsWindow();
    PictureTestCorner& pictureTestCorner() { return *pictureTestCorner_; }

    // OPTIONS: shows the options window, modeless and without an owner.
    void showOptions();

    // "Stay On Top" clicked, or set by the settings reader: 1 pins the main
    // window, 0 releases it, 2 changes nothing.
    void applyStayOnTop();
    // Writes the settings file; a failure is shown to the player, the program goes on.
    bool saveOptions();

signals:
    // A message for the player (a settings file that cannot be written, ...).
    void problem(const QString& message);

private:
    Setup setup_;
    Options options_;
    PathSpellings pathSpellings_; // how Settings.txt spelt the paths it was read with
    std::unique_ptr<ChatLibrary> library_;
    std::unique_ptr<ChatTransport> transport_;
    std::unique_ptr<Card> card_;
    std::unique_ptr<frmJackwell> window_;
    std::unique_ptr<FileChooser> ownFiles_;
    FileChooser* files_ = nullptr;
    PictureTestCorner* pictureTestCorner_ = nullptr; // a child of the main window
    std::unique_ptr<frmOptions> optionsWindow_;
    bool unloaded_ = false;
};

} // namespace jackwell
