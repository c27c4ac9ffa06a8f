// Settings.txt: reading rules, faults named by file and line, Check1 followed, safe rewriting.

#include "settings/settings_fields.h"
#include "settings/settings_file.h"
#include "support/file_size_limit.h"
#include "support/qt_printers.h"
#include "support/test_files.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <cstring>
#include <string_view>
#include <sys/mman.h>
#include <unistd.h>

namespace jackwell {

void PrintTo(const Options& o, std::ostream* os) {
    *os << "{" << o.winSoundFile << " | " << o.loseSoundFile << " | " << int(o.stayOnTop) << ", "
        << int(o.playWinSound) << ", " << int(o.playLoseSound) << "}";
}

namespace {

// Options with the boxes given as the file stores them: 0 clear, 1 ticked, 2 greyed.
Options with(QString winSound, QString loseSound, int stayOnTop, int playWin, int playLose) {
    return {std::move(winSound), std::move(loseSound), CheckState(stayOnTop), CheckState(playWin),
            CheckState(playLose)};
}
// Options that differ from every value the tables read, so a key that is not read shows.
const Options before = with("old win.wav", "old loss.wav", 2, 2, 2);

Options boxes(int stayOnTop, int playWin, int playLose) {
    return with(before.winSoundFile, before.loseSoundFile, stayOnTop, playWin, playLose);
}

struct SettingsFile {
    QTemporaryDir dir;
    QString path = dir.filePath("Settings.txt");

