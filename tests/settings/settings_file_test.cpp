#include "settings/settings_file.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <csignal>
#include <ostream>
#include <sys/resource.h>
#include <utility>
#include <vector>

void PrintTo(const QString& text, std::ostream* os) {
    *os << '"' << text.toStdString() << '"';
}

namespace jackwell {
void PrintTo(const Options& o, std::ostream* os) {
    *os << "{" << o.text1.toStdString() << " | " << o.text2.toStdString() << " | " << o.check1
        << ", " << o.check2 << ", " << o.check3 << "}";
}
} // namespace jackwell

using namespace jackwell;

namespace {

// Options that differ from every value the tables read, so a key that is not read shows.
const Options before{"old win.wav", "old loss.wav", 2, 2, 2};

Options with(QString text1, QString text2, int check1, int check2, int check3) {
    return {std::move(text1), std::move(text2), check1, check2, check3};
}

QByteArray contents(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<unreadable>");
}

bool store(const QString& path, const QByteArray& bytes) {
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size() && file.flush();
}

class SettingsFileTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(dir.isValid()); }
    QString path() const { return dir.filePath(QStringLiteral("Settings.txt")); }

    QTemporaryDir dir;
};

// ---- Reading rules: a file in, the options that come out -------------------------------------

struct ReadCase {
    const char* name;
    QByteArray file;
    Options expected;
};

class SettingsReadTest : public SettingsFileTest, public ::testing::WithParamInterface<ReadCase> {};

TEST_P(SettingsReadTest, readsTheOptionsTheFileGives) {
    ASSERT_TRUE(store(path(), GetParam().file));
    Options options = before;
    const SettingsResult result = readSettingsFile(path(), options);
    EXPECT_EQ(result.status, SettingsResult::Ok) << result.message.toStdString();
    EXPECT_EQ(options, GetParam().expected);
}

const QByteArray written = "Text1\r\n/s/win.wav\r\nText2\r\n\r\nCheck1\r\n 1 \r\nCheck2\r\n 0 \r\n"
                           "Check3\r\n 0 \r\n";

