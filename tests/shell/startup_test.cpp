// Start-up and shutdown: the card comes to rest, the options are read and
// saved, the window is pinned when asked, and a chat link that cannot open or
// a broken settings file stops the program before its window shows.

#include "shell/frm_payouts.h"
#include "support/app_rig.h"

#include <QDir>
#include <QPointer>

namespace jackwell {
namespace {

using testing::AppRig;

TEST(Startup, bringsTheCardToRestAndOpensTheChatLink) {
    AppRig rig{QByteArray()}; // no Settings.txt yet: start-up goes on
    const CardState& state = rig.app->card().state;
    for (const Reel& reel : state.reels) {
        EXPECT_FALSE(reel.timer.enabled);
        EXPECT_EQ(reel.timer.interval, 100);
        EXPECT_TRUE(reel.reelPicture.visible);
        EXPECT_FALSE(reel.resultPicture.visible);
    }
    EXPECT_FALSE(state.evaluationTimer.enabled);
    EXPECT_TRUE(state.startEnabled && state.espHoldEnabled);
    EXPECT_FALSE(state.finishEnabled);
    EXPECT_NE(rig.app->chatLibrary().backend(), nullptr);
    EXPECT_FALSE(AppRig::pinned(rig.app->window()));
    EXPECT_FALSE(QFile::exists(rig.settingsPath)); // reading does not create it
}

TEST(Startup, aChatLinkThatCannotOpenStopsWithTheStartupError) {
    AppRig rig(serializeSettings(Options{}), AppRig::DoNotLoad);
    rig.linkOpens = false;
    QString error;
    EXPECT_FALSE(rig.app->startUp(&error));
    EXPECT_TRUE(error.contains("10001"));
    EXPECT_TRUE(error.contains("Failed to initialize DDE layer"));
    EXPECT_FALSE(rig.linkClosed); // KillDDE is not called on this path
    EXPECT_FALSE(rig.app->window().isVisible());
}

TEST(Startup, aBrokenSettingsFileStopsStartupNamingItAndIsKept) {
    const QByteArray broken = "Check2\r\nplenty\r\n";
    AppRig rig(broken, AppRig::DoNotLoad);
    QString error;
    EXPECT_FALSE(rig.app->startUp(&error));
    EXPECT_TRUE(error.contains(rig.settingsPath)) << error.toStdString();
    EXPECT_EQ(rig.app->chatLibrary().backend(), nullptr); // the link was never opened
    EXPECT_EQ(rig.settingsOnDisk(), broken);
}

TEST(Startup, stayOnTopFromTheSettingsFile) {
    const std::vector<std::pair<QByteArray, bool>> rows = {
        {"Check1\r\n1\r\n", true},  {"Text1\r\n\r\nCheck1\r\n 1 \r\nCheck2\r\n 0 \r\n", true},
        {"Check1\r\n2\r\n", false}, // greyed
        {"Check1\r\n0\r\n", false}, {"", false},
    };
    for (const auto& [file, pinned] : rows) {
        SCOPED_TRACE(file.toStdString());
        AppRig rig(file);
        EXPECT_EQ(AppRig::pinned(rig.app->window()), pinned);
    }
}

// With no Settings.txt yet, a first run starts with the program's own sounds, both played, and
// writes them at exit; a Settings.txt that exists is read as it stands, keys it lacks keeping
// the design state.
TEST(Startup, aFirstRunPlaysTheProgramsOwnSounds) {
    QTemporaryDir data;
    const QDir sounds(data.path());
    for (const char* name : {"win.wav", "lose.wav"})
        AppRig::writeFile(sounds.filePath(name), "RIFF");
    const Options bundled{sounds.filePath("win.wav"), sounds.filePath("lose.wav"), 0, 1, 1};

    AppRig first(QByteArray(), AppRig::Load, {false, sounds.path()});
    EXPECT_EQ(first.app->options(), bundled);
    first.app->shutDown();
    Options written;
    ASSERT_EQ(readSettingsFile(first.settingsPath, written).status, SettingsResult::Ok);
    EXPECT_EQ(written, bundled);

    AppRig existing("Check1\r\n0\r\n", AppRig::Load, {false, sounds.path()});
    EXPECT_EQ(existing.app->options(), Options{});

    AppRig withoutSounds(QByteArray(), AppRig::Load, {false, data.filePath("missing")});
    EXPECT_EQ(withoutSounds.app->options(), Options{});
}

// Shutdown closes the link and the payouts window and writes the options,
// though the options window was never shown.
TEST(Shutdown, closesTheLinkAndThePayoutsWindowAndSavesTheOptions) {
    AppRig rig{QByteArray()};
    rig.app->card().showPayouts();
    QPointer<frmPayouts> payouts = rig.app->window().payoutsWindow();
    ASSERT_TRUE(payouts);
    rig.app->options() = {QStringLiteral("/sounds/win, loud.wav"), {}, 0, 1, 0};
    rig.app->shutDown();
    EXPECT_EQ(rig.app->chatLibrary().backend(), nullptr);
    EXPECT_TRUE(payouts.isNull());
    EXPECT_FALSE(rig.app->card().payouts.exists);
    Options reread;
    ASSERT_EQ(readSettingsFile(rig.settingsPath, reread).status, SettingsResult::Ok);
    EXPECT_EQ(reread, rig.app->options());
}

} // namespace
} // namespace jackwell
