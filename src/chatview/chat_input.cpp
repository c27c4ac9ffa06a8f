#include "chatview/chat_input.h"

#include "platform/quoted.h"

namespace jackwell {

namespace {

using Kind = ChatInput::Kind;

enum class Needs { NameAndText, Text, Name, Anything };

struct Command {
    QLatin1StringView name;
    Kind kind;
    Needs needs;
    QLatin1StringView usage;
    QLatin1StringView what;
};

const Command kCommands[] = {
    {QLatin1StringView("/msg"), Kind::Private, Needs::NameAndText,
     QLatin1StringView("/msg NAME text"), QLatin1StringView("writes privately to NAME")},
    {QLatin1StringView("/query"), Kind::Query, Needs::Anything, QLatin1StringView("/query NAME"),
     QLatin1StringView("writes privately to NAME from now on; /query alone ends it")},
    {QLatin1StringView("/me"), Kind::Action, Needs::Text, QLatin1StringView("/me text"),
     QLatin1StringView("says what you do, in public")},
    {QLatin1StringView("/join"), Kind::Join, Needs::Name, QLatin1StringView("/join #channel"),
     QLatin1StringView("joins a channel and speaks there")},
    {QLatin1StringView("/nick"), Kind::Nick, Needs::Name, QLatin1StringView("/nick NAME"),
     QLatin1StringView("takes another name")},
    {QLatin1StringView("/help"), Kind::Help, Needs::Anything, QLatin1StringView("/help"),
     QLatin1StringView("shows these commands")},
};

ChatInput fault(const QString& why) {
    return {Kind::Fault, {}, why};
}

// The word behind the command (blanks before it skipped) and the text behind the one blank
// that ends the word, as typed.
std::pair<QString, QString> nameAndText(const QString& typed, qsizetype from) {
    while (from < typed.size() && typed[from] == u' ')
        ++from;
    const qsizetype end = typed.indexOf(u' ', from);
    if (end < 0)
        return {typed.mid(from), {}};
    return {typed.mid(from, end - from), typed.mid(end + 1)};
}

ChatInput withArguments(const Command& command, const QString& typed) {
    const qsizetype after = command.name.size();
    const auto [name, text] = nameAndText(typed, after);
    const QString usage = QStringLiteral(" Write ") + command.usage + u'.';
    switch (command.needs) {
    case Needs::NameAndText:
        if (name.isEmpty())
            return fault(QStringLiteral("Not sent: no name after %1.").arg(command.name) + usage);
        if (text.trimmed().isEmpty())
            return fault(QStringLiteral("Not sent: no text for %1.").arg(name) + usage);
        return {command.kind, name, text};
    case Needs::Text: {
        const QString said = typed.mid(after + 1);
        if (said.trimmed().isEmpty())
            return fault(QStringLiteral("Not sent: nothing after %1.").arg(command.name) + usage);
        return {command.kind, {}, said};
    }
    case Needs::Name:
        if (name.isEmpty())
            return fault(QStringLiteral("Not done: no name after %1.").arg(command.name) + usage);
        if (command.kind == Kind::Join && !QStringLiteral("#&+!").contains(name.front()))
            return {command.kind, u'#' + name, {}};
        return {command.kind, name, {}};
    case Needs::Anything:
        break;
    }
    return {command.kind, name, text};
}

} // namespace

ChatInput parseChatInput(const QString& typed) {
    if (typed.trimmed().isEmpty())
        return {};
    if (typed.startsWith(QStringLiteral("//")))
        return {Kind::Public, {}, typed.mid(1)};
    if (!typed.startsWith(u'/'))
        return {Kind::Public, {}, typed};
    const qsizetype blank = typed.indexOf(u' ');
    const QString word = typed.left(blank < 0 ? typed.size() : blank);
    for (const Command& command : kCommands) {
        if (word.compare(command.name, Qt::CaseInsensitive) == 0)
            return withArguments(command, typed);
    }
    return fault(QStringLiteral("Not sent: %1 is no command here; /help lists the commands.")
                     .arg(quotedName(word)));
}

QStringList chatCommandHelp() {
    QStringList lines = {QStringLiteral("Plain text speaks to everyone; a line starting with // "
                                        "is said as it stands.")};
    for (const Command& command : kCommands)
        lines << command.usage + QStringLiteral(": ") + command.what + u'.';
    return lines;
}

} // namespace jackwell
