#include "platform/preferences.h"

#include <QSettings>

namespace jackwell {

namespace {
const QString kChatOpen = QStringLiteral("chatWindow/open");
const QString kChatGeometry = QStringLiteral("chatWindow/geometry");
} // namespace

Preferences::Preferences(QString path)
    : path_(std::move(path)) {}

Preferences::ChatWindow Preferences::chatWindow() const {
    ChatWindow chat;
    if (path_.isEmpty())
        return chat;
    const QSettings settings(path_, QSettings::IniFormat);
    chat.open = settings.value(kChatOpen, chat.open).toBool();
    const QRect geometry = settings.value(kChatGeometry).toRect();
    if (geometry.isValid())
        chat.geometry = geometry;
    return chat;
}

bool Preferences::setChatWindow(const ChatWindow& chat) {
    if (path_.isEmpty())
        return true;
    QSettings settings(path_, QSettings::IniFormat);
    settings.setValue(kChatOpen, chat.open);
    if (chat.geometry)
        settings.setValue(kChatGeometry, *chat.geometry);
    else
        settings.remove(kChatGeometry);
    settings.sync();
    return settings.status() == QSettings::NoError;
}

} // namespace jackwell
