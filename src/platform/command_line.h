#pragma once

#include <QString>
#include <QStringList>

#include <optional>

class QCommandLineParser;

namespace jackwell {

// What --help and an error message say about a program.
struct ProgramInfo {
    QString name;  // "jackwell"
    QString usage; // the synopsis after the name, one line per form: "CONFIG\n--audit BOOKS"
    QString help;  // the text of --help after the usage lines
};

// Reads a program's command line before anything else runs: adds -h/--help and -v/--version
// to `parser` (which holds the program's own options), parses `arguments` (the program's name
// first) and says whether the program must end at once. It must for --help (the help on
// stdout, 0), for --version (the name and version on stdout, 0) and for an unknown option or a
// missing value (the fault and the usage on stderr, 2); otherwise the caller reads the parser.
std::optional<int> readCommandLine(QCommandLineParser& parser, const QStringList& arguments,
                                   const ProgramInfo& info);

// A command line the caller finds wrong after reading it (a missing or extra argument): says
// `fault` and the usage on stderr; returns 2, the exit code for it.
int commandLineFault(const ProgramInfo& info, const QString& fault);

// The usage lines: "usage: NAME FORM" for each form.
QString usageLines(const ProgramInfo& info);

} // namespace jackwell
