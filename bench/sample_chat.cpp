#include "sample_chat.h"

#include "machine/texts.h"
#include "protocol/markers.h"

#include <array>
#include <random>

namespace jackwell::bench {

namespace {

constexpr std::array kNames = {"Rivet",   "Bolt",    "Cog",     "Sprocket", "Gasket", "Widget",
                               "Nimbus",  "Pebble",  "Juniper", "Quill",    "Marble", "Tansy",
                               "Harbor",  "Saffron", "Ember",   "Ridge",    "Clover", "Fennel",
                               "Lantern", "Moss",    "Pike",    "Thistle",  "Wren",   "Yarrow"};
constexpr std::array kWords = {
    "hello", "anyone", "seen", "the",    "new",   "build",  "near",   "fountain", "lol",
    "brb",   "coffee", "time", "who",    "wants", "to",     "race",   "tonight",  "nice",
    "hat",   "where",  "is",   "portal", "ok",    "thanks", "really", "great",    "party",
    "at",    "8pm:",   "see",  "you",    "later", "north",  "gate",   "13:45",    "yes"};
constexpr const char* kKeeper = "Keeper";

class Writer {
public:
    explicit Writer(QByteArray& out)
        : out_(out) {}

    void line() {
        if (!out_.isEmpty())
            out_ += "\r\n";
        const unsigned roll = random_() % 1000;
        if (roll < 10)
            protocolMessage();
        else if (roll < 12 && random_() % 8 == 0)
            pasted();
        else if (roll < 150)
            system();
        else if (roll < 250)
            privateLine();
        else
            publicLine();
    }

private:
    const char* name() { return kNames[random_() % kNames.size()]; }
    void words(int count) {
        for (int i = 0; i < count; ++i) {
            if (i > 0)
                out_ += ' ';
            out_ += kWords[random_() % kWords.size()];
        }
    }
    void code() {
        const int value = int(random_() % 14) + 1;
        out_ += char('0' + value / 10);
        out_ += char('0' + value % 10);
    }
    void draw() {
        out_ += " [ ";
        code();
        out_ += " | ";
        code();
        out_ += " | ";
        code();
        out_ += " ]";
    }

    void publicLine() {
        out_ += name();
        out_ += ": ";
        words(3 + int(random_() % 14));
    }
    void system() {
        out_ += "<system>: ";
        out_ += name();
        out_ += random_() % 2 ? " has entered the world" : " has left the world";
    }
    void privateLine() {
        out_ += random_() % 2 ? "ESP from " : "ESP to ";
        out_ += name();
        out_ += ": ";
        words(2 + int(random_() % 10));
    }
    void pasted() {
        out_ += name();
        out_ += ": ";
        const int count = 400 + int(random_() % 1000); // about 2 to 8 KB
        words(count);
    }
    void protocolMessage() {
        switch (random_() % 7) {
        case 0:
            out_ += "ESP from ";
            out_ += kKeeper;
            out_ += kKeeperMarker.toLatin1() + ' ';
            out_ += kKeeper;
            break;
        case 1:
            out_ += "ESP from ";
            out_ += kKeeper;
            out_ += kFirstMarker.toLatin1();
            draw();
            break;
        case 2:
            out_ += "ESP from ";
            out_ += kKeeper;
            out_ += kFinalMarker.toLatin1();
            draw();
            out_ += " Credits: (" + QByteArray::number(int(random_() % 500)) + ")";
            break;
        case 3:
            out_ += "ESP from ";
            out_ += kKeeper;
            out_ += kOfferMarker.toLatin1();
            out_ += ": " + QByteArray::number(int(random_() % 3) * 50);
            break;
        case 4:
            out_ += "ESP from ";
            out_ += kKeeper;
            out_ += kPayoutsMarker.toLatin1() + " per token:";
            for (int i = 0; i < 16; ++i)
                out_ += " " + QByteArray::number(25000 >> (i / 2)) + ":";
            break;
        case 5:
            out_ += "ESP to ";
            out_ += kKeeper;
            out_ += ": ";
            out_ += random_() % 2
                        ? QString(machine::kRegisterRequest).toLatin1()
                        : machine::joined({machine::kHoldPrefix, QLatin1StringView("1,0,1")})
                              .toLatin1();
            break;
        default:
            out_ += kKeeper;
            out_ += ": ";
            out_ += QString(machine::kWelcomeBanner).toLatin1();
            break;
        }
    }

    QByteArray& out_;
    std::mt19937 random_{20240611};
};

} // namespace

QByteArray makeChatLines(qsizetype bytes) {
    QByteArray out;
    out.reserve(bytes + 16 * 1024); // one allocation: no copy while it grows
    Writer writer(out);
    while (out.size() < bytes)
        writer.line();
    return out;
}

} // namespace jackwell::bench
