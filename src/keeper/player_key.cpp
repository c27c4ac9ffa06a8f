#include "keeper/player_key.h"

namespace jackwell::keeper {

CaseMapping caseMappingNamed(QByteArrayView name) {
    if (name.compare("ascii", Qt::CaseInsensitive) == 0)
        return CaseMapping::Ascii;
    if (name.compare("strict-rfc1459", Qt::CaseInsensitive) == 0)
        return CaseMapping::StrictRfc1459;
    return CaseMapping::Rfc1459;
}

QString playerKey(QByteArrayView nick, CaseMapping mapping) {
    QString key;
    key.reserve(nick.size());
    for (const char byte : nick) {
        char c = byte;
        if (c >= 'A' && c <= 'Z')
            c = char(c - 'A' + 'a');
        else if (mapping != CaseMapping::Ascii && (c == '[' || c == ']' || c == '\\'))
            c = char(c + 32); // { } |
        else if (mapping == CaseMapping::Rfc1459 && c == '~')
            c = '^';
        key += QChar(uchar(c));
    }
    return key;
}

} // namespace jackwell::keeper
