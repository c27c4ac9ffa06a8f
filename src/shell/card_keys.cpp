#include "shell/card_keys.h"

namespace jackwell {

const CardKey* cardKeyFor(CardAction action) {
    for (const CardKey& key : card::kKeys) {
        if (key.action == action)
            return &key;
    }
    return nullptr;
}

std::optional<CardAction> cardActionForKey(int key, int modifiers) {
    constexpr int kNotForCards = Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier;
    if (key == 0 || (modifiers & kNotForCards) != 0)
        return std::nullopt;
    for (const CardKey& entry : card::kKeys) {
        for (int candidate : entry.keys) {
            if (candidate == key)
                return entry.action;
        }
    }
    return std::nullopt;
}

QString cardKeyToolTip(const CardKey& key) {
    const QString name = QLatin1String(key.buttonName);
    const QString keys = QLatin1String(key.keyNames);
    return (keys.isEmpty() ? name : name + QStringLiteral(" (") + keys + u')') +
           QStringLiteral(": ") + QLatin1String(key.description);
}

QString cardKeyAccessibleName(const CardKey& key) {
    return QLatin1String(key.buttonName) + QStringLiteral(" button");
}

QString cardKeysText() {
    QString text;
    for (const CardKey& key : card::kKeys) {
        if (*key.keyNames == '\0')
            continue;
        text += QStringLiteral("%1  %2: %3\n")
                    .arg(QLatin1String(key.keyNames), -10)
                    .arg(QLatin1String(key.buttonName), QLatin1String(key.description));
    }
    return text;
}

} // namespace jackwell
