#include "chatview/chat_input.h"

namespace jackwell {

namespace {

const QString kMsgCommand = QStringLiteral("/msg");
const QString kMsgUsage = QStringLiteral("Write privately with /msg NAME text");

ChatInput fault(const QString& why) {
    return {ChatInput::Kind::Fault, {}, why};
}

ChatInput privateMessage(const QString& typed) {
    // "/msg", blanks, the name, one blank, the text as typed.
    qsizetype at = kMsgCommand.size();
    while (at < typed.size() && typed[at] == u' ')
        ++at;
    const qsizetype nameEnd = typed.indexOf(u' ', at);
    const QString name = typed.mid(at, nameEnd < 0 ? -1 : nameEnd - at);
    const QString text = nameEnd < 0 ? QString() : typed.mid(nameEnd + 1);
    if (name.isEmpty())
        return fault(QStringLiteral("Not sent: no name after /msg. ") + kMsgUsage + u'.');
    if (text.trimmed().isEmpty())
        return fault(QStringLiteral("Not sent: no text for %1. ").arg(name) + kMsgUsage + u'.');
    return {ChatInput::Kind::Private, name, text};
}

} // namespace

ChatInput parseChatInput(const QString& typed) {
    if (typed.trimmed().isEmpty())
        return {};
    if (typed.startsWith(QStringLiteral("//")))
        return {ChatInput::Kind::Public, {}, typed.mid(1)};
    if (!typed.startsWith(u'/'))
        return {ChatInput::Kind::Public, {}, typed};
    const qsizetype blank = typed.indexOf(u' ');
    const QString command = typed.left(blank < 0 ? typed.size() : blank);
    if (command.compare(kMsgCommand, Qt::CaseInsensitive) == 0)
        return privateMessage(typed);
    return fault(QStringLiteral("Not sent: %1 is no command here. Plain text speaks to "
                                "everyone; /msg NAME text writes privately.")
                     .arg(command.left(40)));
}

} // namespace jackwell
