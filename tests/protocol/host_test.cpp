// GET HOST and REGISTER on the card, against the embedded chat world.

#include "chat/dapi.h"
#include "chat/transport.h"
#include "clock/virtual_clock.h"
#include "controls/card.h"
#include "settings/options.h"
#include "support/fakes.h"
#include "support/qt_printers.h"
#include "world/chat_world.h"

#include <gtest/gtest.h>

namespace jackwell {
namespace {

struct Rig {
    VirtualClock clock;
    ChatWorld* world = nullptr; // owned by the library
    ChatLibrary library{clock, [this] {
                            auto made = std::make_unique<ChatWorld>();
                            world = made.get();
                            return made;
                        }};
    ChatTransport transport{library, clock, "Jackwell"};
    testing::FakeSound sound;
    Options options;
    Card card{{transport, clock, sound, sound, options}};
    std::vector<std::pair<QString, QString>> sent;

    Rig() {
        EXPECT_EQ(transport.open(), 0);
        world->setPrivateMessageHook(
            [this](const QString& to, const QString& text) { sent.emplace_back(to, text); });
        world->appendPublic("Bolt", "hello");
        world->appendPrivateFrom("Keeper", "Your machinekeeper is Keeper");
    }
};

TEST(GetHost, resumesOnlyOnceANonEmptyChatTextArrives) {
    Rig rig;
    int changes = 0;
    QObject::connect(&rig.card, &Card::changed, [&] { ++changes; });
    rig.card.Label4_Click();
    EXPECT_TRUE(rig.card.isWaitingForChat());
    EXPECT_EQ(rig.card.state.machineKeeperName, "");

    // A delivery that cleans to nothing (only line breaks) does not end the wait.
    rig.transport.OnText(QByteArray("\r\n\r\n    ") + '\0');
    EXPECT_TRUE(rig.card.isWaitingForChat());
    EXPECT_EQ(rig.card.state.machineKeeperName, "");

    const int before = changes;
    rig.clock.settle(); // the world's text arrives
    EXPECT_FALSE(rig.card.isWaitingForChat());
    EXPECT_EQ(rig.card.state.machineKeeperName, "Keeper");
    EXPECT_EQ(rig.card.state.text1, "Keeper");
    EXPECT_GT(changes, before);
}

TEST(GetHost, aSecondClickWhileWaitingAsksAgain) {
    Rig rig;
    rig.world->close(); // the request is given up: no text comes
    rig.card.Label4_Click();
    rig.clock.advance(60000);
    EXPECT_TRUE(rig.card.isWaitingForChat());
    EXPECT_EQ(rig.card.state.machineKeeperName, "");

    rig.world->open("Jackwell", {});
    rig.card.Label4_Click();
    rig.clock.settle();
    EXPECT_FALSE(rig.card.isWaitingForChat());
    EXPECT_EQ(rig.card.state.machineKeeperName, "Keeper");
}

TEST(Register, sendsOnlyWhenAKeeperIsKnownOneMessagePerClick) {
    Rig rig;
    rig.card.Label2_Click();
    rig.clock.settle();
    EXPECT_TRUE(rig.sent.empty()) << "no keeper known yet";

    rig.card.Label4_Click();
    rig.clock.settle();
    rig.card.state.text1 = QStringLiteral("Typed"); // the box is not what REGISTER reads
    rig.card.Label2_Click();
    rig.card.Label2_Click();
    rig.clock.settle();
    using Sent = std::pair<QString, QString>;
    const std::vector<Sent> expected = {{"Keeper", "Register me!"}, {"Keeper", "Register me!"}};
    EXPECT_EQ(rig.sent, expected);
    EXPECT_TRUE(rig.world->log().endsWith("ESP to Keeper: Register me!\r\n"
                                          "ESP to Keeper: Register me!"));
}

} // namespace
} // namespace jackwell
