#pragma once

#include "card/card.h"
#include "chat/dapi.h"
#include "chat/transport.h"
#include "chatview/chat_session.h"
#include "history/game_history.h"
#include "platform/preferences.h"
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
class ChatWindow;
class CardWindow;
class OptionsWindow;
class HelpWindow;
class WindowPair;
class StatisticsWindow;

// The program: its windows, its options and its link to the chat world, from
// the main window's load to its unload. Beside the card stands the chat window;
// whether it is open, and where both stand, is kept in the preferences, not in Settings.txt.
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

    CardWindow& window() { return *window_; }
    Card& card() { return *card_; }
    Options& options() { return options_; }
    ChatTransport& chat() { return *transport_; }
    ChatLibrary& chatLibrary() { return *library_; }
    // The options window, made hidden when it does not exist yet.
    OptionsWindow& optionsWindow();
    PictureTestCorner& pictureTestCorner() { return *pictureTestCorner_; }

    // OPTIONS: shows the options window, modeless and without an owner.
    void showOptions();

    ChatWindow& chatWindow() { return *chatWindow_; }
    ChatSession& chatSession() { return *chatSession_; }
    Preferences& preferences() { return preferences_; }
    // Opens the chat window where it last stood, or beside the card, on screen.
    void showChatWindow();
    void hideChatWindow();
    void toggleChatWindow();
    // The card's menu at `globalPos`: the chat window, payouts, options, help, keys, about, quit.
    void showCardMenu(const QPoint& globalPos);
    // The help window (F1) at its start, or at the keys.
    void showHelp();
    void showKeys();
    HelpWindow* helpWindow() const { return helpWindow_.get(); }
    void showAbout();
    // The statistics window, the history read anew; made on first use.
    void showStatistics();
    // The best holds for the first draw on the card; it only shows.
    void showHint();
    // The statistics window, or null before it was first opened.
    StatisticsWindow* statisticsWindow() { return statisticsWindow_.get(); }
    history::GameHistory& history() { return *history_; }

    // "Stay On Top" clicked, or set by the settings reader: ticked pins the main
    // window, clear releases it, greyed changes nothing.
    void applyStayOnTop();
    // Writes the settings file; a failure is shown to the player, the program goes on.
    bool saveOptions();

signals:
    // A message for the player (a settings file that cannot be written, ...).
    void problem(const QString& message);
    // Once, when the windows shown at start have been painted: the moment for what start-up
    // left until the player sees them.
    void firstPainted();

private:
    Setup setup_;
    Options options_;
    PathSpellings pathSpellings_; // how Settings.txt spelt the paths it was read with
    std::unique_ptr<ChatLibrary> library_;
    std::unique_ptr<ChatTransport> transport_;
    std::unique_ptr<Card> card_;
    std::unique_ptr<ChatSession> chatSession_;
    std::unique_ptr<CardWindow> window_;
    std::unique_ptr<ChatWindow> chatWindow_;
    Preferences preferences_;
    std::unique_ptr<FileChooser> ownFiles_;
    FileChooser* files_ = nullptr;
    PictureTestCorner* pictureTestCorner_ = nullptr; // a child of the main window
    WindowPair* windowPair_ = nullptr;               // a child of the main window
    std::unique_ptr<OptionsWindow> optionsWindow_;
    std::unique_ptr<HelpWindow> helpWindow_;
    std::unique_ptr<history::GameHistory> history_;
    std::unique_ptr<StatisticsWindow> statisticsWindow_;
    bool unloaded_ = false;

    void chooseBundledSounds();
    void renderOptions();
    bool openChatLink(QString* error, QString* detail);
    StartFailure startFailure_ = StartFailure::None;
    bool inEmbeddedWorld_ = false; // chosen by the player after the chat link failed
    void rememberChatWindow();
    void addShortcuts();
    void resultTaken(const QString& line);
    void openHelp(bool atKeys);
    QPointer<QWidget> infoBox_; // the about box, while it is open
};

} // namespace jackwell
