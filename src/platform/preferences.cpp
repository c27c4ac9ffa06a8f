#include "platform/preferences.h"

#include <QSettings>

namespace jackwell {

namespace {
const QString kChatOpen = QStringLiteral("chatWindow/open");
const QString kChatGeometry = QStringLiteral("chatWindow/geometry");
const QString kCardGeometry = QStringLiteral("cardWindow/geometry");
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

// What the file holds already is not written again: the windows remember their place each time
// they open, most often where they were.
bool Preferences::setChatWindow(const ChatWindow& chat) {
    if (path_.isEmpty() || chatWindow() == chat)
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

std::optional<QRect> Preferences::cardGeometry() const {
    if (path_.isEmpty())
        return std::nullopt;
    const QRect geometry = QSettings(path_, QSettings::IniFormat).value(kCardGeometry).toRect();
    return geometry.isValid() ? std::optional(geometry) : std::nullopt;
}

bool Preferences::setCardGeometry(const QRect& geometry) {
    if (path_.isEmpty() || cardGeometry() == geometry)
        return true;
    QSettings settings(path_, QSettings::IniFormat);
    settings.setValue(kCardGeometry, geometry);
    settings.sync();
    return settings.status() == QSettings::NoError;
}

} // namespace jackwell
