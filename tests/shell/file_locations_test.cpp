// The files an installed card uses: Chat.txt from the configuration folder picks the world, and
// the list --help prints names each file where it is, and says which are not there yet.

#include "chat/irc_backend.h"
#include "clock/virtual_clock.h"
#include "settings/settings_file.h"
#include "shell/file_locations.h"
#include "shell/world_choice.h"
#include "support/player_home.h"
#include "support/qt_printers.h"
#include "support/test_files.h"
#include "world/chat_world.h"

#include <QDir>

namespace jackwell {
namespace {

using testing::PlayerHome;

TEST(FileLocations, theHelpNamesEachFileWhereItIsAndChatTxtThereIsRead) {
    PlayerHome player;
    player.install();
    const QString settings = QDir(player.configDir()).filePath("Settings.txt");
    const QString chat = QDir(player.configDir()).filePath("Chat.txt");
    const QString sounds = player.path("share/jackwell/sounds");
    VirtualClock clock;

    QString text = fileLocationsText(player.bin());
    EXPECT_TRUE(text.startsWith("Files:\n")) << text;
    EXPECT_TRUE(text.contains(settings + " (not written yet)\n")) << text;
    EXPECT_TRUE(text.contains(chat + " (not there)\n")) << text;
    EXPECT_TRUE(text.contains(sounds + "\n")) << text; // there: no remark
    EXPECT_TRUE(dynamic_cast<ChatWorld*>(makeDefaultBackend(clock, player.bin()).get()));

    QDir().mkpath(player.configDir());
    testing::writeFile(settings, serializeSettings(Options{}));
    testing::writeFile(chat, "server = 127.0.0.1\nnick = Player\n");
    text = fileLocationsText(player.bin());
    EXPECT_TRUE(text.contains(settings + "\n")) << text;
    EXPECT_TRUE(text.contains(chat + "\n")) << text;
    EXPECT_TRUE(dynamic_cast<IrcBackend*>(makeDefaultBackend(clock, player.bin()).get()));
}

} // namespace
} // namespace jackwell