INSTANTIATE_TEST_SUITE_P(
    Rules, SettingsReadTest,
    ::testing::Values(
        ReadCase{"AsWritten", written, with("/s/win.wav", "", 1, 0, 0)},
        ReadCase{"LfLineEnds", QByteArray(written).replace("\r\n", "\n"),
                 with("/s/win.wav", "", 1, 0, 0)},
        ReadCase{"CrLineEnds", QByteArray(written).replace("\r\n", "\r"),
                 with("/s/win.wav", "", 1, 0, 0)},
        ReadCase{"NoFinalLineEnd", "Check3\r\n 1", with("old win.wav", "old loss.wav", 2, 2, 1)},
        ReadCase{"Reordered",
                 "Check3\r\n 1 \r\nText2\r\n/l.wav\r\nCheck1\r\n 0 \r\nText1\r\n/w.wav\r\n"
                 "Check2\r\n 1 \r\n",
                 with("/w.wav", "/l.wav", 0, 1, 1)},
        ReadCase{"BlankAndUnknownLinesSkipped",
                 "Text1\r\n/w.wav\r\n\r\nVolume\r\n 7 \r\n\r\nText2\r\n/l.wav\r\n",
                 with("/w.wav", "/l.wav", 2, 2, 2)},
        ReadCase{"LastValueWins",
                 "Check2\r\n 1 \r\nText1\r\n/a.wav\r\nCheck2\r\n 0 \r\nText1\r\n/b.wav\r\n",
                 with("/b.wav", "old loss.wav", 2, 0, 2)},
        ReadCase{"OnlyCheck1", "Check1\r\n1\r\n", with("old win.wav", "old loss.wav", 1, 2, 2)},
        ReadCase{"EmptyFile", "", before},
        ReadCase{"BareDigitLikeBlanked", "Check1\r\n1\r\nCheck2\r\n 1 \r\nCheck3\r\n\t0\t\r\n",
                 with("old win.wav", "old loss.wav", 1, 1, 0)},
        ReadCase{"HalvesToEven", "Check1\r\n1.5\r\nCheck2\r\n2.5\r\nCheck3\r\n 0.5 \r\n",
                 with("old win.wav", "old loss.wav", 2, 2, 0)},
        ReadCase{"FractionsToNearest", "Check1\r\n0.5001\r\nCheck2\r\n-0.4\r\nCheck3\r\n+1.49\r\n",
                 with("old win.wav", "old loss.wav", 1, 0, 1)},
        ReadCase{"ValueEqualToLaterKeyIsThatKey", "Text1\r\nCheck1\r\n 1 \r\n",
                 with("Check1", "old loss.wav", 1, 2, 2)},
        ReadCase{"ValueEqualToEarlierKeyIsJustAValue", "Text2\r\nText1\r\nCheck2\r\n 1 \r\n",
                 with("old win.wav", "Text1", 2, 1, 2)},
        ReadCase{"KeysAreCaseSensitive", "text1\r\n/w.wav\r\nCHECK1\r\n 1 \r\n", before},
        ReadCase{"CommaEndsAPath", "Text1\r\n/s/a,b.wav\r\nText2\r\n/l.wav\r\n",
                 with("/s/a", "/l.wav", 2, 2, 2)},
        ReadCase{"CommaSeparatedFieldsOnOneLine", "Text1,/w.wav,Check1, 1\r\n",
                 with("/w.wav", "old loss.wav", 1, 2, 2)},
        ReadCase{"BlanksSkippedBeforeAFieldOnly", "  Text1\r\n  /w.wav  \r\n",
                 with("/w.wav  ", "old loss.wav", 2, 2, 2)},
        ReadCase{"QuotedPathKeepsCommaAndBlanks", "Text1\r\n \"  /s/a,b.wav\"\r\n",
                 with("  /s/a,b.wav", "old loss.wav", 2, 2, 2)},
        ReadCase{"AfterQuotedPathRestToCommaDropped", "Text1\r\n\"/w.wav\" dropped,Check2\r\n1\r\n",
                 with("/w.wav", "old loss.wav", 2, 1, 2)},
        ReadCase{"QuotedPathRunsAcrossLines", "Text1\r\n\"/a\r\nb.wav\"\r\nCheck2\r\n 1 \r\n",
                 with("/a\r\nb.wav", "old loss.wav", 2, 1, 2)},
        ReadCase{"Utf8WithByteOrderMark", "\xEF\xBB\xBFText1\r\n/klänge/gewinn.wav\r\n",
                 with("/klänge/gewinn.wav", "old loss.wav", 2, 2, 2)}),
    [](const auto& info) { return std::string(info.param.name); });

// ---- Reading faults: each names the file and the line, and changes nothing --------------------

struct FaultCase {
    const char* name;
    QByteArray file;
    int line;
    const char* what;
};

class SettingsFaultTest : public SettingsFileTest,
                          public ::testing::WithParamInterface<FaultCase> {};

TEST_P(SettingsFaultTest, failsNamingFileAndLineAndKeepsOptions) {
    ASSERT_TRUE(store(path(), GetParam().file));
    Options options = before;
    int calls = 0;
    const SettingsResult result = readSettingsFile(path(), options, [&](int) { ++calls; });
    EXPECT_EQ(result.status, SettingsResult::Failed);
    const QString expected =
        QStringLiteral("%1 line %2: %3")
            .arg(path(), QString::number(GetParam().line), QString::fromUtf8(GetParam().what));
    EXPECT_TRUE(result.message.startsWith(expected))
        << result.message.toStdString() << "\nexpected: " << expected.toStdString();
    // Values read before the fault are not applied either.
    EXPECT_EQ(options, before);
    EXPECT_EQ(calls, 0);
}

