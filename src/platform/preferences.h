#pragma once

#include <QRect>
#include <QString>

#include <optional>

namespace jackwell {

// The program's own preferences, apart from Settings.txt: whether the chat window is open, and
// where it and the card stand. An INI file (QSettings) at a path of the caller's choosing; with an
// empty path nothing is read or kept.
class Preferences {
public:
    struct ChatWindow {
        bool open = true; // a first run opens it
        std::optional<QRect> geometry;

        bool operator==(const ChatWindow&) const = default;
    };

    explicit Preferences(QString path);

    const QString& path() const { return path_; }
    ChatWindow chatWindow() const;
    // Writes at once; false when the file cannot be written.
    bool setChatWindow(const ChatWindow& chatWindow);
    std::optional<QRect> cardGeometry() const;
    bool setCardGeometry(const QRect& geometry);

private:
    QString path_;
};

} // namespace jackwell
