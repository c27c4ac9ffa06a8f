#include "settings/settings_file.h"

#include "platform/player_files.h"
#include "settings/settings_fields.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QList>
#include <QSaveFile>
#include <QStringDecoder>

#include <array>

namespace jackwell {

namespace {

enum Key { WinSoundFile, LoseSoundFile, StayOnTop, PlayWinSound, PlayLoseSound, KeyCount };

// The keys the file stores the options under, in the order the reader tests them and the writer
// writes them.
constexpr std::array<QStringView, KeyCount> keyNames = {u"Text1", u"Text2", u"Check1", u"Check2",
                                                        u"Check3"};
// The options as the player knows them from the options window.
constexpr std::array<QStringView, KeyCount> optionNames = {u"Winning sound", u"Losing sound",
                                                           u"Stay On Top", u"Play Winning Sound",
                                                           u"Play Lossing Sound"};

// A real file holds two paths and a few short lines; anything near this size is not one.
constexpr qint64 maxFileSize = 1024 * 1024;

// The longest piece of a bad value that a message quotes.
constexpr qsizetype maxQuotedValue = 40;

// One key and the value read after it, waiting to be put into the options.
struct Assignment {
    Key key;
    QString text;
    QByteArray bytes; // what the file holds for the text
    CheckState box = CheckState::Clear;
};

constexpr char utf8ByteOrderMark[] = "\xEF\xBB\xBF";

// A field read off the file byte for byte: as UTF-8 when its bytes are valid UTF-8, otherwise
// each byte as the character of that number (Latin-1), so no byte is lost.
QString decodeField(const QByteArray& bytes) {
    QStringDecoder utf8(QStringDecoder::Utf8,
                        QStringDecoder::Flag::Stateless | QStringDecoder::Flag::ConvertInitialBom);
    QString text = utf8.decode(bytes);
    return utf8.hasError() ? QString::fromLatin1(bytes) : text;
}

SettingsResult failed(const QString& message) {
    return {SettingsResult::Failed, message};
}

QString quoted(const QString& value) {
    if (value.size() <= maxQuotedValue)
        return u'"' + value + u'"';
    return u'"' + value.left(maxQuotedValue) + QStringLiteral("...\"");
}

// "Play Winning Sound (Check2) on line 8 is not 0, 1 or 2": the option by the name the player
// knows, its key and the line, for the file at `path`.
SettingsResult failedAt(const QString& path, Key key, int line, const QString& what) {
    return failed(QStringLiteral("%1: %2 (%3) on line %4 %5")
                      .arg(path, optionNames[key], keyNames[key], QString::number(line), what));
}

SettingsResult cannotRead(const QString& path, const QString& reason) {
    return failed(QStringLiteral("%1 cannot be read: %2").arg(path, reason));
}

SettingsResult cannotWrite(const QString& path, const QString& reason) {
    return failed(QStringLiteral("%1 cannot be written: %2").arg(path, reason));
}

void apply(const QList<Assignment>& assignments, Options& options,
           const StayOnTopChanged& stayOnTopChanged, PathSpellings* spellings) {
    for (const Assignment& assignment : assignments) {
        if (spellings && (assignment.key == WinSoundFile || assignment.key == LoseSoundFile))
            spellings->insert(assignment.text, assignment.bytes);
        switch (assignment.key) {
        case WinSoundFile:
            options.winSoundFile = assignment.text;
            break;
        case LoseSoundFile:
            options.loseSoundFile = assignment.text;
            break;
        case StayOnTop:
            if (options.stayOnTop != assignment.box) {
                options.stayOnTop = assignment.box;
                if (stayOnTopChanged)
                    stayOnTopChanged(assignment.box);
            }
            break;
        case PlayWinSound:
            options.playWinSound = assignment.box;
            break;
        case PlayLoseSound:
            options.playLoseSound = assignment.box;
            break;
        case KeyCount:
            break;
        }
    }
}

// A path is written as it stands when it reads back unchanged: it must not begin with a blank
// (skipped before a field) or a double quote (which starts a quoted field), nor hold a comma or
// a line end (which end a field). Any other path is written inside double quotes. These are all
// single bytes, and no byte of a longer UTF-8 sequence is one, so the test works on the bytes.
//
// The format has no way to put a double quote inside a quoted field, which ends at the first
// one, and no field can begin with one, so a path that needs the quotes and also holds a double
// quote cannot come back whole. It is written without its double quotes: that keeps every other
// character and keeps the rest of the file readable, whereas writing them would cut the path at the
// first one and could spill the rest of its line into stray fields, or even into a false key.
//
// Nor can a path come back that equals a key tested after its own ("Text2", "Check1", "Check2",
// "Check3"): the reader takes such a value as that key. The program's paths come from the file
// dialog and are absolute, so they never equal a key.
QByteArray pathLine(const QByteArray& path) {
    const bool needsQuotes =
        !path.isEmpty() && (path.front() == ' ' || path.front() == '\t' || path.front() == '"' ||
                            path.contains(',') || path.contains('\r') || path.contains('\n'));
    if (!needsQuotes)
        return path;
    QByteArray inner = path;
    inner.replace('"', QByteArray());
    return '"' + inner + '"';
}

QByteArray pathBytes(const QString& path, const PathSpellings& spellings) {
    const auto spelt = spellings.constFind(path);
    return spelt != spellings.cend() ? *spelt : QFile::encodeName(path);
}

QByteArray boxLine(CheckState value) {
    return ' ' + QByteArray::number(int(value)) + ' ';
}

} // namespace

QString settingsFilePath(const QString& executableDir) {
    return playerFilePath(executableDir, QStringLiteral("Settings.txt"));
}

SettingsResult readSettingsFile(const QString& path, Options& options,
                                const StayOnTopChanged& stayOnTopChanged,
                                PathSpellings* spellings) {
    const QFileInfo info(path);
    if (!info.exists()) {
        return {SettingsResult::Missing,
                QStringLiteral("%1 does not exist yet; the options keep their values until it "
                               "is written.")
                    .arg(path)};
    }
    if (!info.isFile())
        return cannotRead(path, QStringLiteral("it is not a file"));

    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return cannotRead(path, file.errorString());
    const QByteArray bytes = file.read(maxFileSize + 1);
    if (file.error() != QFileDevice::NoError)
        return cannotRead(path, file.errorString());
    if (bytes.size() > maxFileSize) {
        return cannotRead(path, QStringLiteral("it is larger than %1 bytes, far more than "
                                               "a settings file holds")
                                    .arg(maxFileSize));
    }
    return readSettings(bytes, path, options, stayOnTopChanged, spellings);
}

SettingsResult readSettings(const QByteArray& bytes, const QString& path, Options& options,
                            const StayOnTopChanged& stayOnTopChanged, PathSpellings* spellings) {
    // The fields are cut on the bytes, one character each; every byte that ends or starts a
    // field is a single-byte character in UTF-8 as in any 8-bit code page. Each field is then
    // read as UTF-8 or byte for byte on its own.
    const QByteArray content =
        bytes.startsWith(utf8ByteOrderMark) ? bytes.mid(sizeof utf8ByteOrderMark - 1) : bytes;
    const QString byteText = QString::fromLatin1(content);
    SettingsFieldReader fields(byteText);
    QByteArray fieldBytes; // the bytes of the field read last
    const auto next = [&fields, &fieldBytes] {
        SettingsField field = fields.next();
        fieldBytes = field.text.toLatin1();
        field.text = decodeField(fieldBytes);
        return field;
    };

    // Collected first and applied only when the whole file has read well.
    QList<Assignment> assignments;
    bool anyText = false; // a field that is not empty: blank lines alone make an empty file
    while (!fields.atEnd()) {
        SettingsField current = next();
        anyText = anyText || !current.text.isEmpty();
        for (int index = 0; index < KeyCount; ++index) {
            const Key key = Key(index);
            if (current.text != keyNames[key])
                continue;
            if (fields.atEnd())
                return failedAt(path, key, current.line, QStringLiteral("has no value after it"));
            SettingsField value = next();
            Assignment assignment{key, value.text, fieldBytes};
            if (key >= StayOnTop) {
                const std::optional<qint64> number = roundToWholeNumber(value.text);
                if (!number) {
                    return failedAt(path, key, value.line,
                                    QStringLiteral("is not a number: %1").arg(quoted(value.text)));
                }
                if (*number < 0 || *number > 2) {
                    return failedAt(path, key, value.line,
                                    QStringLiteral("is not 0, 1 or 2: %1").arg(quoted(value.text)));
                }
                assignment.box = CheckState(*number);
            }
            assignments.append(assignment);
            current = std::move(value); // the later keys are tested on the value
        }
    }
    // Text without a single key is some other file (another program's, or bytes that are no
    // text): starting with it would save the options over it.
    if (assignments.isEmpty() && anyText)
        return failed(QStringLiteral("%1: holds none of the keys Text1, Text2, Check1, Check2 and "
                                     "Check3, so it is not a settings file of this program")
                          .arg(path));
    apply(assignments, options, stayOnTopChanged, spellings);
    return {};
}

QString setBrokenSettingsAside(const QString& path, QString* error) {
    constexpr int kMostKept = 100;
    for (int copy = 1; copy <= kMostKept; ++copy) {
        const QString aside =
            path + (copy == 1 ? QStringLiteral(".broken") : QStringLiteral(".broken.%1").arg(copy));
        if (QFileInfo::exists(aside) || QFileInfo(aside).isSymLink())
            continue;
        QFile file(path);
        if (file.rename(aside))
            return aside;
        *error = file.errorString();
        return {};
    }
    *error = QStringLiteral("%1 broken copies are kept beside it already").arg(kMostKept);
    return {};
}

QByteArray serializeSettings(const Options& options, const PathSpellings& spellings) {
    QByteArray text;
    const auto addLine = [&text](const QByteArray& line) {
        text += line;
        text += "\r\n";
    };
    const auto key = [](Key key) { return keyNames[key].toLatin1(); };
    addLine(key(WinSoundFile));
    addLine(pathLine(pathBytes(options.winSoundFile, spellings)));
    addLine(key(LoseSoundFile));
    addLine(pathLine(pathBytes(options.loseSoundFile, spellings)));
    addLine(key(StayOnTop));
    addLine(boxLine(options.stayOnTop));
    addLine(key(PlayWinSound));
    addLine(boxLine(options.playWinSound));
    addLine(key(PlayLoseSound));
    addLine(boxLine(options.playLoseSound));
    return text;
}

SettingsResult writeSettingsFile(const QString& path, const Options& options,
                                 const PathSpellings& spellings) {
    const QByteArray bytes = serializeSettings(options, spellings);
    const QString folder = QFileInfo(path).absolutePath();
    if (!QDir().mkpath(folder))
        return cannotWrite(path, QStringLiteral("its folder %1 cannot be created").arg(folder));

    // Unbuffered, so that a short write shows at the write itself. Through its buffer, a
    // QSaveFile whose last flush wrote only part of the text (a full disk) still reports the
    // commit as done and renames the cut file over the old one.
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Unbuffered))
        return cannotWrite(path, file.errorString());
    for (qsizetype done = 0; done < bytes.size();) {
        const qint64 written = file.write(bytes.constData() + done, bytes.size() - done);
        if (written <= 0) {
            const QString reason = file.errorString();
            file.cancelWriting(); // the temporary file goes, the old file stays
            return cannotWrite(path, reason);
        }
        done += written;
    }
    if (!file.commit())
        return cannotWrite(path, file.errorString());
    return {};
}

} // namespace jackwell