INSTANTIATE_TEST_SUITE_P(
    Faults, SettingsFaultTest,
    ::testing::Values(
        FaultCase{"KeyIsLastField", "Text1\r\n/w.wav\r\nCheck1\r\n", 3,
                  "Check1 has no value after it"},
        FaultCase{"KeyIsLastFieldNoLineEnd", "Check1\r\n1\r\nText2", 3,
                  "Text2 has no value after it"},
        FaultCase{"PathTakenAsKeyWithNothingAfter", "Check1\r\n1\r\nText1\r\nCheck3", 4,
                  "Check3 has no value after it"},
        FaultCase{"NotANumber", "Check1\r\n1\r\nText1\r\n/w.wav\r\nCheck1\r\nabc\r\n", 6,
                  "the value of Check1 is not a number: \"abc\""},
        FaultCase{"EmptyValue", "Check2\r\n\r\nCheck3\r\n 1 \r\n", 2,
                  "the value of Check2 is not a number: \"\""},
        FaultCase{"Exponent", "Check3\r\n1e0\r\n", 2, "the value of Check3 is not a number"},
        FaultCase{"TrailingText", "Check3\r\n1 x\r\n", 2, "the value of Check3 is not a number"},
        FaultCase{"Three", "Check1\r\n 3 \r\n", 2, "the value of Check1 is not 0, 1 or 2"},
        FaultCase{"Negative", "Check2\r\n-1\r\n", 2, "the value of Check2 is not 0, 1 or 2"},
        FaultCase{"JustAboveAHalfRoundsUp", "Check2\r\n2.5000001\r\n", 2,
                  "the value of Check2 is not 0, 1 or 2"},
        FaultCase{"BeyondSixteenBits", "Check3\r\n99999999999999999999999\r\n", 2,
                  "the value of Check3 is not 0, 1 or 2"},
        FaultCase{"LinesCountedInsideQuotes", "Text1\r\n\"/a\r\nb\"\r\nCheck1\r\nx\r\n", 5,
                  "the value of Check1 is not a number"},
        FaultCase{"LinesCountedWithLf", "Text1\n/w\n\nCheck1\nx\n", 5,
                  "the value of Check1 is not a number"}),
    [](const auto& info) { return std::string(info.param.name); });

// The player must learn which file could not be read; a directory in its place is one way.
TEST_F(SettingsFileTest, unreadableFileFailsNamingTheFile) {
    ASSERT_TRUE(QDir(dir.path()).mkdir(QStringLiteral("Settings.txt")));
    Options options = before;
    const SettingsResult result = readSettingsFile(path(), options);
    EXPECT_EQ(result.status, SettingsResult::Failed);
    EXPECT_TRUE(result.message.startsWith(path() + QStringLiteral(" cannot be read")))
        << result.message.toStdString();
    EXPECT_EQ(options, before);
}

TEST_F(SettingsFileTest, hugeFileFailsInsteadOfFillingMemory) {
    ASSERT_TRUE(store(path(), "Text1\r\n" + QByteArray(2 * 1024 * 1024, 'x')));
    Options options = before;
    const SettingsResult result = readSettingsFile(path(), options);
    EXPECT_EQ(result.status, SettingsResult::Failed);
    EXPECT_TRUE(result.message.startsWith(path())) << result.message.toStdString();
    EXPECT_EQ(options, before);
}

// A first start has no file: the program goes on with the options it has and writes the file
// at shutdown. Reading must not create it.
TEST_F(SettingsFileTest, missingFileKeepsOptionsAndIsNotCreated) {
    Options options = before;
    int calls = 0;
    const SettingsResult result = readSettingsFile(path(), options, [&](int) { ++calls; });
    EXPECT_EQ(result.status, SettingsResult::Missing);
    EXPECT_TRUE(result.message.contains(path()));
    EXPECT_EQ(options, before);
    EXPECT_EQ(calls, 0);
    EXPECT_FALSE(QFile::exists(path()));
}