    void store(const QByteArray& bytes) const { testing::writeFile(path, bytes); }
    QByteArray contents() const { return testing::fileBytes(path, "<unreadable>"); }
};

// The window is pinned or let go each time the reader changes Check1: `calls`, from 2, says how.
TEST(SettingsFile, readsTheOptionsTheFileGivesAndReportsEachChangeOfCheck1) {
    const QByteArray written = "Text1\r\n/s/win.wav\r\nText2\r\n\r\nCheck1\r\n 1 \r\n"
                               "Check2\r\n 0 \r\nCheck3\r\n 0 \r\n";
    const Options writtenOptions = with("/s/win.wav", "", 1, 0, 0);
    const struct {
        const char* name;
        QByteArray file;
        Options expected;
        std::vector<int> calls = {}; // empty: the Check1 read told once, not at all if greyed
    } rows[] = {
        {"as written", written, writtenOptions},
        {"LF line ends", QByteArray(written).replace("\r\n", "\n"), writtenOptions},
        {"CR line ends", QByteArray(written).replace("\r\n", "\r"), writtenOptions},
        {"no final line end", "Check3\r\n 1", boxes(2, 2, 1)},
        {"reordered",
         "Check3\r\n 1 \r\nText2\r\n/l.wav\r\nCheck1\r\n 0 \r\nText1\r\n/w.wav\r\nCheck2\r\n 1 "
         "\r\n",
         with("/w.wav", "/l.wav", 0, 1, 1)},
        {"blank and unknown lines skipped",
         "Text1\r\n/w.wav\r\n\r\nVolume\r\n 7 \r\n\r\nText2\r\n/l.wav\r\n",
         with("/w.wav", "/l.wav", 2, 2, 2)},
        {"the last value wins",
         "Check2\r\n 1 \r\nText1\r\n/a.wav\r\nCheck2\r\n 0 \r\nText1\r\n/b.wav\r\n",
         with("/b.wav", "old loss.wav", 2, 0, 2)},
        {"only Check1", "Check1\r\n1\r\n", boxes(1, 2, 2)},
        {"Check1 told at each change only",
         "Check1\r\n1\r\nCheck1\r\n0\r\nCheck1\r\n0\r\nCheck1\r\n2\r\nCheck1\r\n2.0\r\n",
         before,
         {1, 0, 2}},
        {"empty file", "", before},
        {"a bare digit like a blanked one", "Check1\r\n1\r\nCheck2\r\n 1 \r\nCheck3\r\n\t0\t\r\n",
         boxes(1, 1, 0)},
        {"halves to even", "Check1\r\n1.5\r\nCheck2\r\n2.5\r\nCheck3\r\n 0.5 \r\n", boxes(2, 2, 0)},
        {"no digit before or after the point", "Check1\r\n.5\r\nCheck2\r\n.51\r\nCheck3\r\n2.\r\n",
         boxes(0, 1, 2)},
        {"fractions to the nearest", "Check1\r\n0.5001\r\nCheck2\r\n-0.4\r\nCheck3\r\n+1.49\r\n",
         boxes(1, 0, 1)},
        {"a value equal to a later key is that key", "Text1\r\nCheck1\r\n 1 \r\n",
         with("Check1", "old loss.wav", 1, 2, 2)},
        {"a value equal to an earlier key is just a value", "Text2\r\nText1\r\nCheck2\r\n 1 \r\n",
         with("old win.wav", "Text1", 2, 1, 2)},
        {"keys are case-sensitive", "text1\r\n/w.wav\r\nCHECK1\r\n 1 \r\nCheck2\r\n1\r\n",
         boxes(2, 1, 2)},
        {"blank lines only", "\r\n  \r\n\t\r\n", before},
        {"a comma ends a path", "Text1\r\n/s/a,b.wav\r\nText2\r\n/l.wav\r\n",
         with("/s/a", "/l.wav", 2, 2, 2)},
        {"comma-separated fields on one line", "Text1,/w.wav,Check1, 1\r\n",
         with("/w.wav", "old loss.wav", 1, 2, 2)},
        {"blanks skipped before a field only", "  Text1\r\n  /w.wav  \r\n",
         with("/w.wav  ", "old loss.wav", 2, 2, 2)},
        {"a quoted path keeps comma and blanks", "Text1\r\n \"  /s/a,b.wav\"\r\n",
         with("  /s/a,b.wav", "old loss.wav", 2, 2, 2)},
        {"after a quoted path the rest to the comma goes",
         "Text1\r\n\"/w.wav\" dropped,Check2\r\n1\r\n", with("/w.wav", "old loss.wav", 2, 1, 2)},
        {"after a quoted path the rest of its line goes", "Text1\r\n\"/w.wav\"xCheck2\r\n 1 \r\n",
         with("/w.wav", "old loss.wav", 2, 2, 2)},
        {"a quoted path runs across lines", "Text1\r\n\"/a\r\nb.wav\"\r\nCheck2\r\n 1 \r\n",
         with("/a\r\nb.wav", "old loss.wav", 2, 1, 2)},
        {"UTF-8 with a byte order mark", "\xEF\xBB\xBFText1\r\n/klänge/gewinn.wav\r\n",
         with("/klänge/gewinn.wav", "old loss.wav", 2, 2, 2)},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        SettingsFile file;
        file.store(row.file);
        Options options = before;
        std::vector<int> calls;
        const auto changed = [&](CheckState value) {
            EXPECT_EQ(options.stayOnTop, value) << "the option holds the new value";
            calls.push_back(int(value));
        };
        const SettingsResult result = readSettingsFile(file.path, options, changed);
        EXPECT_EQ(result.status, SettingsResult::Ok) << result.message;
        EXPECT_EQ(options, row.expected);
        const int stayOnTop = int(row.expected.stayOnTop);
        EXPECT_EQ(calls, !row.calls.empty() ? row.calls
                         : stayOnTop == 2   ? std::vector<int>{}
                                            : std::vector<int>{stayOnTop});
    }
}

// Whole numbers come out as themselves, fractions rounded to the nearest, halves to the even; a
// number past any box value stays far past it. Each is read again from text ending where its memory
// ends, or beginning where it begins: nothing is read past its characters.
TEST(SettingsFields, aValueIsRoundedToTheNearestWholeNumberWithinItsOwnCharacters) {
    const auto page = std::size_t(::sysconf(_SC_PAGESIZE));
    void* pages =
        ::mmap(nullptr, 3 * page, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    ASSERT_NE(pages, MAP_FAILED);
    auto* first = static_cast<char*>(pages) + page;
    ASSERT_EQ(::mprotect(pages, page, PROT_NONE), 0);
    ASSERT_EQ(::mprotect(first + page, page, PROT_NONE), 0);
    const auto fenced = [&](QStringView text, bool atEnd) {
        auto* at = reinterpret_cast<char16_t*>(atEnd ? first + page - 2 * text.size() : first);
        std::memcpy(at, text.utf16(), text.size() * sizeof(char16_t));
        return QStringView(at, text.size());
    };
    const std::optional<qint64> no;
    const std::pair<QString, std::optional<qint64>> rows[] = {
        {"12", 12},    {"-305", -305}, {"12.5", 12}, {"13.5", 14}, {"9.51", 10},
        {"007", 7},    {"+40.49", 40}, {"1.", 1},    {" 7.5", 8},  {"1 2", no},
        {"1.2.3", no}, {".", no},      {"", no},     {" ", no},    {"-", no}};
    for (const auto& [text, expected] : rows) {
        EXPECT_EQ(roundToWholeNumber(text), expected) << text;
        EXPECT_EQ(roundToWholeNumber(fenced(text, true)), expected) << text;
        EXPECT_EQ(roundToWholeNumber(fenced(text, false)), expected) << text;
    }
    EXPECT_GT(roundToWholeNumber(u"99999999999999999999").value_or(0), qint64(1) << 32);
    const std::pair<std::u16string_view, QString> files[] = {{u"Check1\r", "Check1"},
                                                             {u"\"/a\r", "/a\r"}};
    for (const auto& [text, field] : files) {
        SettingsFieldReader fields(fenced(QStringView(text.data(), qsizetype(text.size())), true));
        EXPECT_EQ(fields.next().text, field);
        EXPECT_TRUE(fields.atEnd());
    }
    ::munmap(pages, 3 * page);
}

// Each fault names the file, the option as its window does, its key and line; no value applies.
TEST(SettingsFile, aFaultNamesFileAndLineAndKeepsTheOptions) {
    const std::tuple<QByteArray, const char*> rows[] = {
        {"Text1\r\n/w.wav\r\nCheck1\r\n", "Stay On Top (Check1) on line 3 has no value after it"},
        {"Check1\r\n1\r\nText2", "Losing sound (Text2) on line 3 has no value after it"},
        {"Check1\r\n1\r\nText1\r\nCheck3",
         "Play Lossing Sound (Check3) on line 4 has no value after it"},
        {"Check1\r\n1\r\nText1\r\n/w.wav\r\nCheck1\r\nabc\r\n",
         "Stay On Top (Check1) on line 6 is not a number: \"abc\""},
        {"Check2\r\n\r\nCheck3\r\n 1 \r\n",
         "Play Winning Sound (Check2) on line 2 is not a number: \"\""},
        {"Check1\r\naaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaa\r\n",
         "Stay On Top (Check1) on line 2 is not a number: "
         "\"aaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaa\""},
        {"Check1\r\naaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaab\r\n",
         "Stay On Top (Check1) on line 2 is not a number: "
         "\"aaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaa...\""},
        {"Check3\r\n1e0\r\n", "Play Lossing Sound (Check3) on line 2 is not a number"},
        {"Check3\r\n1 x\r\n", "Play Lossing Sound (Check3) on line 2 is not a number"},
        {"Check1\r\n 3 \r\n", "Stay On Top (Check1) on line 2 is not 0, 1 or 2"},
        {"Check2\r\n-1\r\n", "Play Winning Sound (Check2) on line 2 is not 0, 1 or 2"},
        {"Check2\r\n2.5000001\r\n", "Play Winning Sound (Check2) on line 2 is not 0, 1 or 2"},
        {"Check3\r\n99999999999999999999999\r\n",
         "Play Lossing Sound (Check3) on line 2 is not 0, 1 or 2"},
        {"Text1\r\n\"/a\r\nb\"\r\nCheck1\r\nx\r\n",
         "Stay On Top (Check1) on line 5 is not a number"},
        {"Text1\n/w\n\nCheck1\nx\n", "Stay On Top (Check1) on line 5 is not a number"},
        {"Text1\r/w\r\rCheck1\rx\r", "Stay On Top (Check1) on line 5 is not a number"},
        // Not a settings file at all: starting with it would write the options over it.
        {QByteArray(64, '\0'), "holds none of the keys"},
        {"\x8f\x03\xd2,\xff\xfe\x11\r\x7f\xc3\x28\x9b\x00\x42", "holds none of the keys"},
        {"[General]\nvolume=7\ntext1=/w.wav\n", "holds none of the keys"},
    };
    for (const auto& [text, what] : rows) {
        SCOPED_TRACE(text.toStdString());
        SettingsFile file;
        file.store(text);
        Options options = before;
        int calls = 0;
        const SettingsResult result =
            readSettingsFile(file.path, options, [&](CheckState) { ++calls; });
        EXPECT_EQ(result.status, SettingsResult::Failed);
        const QString expected = QStringLiteral("%1: %2").arg(file.path, what);
        EXPECT_TRUE(result.message.startsWith(expected)) << result.message;
        EXPECT_TRUE(options == before && calls == 0) << "nothing read, nothing done";
    }
}

// The player must learn which file could not be read: a folder in its place, or a file too
// big to read. A missing file is no fault (a first start) and is not created by reading.
TEST(SettingsFile, anUnreadableFileFailsNamingItAndAMissingOneChangesNothing) {
    SettingsFile folder, huge, missing;
    ASSERT_TRUE(QDir(folder.dir.path()).mkdir("Settings.txt"));
    // A mebibyte is the most read: one byte more is too much, a file of just that size reads.
    const QByteArray mebibyte = "Text1\r\n" + QByteArray(1024 * 1024 - 7, 'x');
    huge.store(mebibyte + 'x');
    for (const SettingsFile* file : {&folder, &huge, &missing}) {
        Options options = before;
        int calls = 0;
        const SettingsResult result =
            readSettingsFile(file->path, options, [&](CheckState) { ++calls; });
        EXPECT_EQ(result.status,
                  file == &missing ? SettingsResult::Missing : SettingsResult::Failed);
        EXPECT_TRUE(result.message.contains(file->path)) << result.message;
        EXPECT_TRUE(options == before && calls == 0) << "nothing read, nothing done";
    }
    EXPECT_FALSE(QFile::exists(missing.path));
    huge.store(mebibyte);
    Options options = before;
    EXPECT_EQ(readSettingsFile(huge.path, options, [](CheckState) {}).status, SettingsResult::Ok);
    EXPECT_EQ(options.winSoundFile.size(), 1024 * 1024 - 7);
}

// A broken file is set aside as .broken, then .broken.2 and on to .broken.100; past that it stays.
TEST(SettingsFile, aBrokenFileIsSetAsideAsOneOfAHundredCopiesAtMost) {
    SettingsFile file;
    for (int copy = 2; copy < 100; ++copy)
        testing::writeFile(file.path + ".broken." + QString::number(copy), "");
    QString error;
    for (const QString& kept : {file.path + ".broken", file.path + ".broken.100", QString()})
        EXPECT_EQ((file.store("x"), setBrokenSettingsAside(file.path, &error)), kept) << error;
}

// The ten lines, over a longer old file or in a folder not there yet (before a first save).
TEST(SettingsFile, writesTenCrLfLinesOverALongerOldFileOrInANewFolder) {
    SettingsFile old, fresh;
    old.store(QByteArray(500, 'o'));
    EXPECT_EQ(settingsFilePath(old.dir.path() + u'/'), old.path); // beside, in a writable folder
    fresh.path = fresh.dir.filePath("new/Jackwell/Settings.txt");
    for (const SettingsFile* file : {&old, &fresh}) {
        const SettingsResult result =
            writeSettingsFile(file->path, with("/s/win.wav", "", 1, 0, 2));
        EXPECT_EQ(result.status, SettingsResult::Ok) << result.message;
        EXPECT_EQ(file->contents(), "Text1\r\n/s/win.wav\r\nText2\r\n\r\nCheck1\r\n 1 \r\n"
                                    "Check2\r\n 0 \r\nCheck3\r\n 2 \r\n");
    }
}

// Every path the file dialog can give comes back as written. A double quote can neither stand in
// a quoted path nor begin a field: the writer drops those of such a path; the rest still reads.
TEST(SettingsFile, pathsComeBackAsWritten) {
    auto roundTrip = [](const QString& path, const QString& comesBack) {
        SCOPED_TRACE(path.toStdString());
        SettingsFile file;
        ASSERT_EQ(writeSettingsFile(file.path, with(path, path + "/2", 1, 0, 2)).status,
                  SettingsResult::Ok);
        Options loaded;
        EXPECT_EQ(readSettingsFile(file.path, loaded).status, SettingsResult::Ok);
        EXPECT_EQ(loaded, with(comesBack, comesBack + "/2", 1, 0, 2));
        if (comesBack == path) {
            EXPECT_EQ(serializeSettings(loaded), file.contents())
                << "a second save changes nothing";
        }
    };
    for (const char* path :
         {"", "/s/win.wav", "C:\\Sounds\\win.wav", "/s/a,b.wav", ",", "/s/end,", "  /s/lead.wav",
          "\t/s/tab.wav", "/s/trail.wav  ", "/s/a\"b\".wav", "/s/line\nbreak.wav",
          "/s/cr\r\nlf.wav", "/s/klänge/gewinn.wav", "Text1", "1"})
        roundTrip(QString::fromUtf8(path), QString::fromUtf8(path));
    roundTrip("/s/a, \"b,Check1\".wav", "/s/a, b,Check1.wav");
    roundTrip("\"/s/quote.wav", "/s/quote.wav");
}

// 8-bit Settings.txt: UTF-8 read as such, else byte for byte; unchanged paths keep their bytes.
TEST(SettingsFile, pathsInAnotherCodePageComeBackByteForByte) {
    const auto file = [](const QByteArray& win, const QByteArray& lose) {
        return "Text1\r\n" + win + "\r\nText2\r\n" + lose +
               "\r\nCheck1\r\n 0 \r\nCheck2\r\n 1 \r\nCheck3\r\n 1 \r\n";
    };
    const struct {
        const char* name;
        QByteArray file;
        const char16_t* win;
        const char16_t* lose;
        const char16_t* chosenLose = nullptr; // the player chose this instead
        QByteArray written = {};              // what the file then holds, if not as it was
    } rows[] = {
        {"Latin-1", file("C:\\Sons\\caf\xE9.wav", "/s/M\xFCll.wav"), u"C:\\Sons\\café.wav",
         u"/s/Müll.wav"},
        {"UTF-8 beside Latin-1", file("/s/kl\xC3\xA4nge.wav", "/s/caf\xE9.wav"), u"/s/klänge.wav",
         u"/s/café.wav"},
        {"quoted, with a comma", file("\"/s/a,caf\xE9.wav\"", ""), u"/s/a,café.wav", u""},
        {"a cut UTF-8 sequence", file("/s/caf\xC3", "/s/\x81\x8D\x90\xFF"), u"/s/caf\u00C3",
         u"/s/\u0081\u008D\u0090\u00FF"},
        {"UTF-8 only", file("/s/\xE2\x82\xAC.wav", "/s/\xF0\x9F\x8E\xB0.wav"), u"/s/€.wav",
         u"/s/🎰.wav"},
        // A chosen path goes in the file system's UTF-8; the one beside it keeps its Latin-1 bytes.
        {"a chosen path beside one left alone", file("/s/caf\xE9.wav", "/s/old.wav"),
         u"/s/café.wav", u"/s/old.wav", u"/s/neu/Bär.wav",
         file("/s/caf\xE9.wav", "/s/neu/B\xC3\xA4r.wav")},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        SettingsFile settings;
        settings.store(row.file);
        Options options;
        PathSpellings spellings;
        ASSERT_EQ(readSettingsFile(settings.path, options, {}, &spellings).status,
                  SettingsResult::Ok);
        EXPECT_EQ(options,
                  with(QString::fromUtf16(row.win), QString::fromUtf16(row.lose), 0, 1, 1));
        if (row.chosenLose)
            options.loseSoundFile = QString::fromUtf16(row.chosenLose);
        ASSERT_EQ(writeSettingsFile(settings.path, options, spellings).status, SettingsResult::Ok);
        EXPECT_EQ(settings.contents(), row.chosenLose ? row.written : row.file);
        Options reread;
        ASSERT_EQ(readSettingsFile(settings.path, reread).status, SettingsResult::Ok);
        EXPECT_EQ(reread, options);
    }
}

// A file that cannot be written is reported, not taken for success. When the disk fills after
// part of the new text is out, the old file stays whole, with no half-written file beside it.
TEST(SettingsFile, aWriteThatFailsIsReportedAndLeavesTheOldFileWhole) {
    SettingsFile file;
    // Its folder cannot be made: a file stands in the way.
    const QString blocker = file.dir.filePath("blocker");
    ASSERT_TRUE(QFile(blocker).open(QIODevice::WriteOnly));
    const QString nowhere = file.dir.filePath("blocker/Settings.txt");
    SettingsResult result = writeSettingsFile(nowhere, with("/w.wav", "", 1, 1, 1));
    EXPECT_EQ(result.status, SettingsResult::Failed);
    EXPECT_PRED2(textStartsWith, result.message, nowhere + " cannot be written");
    EXPECT_TRUE(result.message.contains(blocker)) << "names the folder";
    EXPECT_FALSE(QFile::exists(nowhere));

    const QByteArray old = serializeSettings(with("/old/win.wav", "/old/loss.wav", 1, 1, 1));
    file.store(old);
    {
        testing::FileSizeLimit limit(16);
        ASSERT_TRUE(limit.active);
        result = writeSettingsFile(file.path, with("/new/a much longer path.wav", "", 0, 0, 0));
    }
    EXPECT_EQ(result.status, SettingsResult::Failed);
    EXPECT_PRED2(textStartsWith, result.message, file.path + " cannot be written");
    EXPECT_EQ(file.contents(), old);
    EXPECT_EQ(QDir(file.dir.path()).entryList(QDir::Files | QDir::Hidden),
              (QStringList{"blocker", "Settings.txt"}));
}

} // namespace
} // namespace jackwell
