// Start-up and shutdown: the card comes to rest, the options are read and saved, the window is
// pinned when asked, and a chat link that cannot open or a broken settings file stops the program
// before its window shows. Driven as main() drives it, messages and exit included.

#include "shell/chat_window.h"
#include "shell/help_window.h"
#include "shell/options_window.h"
#include "shell/payouts_window.h"
#include "shell/program_dialogs.h"
#include "shell/program_flow.h"
#include "shell/program_windows.h"
#include "support/app_rig.h"
#include "support/ngircd_server.h"
#include "support/wait_until.h"

#include <QApplication>
#include <QDesktopServices>
#include <QDir>
#include <QMessageBox>
#include <QPointer>
#include <QPushButton>
#include <QTest>
#include <QTextBrowser>

#include <csignal>

namespace jackwell {
namespace {

using testing::AppRig;

// Start-up reads Settings.txt (pinning the card when Check1 is ticked, never creating it), brings
// the card to rest and opens the chat link. A first run takes the program's own sounds, both
// played; a file is read as it stands, keys it lacks keeping the design state; a broken one stops
// start-up naming it, before the link opens, and is kept. Shutdown writes what start-up read.
TEST(Startup, readsTheOptionsBringsTheCardToRestAndOpensTheChatLink) {
    QTemporaryDir data;
    const QDir sounds(data.path());
    for (const char* name : {"win.wav", "lose.wav"})
        testing::writeFile(sounds.filePath(name), "RIFF");
    const Options bundled{sounds.filePath("win.wav"), sounds.filePath("lose.wav"),
                          CheckState::Clear, CheckState::Ticked, CheckState::Ticked};
    const auto onTop = [](CheckState stayOnTop) { return Options{{}, {}, stayOnTop}; };
    // Settings.txt (null: none), the sounds' folder, if it starts, the options (Check1: on top).
    const std::tuple<QByteArray, QString, bool, Options> rows[] = {
        {QByteArray(), sounds.path(), true, bundled},
        {QByteArray(), data.filePath("missing"), true, Options{}},
        {"Check1\r\n0\r\n", sounds.path(), true, Options{}},
        {"", {}, true, Options{}},
        {"Check1\r\n1\r\n", {}, true, onTop(CheckState::Ticked)},
        {"Text1\r\n\r\nCheck1\r\n 1 \r\nCheck2\r\n 0 \r\n", {}, true, onTop(CheckState::Ticked)},
        {"Check1\r\n2\r\n", {}, true, onTop(CheckState::Greyed)},
        {"Check2\r\nplenty\r\n", {}, false, Options{}},
        {QByteArray(32, '\0'), {}, false, Options{}},
    };
    for (const auto& [settings, soundsDir, startsUp, options] : rows) {
        SCOPED_TRACE(settings.toStdString());
        AppRig rig(settings, AppRig::DoNotLoad, {soundsDir});
        QString error;
        EXPECT_EQ(rig.app->startUp(&error), startsUp) << error;
        EXPECT_EQ(rig.app->chatLibrary().backend() != nullptr, startsUp);
        EXPECT_EQ(rig.settingsOnDisk(), settings);
        if (!startsUp) {
            EXPECT_TRUE(error.contains(rig.settingsPath)) << error;
            continue;
        }
        EXPECT_EQ(rig.app->options(), options);
        EXPECT_EQ(AppRig::pinned(rig.app->windows().card()),
                  options.stayOnTop == CheckState::Ticked);
        const CardState& state = rig.app->card().state;
        for (const Reel& reel : state.reels) {
            EXPECT_FALSE(reel.timer.enabled);
            EXPECT_EQ(reel.timer.interval, 100);
            EXPECT_TRUE(reel.reelPicture.visible && !reel.resultPicture.visible);
        }
        EXPECT_FALSE(state.evaluationTimer.enabled || state.finishEnabled);
        EXPECT_TRUE(state.startEnabled && state.espHoldEnabled);
        rig.app->shutDown();
        Options written;
        ASSERT_EQ(readSettingsFile(rig.settingsPath, written).status, SettingsResult::Ok);
        EXPECT_EQ(written, options);
    }
}

// The program as main() runs it: what it shows, what it prints and when it ends.
struct ProgramRun {
    explicit ProgramRun(JackwellApp& app)
        : flow(app) {
        QObject::connect(&flow, &ProgramFlow::finished,
                         [this](int exitCode) { exitCodes.push_back(exitCode); });
        app.windows().card().installEventFilter(&shows);
    }
    // Counts the times the card was shown.
    struct ShowCounter : QObject {
        int count = 0;
        bool eventFilter(QObject*, QEvent* event) override {
            count += event->type() == QEvent::Show;
            return false;
        }
    } shows;
    ProgramFlow flow;
    std::vector<int> exitCodes; // once the program is over, its exit code
    std::string printed;        // what went to stderr