// ---- Check1: the program pins or releases the window each time the reader changes it ---------

struct Check1Case {
    const char* name;
    int start;
    QByteArray file;
    std::vector<int> calls;
};

class Check1ChangedTest : public SettingsFileTest,
                          public ::testing::WithParamInterface<Check1Case> {};

TEST_P(Check1ChangedTest, calledOnlyWhenTheValueChanges) {
    ASSERT_TRUE(store(path(), GetParam().file));
    Options options;
    options.check1 = GetParam().start;
    std::vector<int> calls;
    const SettingsResult result = readSettingsFile(path(), options, [&](int value) {
        EXPECT_EQ(options.check1, value) << "the option holds the new value when called";
        calls.push_back(value);
    });
    EXPECT_EQ(result.status, SettingsResult::Ok);
    EXPECT_EQ(calls, GetParam().calls);
}

INSTANTIATE_TEST_SUITE_P(
    Changes, Check1ChangedTest,
    ::testing::Values(Check1Case{"SameValue", 0, "Check1\r\n 0 \r\n", {}},
                      Check1Case{"Ticked", 0, "Check1\r\n 1 \r\n", {1}},
                      Check1Case{"AlreadyTicked", 1, "Check1\r\n1.0\r\n", {}},
                      Check1Case{"OtherKeysOnly", 0, "Check2\r\n 1 \r\nCheck3\r\n 2 \r\n", {}},
                      Check1Case{"EachChangeOfDuplicates",
                                 0,
                                 "Check1\r\n1\r\nCheck1\r\n0\r\nCheck1\r\n0\r\nCheck1\r\n2\r\n",
                                 {1, 0, 2}}),
    [](const auto& info) { return std::string(info.param.name); });

// ---- Writing -----------------------------------------------------------------------------------

TEST_F(SettingsFileTest, writesTenCrLfLinesOverALongerOldFile) {
    ASSERT_TRUE(store(path(), QByteArray(500, 'o')));
    const SettingsResult result = writeSettingsFile(path(), with("/s/win.wav", "", 1, 0, 2));
    EXPECT_EQ(result.status, SettingsResult::Ok) << result.message.toStdString();
    EXPECT_EQ(contents(path()), "Text1\r\n/s/win.wav\r\nText2\r\n\r\nCheck1\r\n 1 \r\n"
                                "Check2\r\n 0 \r\nCheck3\r\n 2 \r\n");
}

// Every path the file dialog can give must come back as it was written.
class SettingsRoundTripTest : public SettingsFileTest,
                              public ::testing::WithParamInterface<const char*> {};

TEST_P(SettingsRoundTripTest, pathComesBackAsWritten) {
    const QString awkward = QString::fromUtf8(GetParam());
    const Options saved = with(awkward, awkward + QStringLiteral("/2"), 1, 0, 2);
    ASSERT_EQ(writeSettingsFile(path(), saved).status, SettingsResult::Ok);
    Options loaded;
    EXPECT_EQ(readSettingsFile(path(), loaded).status, SettingsResult::Ok);
    EXPECT_EQ(loaded, saved);
    EXPECT_EQ(serializeSettings(loaded), contents(path())) << "a second save changes nothing";
}

INSTANTIATE_TEST_SUITE_P(Paths, SettingsRoundTripTest,
                         ::testing::Values("", "/s/win.wav", "C:\\Sounds\\win.wav", "/s/a,b.wav",
                                           ",", "/s/end,", "  /s/lead.wav", "\t/s/tab.wav",
                                           "/s/trail.wav  ", "/s/a\"b\".wav", "/s/line\nbreak.wav",
                                           "/s/cr\r\nlf.wav", "/s/klänge/gewinn.wav", "Text1",
                                           "1"));

