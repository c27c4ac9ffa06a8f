#include "history/final_lines_file.h"

#include "machine/pay_table.h"
#include "machine/texts.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QUrl>

namespace jackwell::history {

namespace {

constexpr QByteArrayView kCreditsOpen = "Credits: (";

// The last kMostBytesRead bytes of the file, from the first whole line in them; empty when
// there is no file, nullopt (and `error`) when there is one that cannot be read.
std::optional<QByteArray> tailOf(const QString& path, QString* error) {
    QFile file(path);
    if (!file.exists())
        return QByteArray();
    if (!file.open(QIODevice::ReadOnly)) {
        *error = QStringLiteral("%1: %2").arg(QDir::toNativeSeparators(path), file.errorString());
        return std::nullopt;
    }
    const qint64 skipped = std::max<qint64>(0, file.size() - FinalLinesFile::kMostBytesRead);
    if (skipped == 0)
        return file.readAll();
    file.seek(skipped);
    QByteArray bytes = file.readAll();
    bytes.remove(0, bytes.indexOf('\n') + 1); // the rest of the line the part read begins in
    return bytes;
}

template <typename Each> void forEachLine(QByteArrayView bytes, Each each) {
    while (!bytes.isEmpty()) {
        const qsizetype end = bytes.indexOf('\n');
        each(bytes.first(end < 0 ? bytes.size() : end));
        bytes = end < 0 ? QByteArrayView() : bytes.sliced(end + 1);
    }
}

std::optional<qint64> number(QByteArrayView text, qsizetype mostDigits) {
    text = text.trimmed();
    if (text.isEmpty() || text.size() > mostDigits)
        return std::nullopt;
    qint64 value = 0;
    for (char digit : text) {
        if (digit < '0' || digit > '9')
            return std::nullopt;
        value = value * 10 + (digit - '0');
    }
    return value;
}

QString fileNamePart(const QString& name) {
    return QString::fromLatin1(QUrl::toPercentEncoding(name.toLower()));
}

} // namespace

std::optional<PlayedGame> parseFinalText(QByteArrayView text) {
    // FINAL: | 07 | 12 | 14 | Credits: (105)
    std::array<QByteArrayView, 5> parts;
    for (qsizetype part = 0; part < 5; ++part) {
        const qsizetype bar = part < 4 ? text.indexOf('|') : text.size();
        if (bar < 0)
            return std::nullopt;
        parts[part] = text.first(bar).trimmed();
        text = text.sliced(std::min(bar + 1, text.size()));
    }
    if (parts[0] !=
            QByteArrayView(machine::kFinalDrawHead.data(), machine::kFinalDrawHead.size()) ||
        !parts[4].startsWith(kCreditsOpen) || !parts[4].endsWith(')'))
        return std::nullopt;
    machine::ReelCodes codes{};
    for (int reel = 0; reel < machine::kReelCount; ++reel) {
        const std::optional<qint64> code = number(parts[reel + 1], 2);
        if (!code || !machine::isSymbol(int(*code)))
            return std::nullopt;
        codes[reel] = int(*code);
    }
    const std::optional<qint64> credits =
        number(parts[4].sliced(kCreditsOpen.size()).chopped(1), 13);
    if (!credits)
        return std::nullopt;
    return PlayedGame{machine::tokensWon(codes), *credits, machine::kGameCost};
}

FinalLinesFile::FinalLinesFile(QString path)
    : path_(std::move(path)) {}

QString FinalLinesFile::pathFor(const QString& dataDir, const QString& server,
                                const QString& keeper) {
    // Percent-encoding leaves no '@' standing, so the pair reads back one way only.
    return QDir(dataDir).filePath(
        QStringLiteral("games-%1@%2.txt").arg(fileNamePart(keeper), fileNamePart(server)));
}

bool FinalLinesFile::append(const QString& finalText, QString* error) {
    const QByteArray line = finalText.trimmed().toUtf8();
    if (!parseFinalText(line)) {
        *error = QStringLiteral("not a final result: %1").arg(finalText.left(80));
        return false;
    }
    if (!lines_ && !countLines(error))
        return false;
    if (line == lastLine_)
        return true;
    QDir().mkpath(QFileInfo(path_).absolutePath());
    QFile file(path_);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Append) || file.write(line + '\n') < 0 ||
        !file.flush()) {
        *error = QStringLiteral("%1: %2").arg(QDir::toNativeSeparators(path_), file.errorString());
        return false;
    }
    lastLine_ = line;
    if (++*lines_ > kKeptGames + kKeptGames / 10)
        return cutBack(error);
    return true;
}

bool FinalLinesFile::countLines(QString* error) {
    const std::optional<QByteArray> bytes = tailOf(path_, error);
    if (!bytes)
        return false;
    const QFileInfo file(path_);
    // A file longer than what is read holds more lines than are kept.
    lines_ = file.exists() && file.size() > kMostBytesRead ? kKeptGames * 2 : bytes->count('\n');
    const QByteArrayView text = QByteArrayView(*bytes).trimmed();
    lastLine_ = text.sliced(text.lastIndexOf('\n') + 1).toByteArray();
    return true;
}

// Keeps the last kKeptGames results that can be read; the file is replaced whole or not at all.
bool FinalLinesFile::cutBack(QString* error) {
    const std::optional<QByteArray> bytes = tailOf(path_, error);
    if (!bytes)
        return false;
    std::vector<QByteArrayView> kept;
    forEachLine(*bytes, [&](QByteArrayView line) {
        if (parseFinalText(line))
            kept.push_back(line);
    });
    const std::size_t from = kept.size() > std::size_t(kKeptGames) ? kept.size() - kKeptGames : 0;
    QSaveFile file(path_);
    bool written = file.open(QIODevice::WriteOnly);
    for (std::size_t line = from; written && line < kept.size(); ++line)
        written = file.write(kept[line].toByteArray() + '\n') >= 0;
    if (!written || !file.commit()) {
        *error = QStringLiteral("%1: %2").arg(QDir::toNativeSeparators(path_), file.errorString());
        return false;
    }
    lines_ = qsizetype(kept.size() - from);
    return true;
}

FinalLinesFile::Reading FinalLinesFile::read() const {
    Reading reading;
    const std::optional<QByteArray> bytes = tailOf(path_, &reading.error);
    if (!bytes)
        return reading;
    reading.games.reserve(std::size_t(bytes->count('\n')));
    forEachLine(*bytes, [&](QByteArrayView line) {
        if (const std::optional<PlayedGame> game = parseFinalText(line))
            reading.games.push_back(*game);
        else if (!line.trimmed().isEmpty())
            reading.unreadableLines += 1;
    });
    if (reading.games.size() > std::size_t(kKeptGames))
        reading.games.erase(reading.games.begin(), reading.games.end() - kKeptGames);
    return reading;
}

} // namespace jackwell::history
