#pragma once

#include "shell/text_style.h"

#include <QString>
#include <QWidget>

namespace jackwell {

// A label as the windows were designed with: a caption in one text style,
// transparent or on its own colour. A clickable label is a button: a press
// and a release inside it are one click; a disabled label takes none. Other
// labels let clicks through to the window beneath.
//
// A clickable label can also be reached with the Tab key (it then shows a focus
// frame) and clicked with Return or Enter; to screen readers it is a button with
// a press action, and other labels are text that reads their caption.
class CardLabel : public QWidget {
    Q_OBJECT

public:
    CardLabel(const TextStyle& style, bool clickable, QWidget* parent);

    const QString& caption() const { return caption_; }
    void setCaption(const QString& caption);
    // The background colour as 0x00BBGGRR; a transparent label has none.
    std::optional<quint32> backColour() const { return style_.backColour; }
    void setBackColour(quint32 bgr);
    bool isClickable() const { return clickable_; }
    // A button that would do nothing now is drawn dimmed.
    bool isDimmed() const { return dimmed_; }
    void setDimmed(bool dimmed);
    // A click, as the mouse or the Return key gives it: nothing on a disabled label.
    void click();

    // Makes screen readers see card labels as described above; once per program.
    static void installAccessibility();

signals:
    void clicked();

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;

private:
    TextStyle style_;
    QString caption_;
    bool clickable_;
    bool pressed_ = false;
    bool dimmed_ = false;
};

} // namespace jackwell