// A double quote cannot stand inside a quoted path, and no field can begin with one: the writer
// drops the double quotes of such a path, and the rest of the file must still read correctly.
TEST_F(SettingsFileTest, quotedPathLosesOnlyItsDoubleQuotes) {
    const std::pair<QString, QString> cases[] = {
        {"/s/a, \"b,Check1\".wav", "/s/a, b,Check1.wav"},
        {"\"/s/quote.wav", "/s/quote.wav"},
    };
    for (const auto& [path, comesBack] : cases) {
        ASSERT_EQ(writeSettingsFile(this->path(), with(path, "/l.wav", 0, 1, 0)).status,
                  SettingsResult::Ok);
        Options loaded;
        EXPECT_EQ(readSettingsFile(this->path(), loaded).status, SettingsResult::Ok);
        EXPECT_EQ(loaded, with(comesBack, "/l.wav", 0, 1, 0));
    }
}

TEST_F(SettingsFileTest, unwritableFileFailsNamingTheFile) {
    const QString nowhere = dir.filePath(QStringLiteral("gone/Settings.txt"));
    const SettingsResult result = writeSettingsFile(nowhere, with("/w.wav", "", 1, 1, 1));
    EXPECT_EQ(result.status, SettingsResult::Failed);
    EXPECT_TRUE(result.message.startsWith(nowhere + QStringLiteral(" cannot be written")))
        << result.message.toStdString();
    EXPECT_FALSE(QFile::exists(nowhere));
}

// Lowers the largest file this process may write, as a full disk would stop it; root is bound
// by it as well. Writes beyond it fail with EFBIG instead of raising SIGXFSZ.
class FileSizeLimit {
public:
    explicit FileSizeLimit(rlim_t bytes) {
        m_oldHandler = std::signal(SIGXFSZ, SIG_IGN);
        if (getrlimit(RLIMIT_FSIZE, &m_saved) != 0)
            return;
        rlimit lowered = m_saved;
        lowered.rlim_cur = bytes;
        m_active = setrlimit(RLIMIT_FSIZE, &lowered) == 0;
    }
    ~FileSizeLimit() {
        if (m_active)
            setrlimit(RLIMIT_FSIZE, &m_saved);
        std::signal(SIGXFSZ, m_oldHandler);
    }
    bool active() const { return m_active; }

private:
    rlimit m_saved{};
    void (*m_oldHandler)(int) = SIG_DFL;
    bool m_active = false;
};

// The disk fills after part of the new text is out: the old file must stay whole, with no
// half-written file beside it, and the failure must be reported, not taken for success.
TEST_F(SettingsFileTest, writeCutShortLeavesOldFileWhole) {
    const QByteArray old = serializeSettings(with("/old/win.wav", "/old/loss.wav", 1, 1, 1));
    ASSERT_TRUE(store(path(), old));
    const Options fresh = with("/new/a much longer path to the winning sound.wav", "", 0, 0, 0);

    SettingsResult result;
    {
        FileSizeLimit limit(16);
        ASSERT_TRUE(limit.active());
        result = writeSettingsFile(path(), fresh);
    }
    EXPECT_EQ(result.status, SettingsResult::Failed);
    EXPECT_TRUE(result.message.startsWith(path() + QStringLiteral(" cannot be written")))
        << result.message.toStdString();
    EXPECT_EQ(contents(path()), old);
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden),
              QStringList{QStringLiteral("Settings.txt")});
}

// ---- Where the file lives ----------------------------------------------------------------------

TEST(SettingsFilePath, isSettingsTxtBesideTheExecutable) {
    EXPECT_EQ(settingsFilePath(QStringLiteral("/opt/jackwell")),
              QStringLiteral("/opt/jackwell/Settings.txt"));
    EXPECT_EQ(settingsFilePath(QStringLiteral("/opt/jackwell/")),
              QStringLiteral("/opt/jackwell/Settings.txt"));
    EXPECT_EQ(settingsFilePath(QStringLiteral("/")), QStringLiteral("/Settings.txt"));
}

} // namespace
