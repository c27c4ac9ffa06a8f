#pragma once

#include "card/card.h"
#include "chat/dapi.h"
#include "chat/transport.h"
#include "chatview/chat_session.h"
#include "history/game_history.h"
#include "platform/preferences.h"
#include "settings/options.h"
#include "settings/settings_file.h"

#include <QString>

#include <memory>
#include <optional>

namespace jackwell {

class Beeper;
class Clock;
class FileChooser;
class ProgramDialogs;
class ProgramWindows;
class SoundPlayer;

// The program from the main window's load to its unload: start-up (Settings.txt, then the chat
// world, chosen once here), its options and its link to the chat world, and shutdown. The
// windows and the dialogs are ProgramWindows' and ProgramDialogs'.
class JackwellApp : public QObject {
    Q_OBJECT

public:
    static constexpr qint16 kInitErrorNumber = 10001;
    static const QByteArray appName; // "Jackwell"

    struct Setup {
        Clock& clock;
        ChatPortFactory chatBackend;
        SoundPlayer& sound;
        Beeper& beeper;
        QString settingsPath;
        FileChooser* files = nullptr; // null: the platform's Open dialogs
        // The preferences file (the chat window's place); empty: nothing is kept.
        QString preferencesPath = {};
        // The program's own win.wav and lose.wav, chosen on a first run; empty: none.
        QString soundsDir = {};
        // The embedded world, to play in when the chat link chosen by Chat.txt cannot open;
        // empty: not offered.
        ChatPortFactory embeddedWorld = {};
        // Where chatBackend reads Chat.txt from (offered to the player when the link fails);
        // empty: nowhere.
        QString chatConfigPath = {};
        // The player's data folder, where the results seen on networks are kept; empty: they
        // are not kept.
        QString dataDir = {};
        // Whether the chat is docked beside the card in one window; none: as the platform
        // needs (docked under Wayland).
        std::optional<bool> docked = {};
    };
    // What start-up stopped at, after startUp gave false.
    enum class StartFailure { None, Settings, ChatLink };

    explicit JackwellApp(Setup setup);
    ~JackwellApp() override;

    // Start-up, before the main window is first shown. On failure returns
    // false with the message for the player in `error` and, when there is more
    // to say (why the chat link did not open), the reason in `detail`; the
    // window must not be shown. With no Settings.txt yet, the program's own
    // sounds are chosen and switched on.
    bool startUp(QString* error, QString* detail = nullptr);
    StartFailure startFailure() const { return startFailure_; }
    // After a Settings.txt that cannot be read: sets it aside (see setBrokenSettingsAside), takes
    // the options of a first run and goes on with start-up as startUp does. `keptAs` is where
    // the file now is.
    bool startWithDefaultSettings(QString* keptAs, QString* error, QString* detail = nullptr);
    // After a chat link that did not open: goes on with start-up in the embedded world, for
    // this run only (Chat.txt stays as it is).
    bool startInEmbeddedWorld(QString* error, QString* detail = nullptr);
    bool canPlayInEmbeddedWorld() const;
    const QString& settingsPath() const { return setup_.settingsPath; }
    // The Chat.txt behind the chat link, when there is one.
    QString chatConfigFile() const;
    // Shows the card and, unless the player closed it last time, the chat window beside it.
    void showWindows();
    // Shutdown: closes the chat link and the other windows, saving the options.
    // Gives the message for the player when the options could not be saved,
    // empty when they were (or when shutdown has run before).
    QString shutDown();

    Card& card() { return *card_; }
    Options& options() { return options_; }
    ChatLibrary& chatLibrary() { return *library_; }
    ChatSession& chatSession() { return *chatSession_; }
    // The card and the chat window, and where they stand.
    ProgramWindows& windows() { return *windows_; }
    // The options, help, statistics, hint and about windows, and the card's menu.
    ProgramDialogs& dialogs() { return *dialogs_; }

    // "Stay On Top" clicked, or set by the settings reader: ticked pins the main
    // window, clear releases it, greyed changes nothing.
    void applyStayOnTop();
    // Writes the settings file; a failure is shown to the player, the program goes on.
    void saveOptions();

signals:
    // A message for the player (a settings file that cannot be written, ...).
    void problem(const QString& message);
    // Once, when the windows shown at start have been painted: the moment for what start-up
    // left until the player sees them.
    void firstPainted();

private:
    bool openChatLink(QString* error, QString* detail);

    Setup setup_;
    Options options_;
    PathSpellings pathSpellings_; // how Settings.txt spelt the paths it was read with
    Preferences preferences_;
    std::unique_ptr<ChatLibrary> library_;
    std::unique_ptr<ChatTransport> transport_;
    std::unique_ptr<Card> card_;
    std::unique_ptr<ChatSession> chatSession_;
    std::unique_ptr<history::GameHistory> history_;
    std::unique_ptr<ProgramWindows> windows_;
    std::unique_ptr<ProgramDialogs> dialogs_;
    StartFailure startFailure_ = StartFailure::None;
    bool inEmbeddedWorld_ = false; // chosen by the player after the chat link failed
    bool unloaded_ = false;
};

} // namespace jackwell