    template <typename Action> void capturingStderr(Action action) {
        ::testing::internal::CaptureStderr();
        action();
        printed += ::testing::internal::GetCapturedStderr();
    }
    bool printedText(const QString& text) const {
        return QString::fromStdString(printed).contains(QString(text).replace(u'\n', u' '));
    }
};

// The message box the program shows, if one is open.
QMessageBox* openMessage() {
    for (QWidget* window : QApplication::topLevelWidgets()) {
        if (auto* box = qobject_cast<QMessageBox*>(window); box && box->isVisible())
            return box;
    }
    return nullptr;
}

// A failed start-up says why in the message (the server's words for a wrong password, the line of a
// Chat.txt that cannot be used, the option of an unreadable Settings.txt), on stderr too, and
// offers what can be done. The card shows once the player chose the embedded world or the default
// options (the broken file kept); Open Chat.txt opens it and asks again. Quit, closing, Return, Esc
// or the system's stop end with no shutdown (Settings.txt as it was).
TEST(Startup, aFailedStartSaysWhyAndOffersWhatThePlayerCanDo) {
    enum Source { Refusing, BadChatTxt, WrongPassword, BadSettings };
    enum Ending {
        Quit,
        Closed,
        StoppedBySystem,
        PlayEmbedded,
        OpenChatTxt,
        StartWithDefaults,
        Return,
        Escape,
    };
    testing::NgircdServer server({.serverPassword = "right"});
    QString error;
    ASSERT_TRUE(server.start(&error)) << error;
    const std::tuple<Source, Ending, const char*> rows[] = {
        {Refusing, Quit, "no chat client is running"},
        {BadChatTxt, Closed, "Chat.txt, line 3: port"},
        {Refusing, StoppedBySystem, "no chat client is running"},
        {WrongPassword, PlayEmbedded, "turned the connection down: Access denied: Bad password"},
        {BadChatTxt, OpenChatTxt, "Chat.txt, line 3: port"},
        {BadSettings, StartWithDefaults, "Play Winning Sound (Check2) on line 2 is not 0, 1 or 2"},
        {Refusing, Return, "no chat client is running"},
        {Refusing, Escape, "no chat client is running"},
        {BadSettings, Return, "Play Winning Sound (Check2) on line 2 is not 0, 1 or 2"},
        {BadSettings, Escape, "Play Winning Sound (Check2) on line 2 is not 0, 1 or 2"},
    };
    for (const auto& [source, ending, reason] : rows) {
        SCOPED_TRACE(int(ending));
        const QByteArray settings = source == BadSettings ? "Check2\r\n7\r\n" : "Check2\r\n1\r\n";
        AppRig rig(settings, AppRig::DoNotLoad);
        rig.linkOpens = source != Refusing;
        rig.useChatTxt = source == BadChatTxt || source == WrongPassword;
        const QString chatTxt = QDir(rig.dir.path()).filePath("Chat.txt");
        if (source == BadChatTxt)
            testing::writeFile(chatTxt, "server = 127.0.0.1\nnick = Player\nport = many\n");
        if (source == WrongPassword)
            testing::writeFile(chatTxt,
                               QStringLiteral("server = 127.0.0.1\nnick = Player\nport = %1\n"
                                              "password = wrong\n")
                                   .arg(server.port())
                                   .toUtf8());
        QTextBrowser opened; // where the desktop's opening of a file is sent instead
        QDesktopServices::setUrlHandler("file", &opened, "setSource");
        const auto unset = qScopeGuard([] { QDesktopServices::unsetUrlHandler("file"); });
        ProgramRun run(*rig.app);
        run.capturingStderr([&] { run.flow.start(); });
        QMessageBox* box = openMessage();
        ASSERT_TRUE(box);
        if (source != BadSettings) {
            EXPECT_EQ(box->text(), "Run-time error '10001':\n\nFailed to initialize DDE layer");
        }
        const QString told = box->text() + box->informativeText();
        EXPECT_TRUE(told.contains(reason)) << told;
        EXPECT_FALSE(told.contains("remote host closed")) << told;
        EXPECT_TRUE(box->detailedText().isEmpty()) << "nothing is hidden behind Show Details";
        EXPECT_TRUE(run.printedText(box->text()) && run.printedText(reason)) << run.printed;
        QStringList choices;
        for (QAbstractButton* button : box->buttons())
            choices << button->text();
        const QStringList offered =
            source == BadSettings ? QStringList{"Quit", "Start with defaults"}
            : source == Refusing
                ? QStringList{"Play in the embedded world", "Quit"}
                : QStringList{"Open Chat.txt", "Play in the embedded world", "Quit"};
        choices.sort();
        EXPECT_EQ(choices, offered);
        testing::runEventsFor(50);
        EXPECT_TRUE(run.exitCodes.empty()) << "the program waits for the player";
        const auto choose = [](QMessageBox* box, const QString& choice) {
            for (QAbstractButton* button : box->buttons())
                if (button->text() == choice)
                    button->click();
        };
        if (ending == OpenChatTxt) {
            const QPointer<QMessageBox> asked = box;
            choose(box, "Open Chat.txt");
            EXPECT_EQ(opened.source(), QUrl::fromLocalFile(chatTxt));
            box = openMessage();
            ASSERT_TRUE(box) << "the choice is still the player's";
            QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
            EXPECT_FALSE(asked) << "not left hidden";
        }
        if (ending == Quit || ending == OpenChatTxt)
            choose(box, "Quit");
        else if (ending == Closed)
            box->close();
        else if (ending == StoppedBySystem)
            run.flow.stopBySystem();
        else if (ending == Return || ending == Escape) // where the desktop sends it
            QTest::keyClick(box->focusWidget() ? box->focusWidget() : box,
                            ending == Return ? Qt::Key_Return : Qt::Key_Escape);
        else
            choose(box,
                   ending == PlayEmbedded ? ProgramFlow::kPlayEmbedded : "Start with defaults");
        EXPECT_EQ(openMessage(), nullptr);
        const bool plays = ending == PlayEmbedded || ending == StartWithDefaults;
        if (!plays)
            run.flow.stopBySystem(); // the system's stop as the program ends: nothing more
        EXPECT_EQ(run.exitCodes, plays ? std::vector<int>{} : std::vector<int>{1});
        EXPECT_EQ(run.shows.count, plays ? 1 : 0);
        EXPECT_EQ(rig.app->chatLibrary().backend() != nullptr, plays);
        EXPECT_EQ(rig.settingsOnDisk(), ending == StartWithDefaults ? QByteArray() : settings);
        if (ending == StartWithDefaults) {
            EXPECT_EQ(testing::fileBytes(rig.settingsPath + ".broken", "(none)"), settings);
            EXPECT_EQ(rig.app->options(), Options{});
        }
        if (plays) { // played after all, the program ends as any other run: exit code 0
            if (ending == PlayEmbedded) // stopped before the answered box is deleted
                run.flow.stopBySystem();
            else
                rig.app->windows().card().close();
            EXPECT_TRUE(testing::waitUntil([&] { return !run.exitCodes.empty(); }, 5000));
            EXPECT_EQ(run.exitCodes, std::vector<int>{0});
            EXPECT_FALSE(rig.app->windows().card().isVisible());
        }
    }
}

// Shutdown closes the link, the payouts and the help and writes the options, never shown.
TEST(Shutdown, closesTheLinkThePayoutsWindowAndTheHelpAndSavesTheOptions) {
    AppRig rig{QByteArray()};
    rig.app->card().showPayouts();
    rig.app->dialogs().showHelp();
    rig.app->dialogs().showStatistics();
    QPointer<OptionsWindow> options = &rig.app->dialogs().optionsWindow();
    QPointer<PayoutsWindow> payouts = rig.app->windows().card().payoutsWindow();
    QPointer<HelpWindow> help = rig.app->dialogs().helpWindow();
    ASSERT_TRUE(payouts && help && help->isVisible());
    rig.app->options() = {"/sounds/win, loud.wav", {}, CheckState::Clear, CheckState::Ticked};
    rig.app->shutDown();
    EXPECT_EQ(rig.app->chatLibrary().backend(), nullptr);
    EXPECT_TRUE(payouts.isNull() && help.isNull());
    EXPECT_TRUE(options.isNull() && !rig.app->dialogs().statisticsWindow());
    rig.app->dialogs().showHelp(); // F1 while the program ends
    EXPECT_FALSE(rig.app->dialogs().helpWindow() || rig.app->card().payouts.exists);
    Options reread;
    ASSERT_EQ(readSettingsFile(rig.settingsPath, reread).status, SettingsResult::Ok);
    EXPECT_EQ(reread, rig.app->options());
}

// A run that changes nothing gives Settings.txt back byte for byte, even with 8-bit coded paths.
TEST(Shutdown, givesBackPathsInAnotherCodePageByteForByte) {
    const QByteArray latin1 = "Text1\r\n/sons/caf\xE9.wav\r\nText2\r\n/sons/perdu\xE9.wav\r\n"
                              "Check1\r\n 0 \r\nCheck2\r\n 1 \r\nCheck3\r\n 1 \r\n";
    AppRig rig(latin1);
    EXPECT_EQ(rig.app->options().winSoundFile, "/sons/café.wav");
    rig.app->shutDown();
    EXPECT_EQ(rig.settingsOnDisk(), latin1);
}

// Closing the card ends the program once the options are saved, saying nothing. Options that
// cannot be saved (the file replaced by a folder) are not lost in silence: the message names the
// file and why, on stderr too, and stays until the player confirms it; stopped by the system
// (SIGHUP at a logout) the failure goes to stderr only. Either way the chat link is closed.
TEST(Shutdown, endsOnceTheOptionsAreSavedOrTheFailureIsTold) {
    enum Ending { Saved, SaveFails, SignalledAndSaveFails };
    for (const Ending ending : {Saved, SaveFails, SignalledAndSaveFails}) {
        SCOPED_TRACE(int(ending));
        AppRig rig;
        ProgramRun run(*rig.app);
        if (ending == SignalledAndSaveFails) {
            ASSERT_TRUE(run.flow.stopOnSignals());
        }
        run.flow.start();
        EXPECT_EQ(run.shows.count, 1);
        if (ending != Saved) {
            ASSERT_TRUE(QFile::remove(rig.settingsPath));
            ASSERT_TRUE(QDir(rig.dir.path()).mkdir("Settings.txt"));
        }
        rig.app->options().playLoseSound = CheckState::Ticked;
        run.capturingStderr([&] {
            if (ending != SignalledAndSaveFails)
                rig.app->windows().card().close();
            else if (::raise(SIGHUP) == 0)
                testing::waitUntil([&] { return !run.exitCodes.empty(); }, 5000);
        });
        EXPECT_EQ(rig.app->chatLibrary().backend(), nullptr) << "the chat link is closed";
        EXPECT_FALSE(rig.app->windows().card().isVisible() ||
                     rig.app->windows().chat().isVisible());
        QMessageBox* box = openMessage();
        if (ending == Saved) {
            EXPECT_EQ(run.exitCodes, std::vector<int>{0});
            EXPECT_TRUE(box == nullptr && run.printed.empty()) << run.printed;
            Options reread;
            ASSERT_EQ(readSettingsFile(rig.settingsPath, reread).status, SettingsResult::Ok);
            EXPECT_EQ(reread.playLoseSound, CheckState::Ticked);
            continue;
        }
        const QString failure = rig.settingsPath + " cannot be written: ";
        EXPECT_TRUE(run.printedText(failure)) << run.printed;
        if (ending == SaveFails) {
            ASSERT_TRUE(box);
            EXPECT_TRUE(box->text().startsWith(failure)) << box->text();
            EXPECT_TRUE(run.printedText(box->text())) << run.printed;
            testing::runEventsFor(50);
            EXPECT_TRUE(run.exitCodes.empty()) << "the program waits for the player";
            EXPECT_TRUE(box->isVisible());
            box->button(QMessageBox::Ok)->click();
        } else {
            EXPECT_EQ(box, nullptr);
        }
        EXPECT_EQ(run.exitCodes, std::vector<int>{1});
    }
}

} // namespace
} // namespace jackwell
