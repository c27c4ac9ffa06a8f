// Settings.txt for an installed program: in the player's configuration folder, which the first
// write creates, and read back from there.

#include "settings/settings_file.h"
#include "support/player_home.h"
#include "support/qt_printers.h"

#include <QFile>
#include <QFileInfo>

namespace jackwell {
namespace {

using testing::PlayerHome;

TEST(SettingsLocation, anInstalledProgramKeepsItsOptionsInTheConfigurationFolder) {
    PlayerHome player;
    player.install();
    const QString path = settingsFilePath(player.bin());
    ASSERT_EQ(path, QDir(player.configDir()).filePath("Settings.txt"));
    ASSERT_FALSE(QFileInfo::exists(player.configDir()));

    Options options;
    EXPECT_EQ(readSettingsFile(path, options).status, SettingsResult::Missing);
    EXPECT_FALSE(QFileInfo::exists(player.configDir())); // reading creates nothing

    options = {"/sounds/win.wav", "", CheckState::Ticked, CheckState::Ticked, CheckState::Clear};
    const SettingsResult written = writeSettingsFile(path, options);
    EXPECT_EQ(written.status, SettingsResult::Ok) << written.message.toStdString();
    Options readBack;
    EXPECT_EQ(readSettingsFile(path, readBack).status, SettingsResult::Ok);
    EXPECT_EQ(readBack.winSoundFile, "/sounds/win.wav");
    EXPECT_EQ(readBack.stayOnTop, CheckState::Ticked);
    EXPECT_EQ(readBack.playWinSound, CheckState::Ticked);
    EXPECT_FALSE(QFileInfo::exists(QDir(player.bin()).filePath("Settings.txt")));
}

TEST(SettingsLocation, aFolderThatCannotBeMadeIsReportedAndNothingIsWritten) {
    PlayerHome player;
    // A file stands where the configuration folder would go.
    QFile blocker(player.path("home/.config"));
    ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    const QString path = QDir(player.configDir()).filePath("Settings.txt");
    const SettingsResult written = writeSettingsFile(path, Options{});
    EXPECT_EQ(written.status, SettingsResult::Failed);
    EXPECT_TRUE(written.message.contains(path)) << written.message.toStdString();
    EXPECT_TRUE(written.message.contains(player.configDir())) << written.message.toStdString();
}

} // namespace
} // namespace jackwell
