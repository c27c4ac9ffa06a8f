// Start-up and shutdown: the card comes to rest, the options are read and
// saved, the window is pinned when asked, and a chat link that cannot open or
// a broken settings file stops the program before its window shows. The
// program's course is driven as main() drives it, messages and exit included.

#include "shell/payouts_window.h"
#include "shell/program_flow.h"
#include "support/app_rig.h"
#include "support/wait_until.h"

#include <QApplication>
#include <QDir>
#include <QMessageBox>
#include <QPointer>
#include <QPushButton>

#include <csignal>

namespace jackwell {
namespace {

using testing::AppRig;

// Start-up reads Settings.txt (pinning the card when Check1 is ticked, never creating the file),
// brings the card to rest and opens the chat link. With no Settings.txt yet, a first run takes
// the program's own sounds, both played; a file that exists is read as it stands, keys it lacks
// keeping the design state. A broken file stops start-up naming it, before the link opens, and
// is kept. What start-up read is what shutdown writes.
TEST(Startup, readsTheOptionsBringsTheCardToRestAndOpensTheChatLink) {
    QTemporaryDir data;
    const QDir sounds(data.path());
    for (const char* name : {"win.wav", "lose.wav"})
        AppRig::writeFile(sounds.filePath(name), "RIFF");
    const Options bundled{sounds.filePath("win.wav"), sounds.filePath("lose.wav"),
                          CheckState::Clear, CheckState::Ticked, CheckState::Ticked};
    const auto pinned = [](CheckState stayOnTop) { return Options{{}, {}, stayOnTop}; };
    const struct {
        QByteArray settings; // null: no file
        QString soundsDir;
        bool startsUp;
        Options options;
        bool pinned;
    } rows[] = {
        {QByteArray(), sounds.path(), true, bundled, false},
        {QByteArray(), data.filePath("missing"), true, Options{}, false},
        {"Check1\r\n0\r\n", sounds.path(), true, Options{}, false},
        {"", {}, true, Options{}, false},
        {"Check1\r\n1\r\n", {}, true, pinned(CheckState::Ticked), true},
        {"Text1\r\n\r\nCheck1\r\n 1 \r\nCheck2\r\n 0 \r\n",
         {},
         true,
         pinned(CheckState::Ticked),
         true},
        {"Check1\r\n2\r\n", {}, true, pinned(CheckState::Greyed), false},
        {"Check2\r\nplenty\r\n", {}, false, Options{}, false},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.settings.toStdString());
        AppRig rig(row.settings, AppRig::DoNotLoad, {row.soundsDir});
        QString error;
        EXPECT_EQ(rig.app->startUp(&error), row.startsUp) << error.toStdString();
        EXPECT_EQ(rig.app->chatLibrary().backend() != nullptr, row.startsUp);
        EXPECT_EQ(rig.settingsOnDisk(), row.settings);
        if (!row.startsUp) {
            EXPECT_TRUE(error.contains(rig.settingsPath)) << error.toStdString();
            continue;
        }
        EXPECT_EQ(rig.app->options(), row.options);
        EXPECT_EQ(AppRig::pinned(rig.app->window()), row.pinned);
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
        EXPECT_EQ(written, row.options);
    }
}

// The program as main() runs it: what it shows, what it prints and when it ends.
struct ProgramRun {
    explicit ProgramRun(JackwellApp& app)
        : flow(app) {
        QObject::connect(&flow, &ProgramFlow::finished,
                         [this](int exitCode) { exitCodes.push_back(exitCode); });
        app.window().installEventFilter(&shows);
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

// A chat link that cannot open: the start-up error with its number and text, the reason as
// its detail (for a Chat.txt that cannot be used, its line), both on stderr too. The card is
// never shown; the program ends only once the player has confirmed or closed the message, or
// when the system stops it (a logout), and nothing of the shutdown runs (the settings file,
// not in the form the program writes, is left as it was).
TEST(Startup, aChatLinkThatCannotOpenEndsTheProgramOnceThePlayerHasReadWhy) {
    enum Ending { Confirmed, Closed, StoppedBySystem };
    for (const Ending ending : {Confirmed, Closed, StoppedBySystem}) {
        SCOPED_TRACE(int(ending));
        const QByteArray settings = "Check2\r\n1\r\n";
        AppRig rig(settings, AppRig::DoNotLoad);
        QString detail = AppRig::kRefusal;
        rig.linkOpens = false;
        rig.useChatTxt = ending == Closed;
        if (ending == Closed) {
            detail = QDir(rig.dir.path()).filePath("Chat.txt");
            AppRig::writeFile(detail, "server = 127.0.0.1\nnick = Player\nport = many\n");
            detail += ", line 3: port";
        }
        ProgramRun run(*rig.app);
        run.capturingStderr([&] { run.flow.start(); });
        QMessageBox* box = openMessage();
        ASSERT_TRUE(box);
        EXPECT_EQ(box->text(), "Run-time error '10001':\n\nFailed to initialize DDE layer");
        EXPECT_TRUE(box->detailedText().startsWith(detail)) << box->detailedText().toStdString();
        EXPECT_TRUE(run.printedText(box->text()) && run.printedText(box->detailedText()))
            << run.printed;
        testing::runEventsFor(50);
        EXPECT_TRUE(run.exitCodes.empty()) << "the program waits for the player";
        if (ending == Confirmed)
            box->button(QMessageBox::Ok)->click();
        else if (ending == Closed)
            box->close();
        else
            run.flow.stopBySystem();
        EXPECT_EQ(run.exitCodes, std::vector<int>{1});
        EXPECT_EQ(openMessage(), nullptr);
        EXPECT_EQ(run.shows.count, 0);
        EXPECT_FALSE(rig.app->window().isVisible());
        EXPECT_EQ(rig.settingsOnDisk(), settings);
    }
}

// Shutdown closes the link and the payouts window and writes the options,
// though the options window was never shown.
TEST(Shutdown, closesTheLinkAndThePayoutsWindowAndSavesTheOptions) {
    AppRig rig{QByteArray()};
    rig.app->card().showPayouts();
    QPointer<PayoutsWindow> payouts = rig.app->window().payoutsWindow();
    ASSERT_TRUE(payouts);
    rig.app->options() = {
        QStringLiteral("/sounds/win, loud.wav"), {}, CheckState::Clear, CheckState::Ticked};
    rig.app->shutDown();
    EXPECT_EQ(rig.app->chatLibrary().backend(), nullptr);
    EXPECT_TRUE(payouts.isNull());
    EXPECT_FALSE(rig.app->card().payouts.exists);
    Options reread;
    ASSERT_EQ(readSettingsFile(rig.settingsPath, reread).status, SettingsResult::Ok);
    EXPECT_EQ(reread, rig.app->options());
}

// A run that changes nothing gives Settings.txt back byte for byte, also when its paths are
// in an older 8-bit code page.
TEST(Shutdown, givesBackPathsInAnotherCodePageByteForByte) {
    const QByteArray latin1 = "Text1\r\n/sons/caf\xE9.wav\r\nText2\r\n/sons/perdu\xE9.wav\r\n"
                              "Check1\r\n 0 \r\nCheck2\r\n 1 \r\nCheck3\r\n 1 \r\n";
    AppRig rig(latin1);
    EXPECT_EQ(rig.app->options().winSoundFile, QStringLiteral("/sons/café.wav"));
    rig.app->shutDown();
    EXPECT_EQ(rig.settingsOnDisk(), latin1);
}

// Closing the card ends the program once the options are saved, saying nothing. Options that
// cannot be saved (the file replaced by a folder) are not lost in silence: the message names
// the file and why, goes to stderr as well, and stays on the screen until the player confirms
// it; stopped by the system (SIGHUP at a logout) there is no one to confirm it, so the failure
// goes to stderr only and the program ends at once. Either way the chat link is closed.
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
            ASSERT_TRUE(QDir(rig.dir.path()).mkdir(QStringLiteral("Settings.txt")));
        }
        rig.app->options().playLoseSound = CheckState::Ticked;
        run.capturingStderr([&] {
            if (ending != SignalledAndSaveFails)
                rig.app->window().close();
            else if (::raise(SIGHUP) == 0)
                testing::waitUntil([&] { return !run.exitCodes.empty(); }, 5000);
        });
        EXPECT_EQ(rig.app->chatLibrary().backend(), nullptr) << "the chat link is closed";
        EXPECT_FALSE(rig.app->window().isVisible());
        QMessageBox* box = openMessage();
        if (ending == Saved) {
            EXPECT_EQ(run.exitCodes, std::vector<int>{0});
            EXPECT_EQ(box, nullptr);
            EXPECT_EQ(run.printed, "");
            Options reread;
            ASSERT_EQ(readSettingsFile(rig.settingsPath, reread).status, SettingsResult::Ok);
            EXPECT_EQ(reread.playLoseSound, CheckState::Ticked);
            continue;
        }
        const QString failure = rig.settingsPath + " cannot be written: ";
        EXPECT_TRUE(run.printedText(failure)) << run.printed;
        if (ending == SaveFails) {
            ASSERT_TRUE(box);
            EXPECT_TRUE(box->text().startsWith(failure)) << box->text().toStdString();
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
