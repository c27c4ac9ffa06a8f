// Where the player's files live: beside the executable in a folder of its own, in the player's
// configuration folder for an installed program; where the bundled data is; the preferences.

#include "platform/data_paths.h"
#include "platform/player_files.h"
#include "platform/preferences.h"
#include "support/player_home.h"
#include "support/qt_printers.h"
#include "support/test_files.h"

#include <QFile>
#include <QFileDevice>

#include <unistd.h>

namespace jackwell {
namespace {

using testing::PlayerHome;
using testing::ScopedEnvironment;

TEST(PlayerFiles, besideTheExecutableOrInTheConfigurationFolder) {
    enum Place { Beside, ConfigFolder };
    const std::tuple<const char*, bool, bool, Place> rows[] = {
        {"a folder of its own (the build tree), no file yet", false, false, Beside},
        {"a folder of its own with the file", false, true, Beside},
        {"installed, its folder writable (root, or a prefix in the home)", true, false,
         ConfigFolder},
        {"installed, but the file is kept beside the executable", true, true, Beside},
    };
    for (const auto& [row, installed, fileBeside, place] : rows) {
        SCOPED_TRACE(row);
        PlayerHome player;
        if (installed)
            player.install();
        for (const QString& name : {QStringLiteral("Settings.txt"), QStringLiteral("Chat.txt")}) {
            if (fileBeside)
                testing::writeFile(QDir(player.bin()).filePath(name), {});
            const QString expected = place == Beside ? QDir(player.bin()).filePath(name)
                                                     : QDir(player.configDir()).filePath(name);
            EXPECT_EQ(playerFilePath(player.bin(), name), expected);
        }
    }
}

TEST(PlayerFiles, aReadOnlyFolderOfItsOwnSendsTheFilesToTheConfigurationFolder) {
    if (::geteuid() == 0)
        GTEST_SKIP() << "root writes any folder; the install test runs this case as nobody";
    PlayerHome player;
    QFile::setPermissions(player.bin(), QFileDevice::ReadOwner | QFileDevice::ExeOwner);
    EXPECT_EQ(playerFilePath(player.bin(), "Settings.txt"),
              QDir(player.configDir()).filePath("Settings.txt"));
    QFile::setPermissions(player.bin(),
                          QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
}

TEST(PlayerFiles, theConfigurationFolderFollowsXdgConfigHome) {
    // XDG_CONFIG_HOME (null: unset), and the folder relative to the temporary root.
    const std::tuple<const char*, QByteArray, const char*> rows[] = {
        {"unset", QByteArray(), "home/.config/Jackwell"},
        {"empty", "", "home/.config/Jackwell"},
        {"an absolute folder", "@/settings", "settings/Jackwell"},
        {"a relative folder is ignored", "settings", "home/.config/Jackwell"},
    };
    for (const auto& [name, xdgConfigHome, expected] : rows) {
        SCOPED_TRACE(name);
        PlayerHome player;
        QByteArray value = xdgConfigHome;
        value.replace('@', player.root.path().toLocal8Bit());
        const ScopedEnvironment xdg("XDG_CONFIG_HOME", value);
        EXPECT_EQ(playerConfigDir(), player.path(expected));
    }
}

TEST(DataPaths, soundsBesideTheExecutableOrUnderTheInstallPrefix) {
    PlayerHome player;
    EXPECT_EQ(jackwellDataDir(player.bin()), player.path("share/jackwell"));
    EXPECT_TRUE(QDir(player.bin()).mkdir("sounds")); // the build tree
    EXPECT_EQ(jackwellDataDir(player.bin()), player.bin());
    EXPECT_EQ(jackwellDataDir("/opt/jackwell/bin"), "/opt/jackwell/share/jackwell");
    // The build puts the program's own sounds beside its executables, as they are in assets/.
    const QString sounds = bundledSoundsDir(jackwellDataDir(QStringLiteral(JACKWELL_BINARY_DIR)));
    for (const char* name : {"win.wav", "lose.wav"}) {
        EXPECT_EQ(testing::fileBytes(QDir(sounds).filePath(name), "(not built)"),
                  testing::fileBytes(JACKWELL_SOURCE_DIR "/assets/sounds/" + QString(name)));
    }
}

// Preferences live in the configuration folder with the chat window's state and place.
TEST(Preferences, keepTheChatWindowsStateAndPlace) {
    PlayerHome player;
    const ScopedEnvironment xdg("XDG_CONFIG_HOME", player.path("config").toLocal8Bit());
    EXPECT_EQ(preferencesFilePath(), player.path("config/Jackwell/Jackwell.conf"));
    const QString path = player.path("sub/Jackwell.conf");
    EXPECT_TRUE(Preferences(path).chatWindow().open);
    const Preferences::ChatWindow closed{false, QRect(310, 40, 460, 420)};
    EXPECT_TRUE(Preferences(path).setChatWindow(closed));
    EXPECT_EQ(Preferences(path).chatWindow(), closed);
    EXPECT_TRUE(Preferences(path).setChatWindow({true, std::nullopt})); // its place forgotten
    EXPECT_EQ(Preferences(path).chatWindow(), (Preferences::ChatWindow{true, std::nullopt}));
    Preferences none{QString()};
    EXPECT_TRUE(none.setChatWindow(closed));
    EXPECT_EQ(none.chatWindow(), Preferences::ChatWindow{});

    // The card's place too; a file that cannot be written (under a file, not a folder) says so.
    EXPECT_TRUE(Preferences(path).setCardGeometry({61, 112, 197, 302}));
    EXPECT_EQ(Preferences(path).cardGeometry(), QRect(61, 112, 197, 302));
    QFile file(path); // what the file holds already is not written again
    ASSERT_TRUE(file.open(QIODevice::ReadOnly) &&
                file.setFileTime(QDateTime::fromSecsSinceEpoch(0), QFile::FileModificationTime));
    EXPECT_TRUE(Preferences(path).setCardGeometry({61, 112, 197, 302}) &&
                Preferences(path).setChatWindow({true, std::nullopt}));
    EXPECT_EQ(QFileInfo(path).lastModified().toSecsSinceEpoch(), 0);
    const QString underAFile = path + QStringLiteral("/Jackwell.conf");
    EXPECT_FALSE(Preferences(underAFile).setCardGeometry({61, 112, 197, 302}));
    EXPECT_FALSE(Preferences(underAFile).setChatWindow(closed));
}

} // namespace
} // namespace jackwell
