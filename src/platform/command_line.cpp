#include "platform/command_line.h"

#include "platform/version.h"

#include <QCommandLineParser>

#include <cstdio>

namespace jackwell {

QString usageLines(const ProgramInfo& info) {
    QString lines;
    for (const QString& form : info.usage.split(u'\n')) {
        lines += (lines.isEmpty() ? QStringLiteral("usage: ") : QStringLiteral("       ")) +
                 info.name + u' ' + form + u'\n';
    }
    return lines;
}

int commandLineFault(const ProgramInfo& info, const QString& fault) {
    std::fprintf(stderr, "%s: %s\n%s", qPrintable(info.name), qPrintable(fault),
                 qPrintable(usageLines(info)));
    return 2;
}

std::optional<int> readCommandLine(QCommandLineParser& parser, const QStringList& arguments,
                                   const ProgramInfo& info) {
    const QCommandLineOption help({QStringLiteral("h"), QStringLiteral("help")},
                                  QStringLiteral("Shows this help and exits."));
    const QCommandLineOption version({QStringLiteral("v"), QStringLiteral("version")},
                                     QStringLiteral("Shows the version and exits."));
    parser.addOption(help);
    parser.addOption(version);
    if (!parser.parse(arguments))
        return commandLineFault(info, parser.errorText());
    if (parser.isSet(help)) {
        std::printf("%s\n%s", qPrintable(usageLines(info)), qPrintable(info.help));
        return 0;
    }
    if (parser.isSet(version)) {
        std::printf("%s %s\n", qPrintable(info.name), kJackwellVersion);
        return 0;
    }
    return std::nullopt;
}

} // namespace jackwell
