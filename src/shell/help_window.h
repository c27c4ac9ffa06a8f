#pragma once

#include <QWidget>

class QTextBrowser;

namespace jackwell {

// The player's help (F1): how to play, the pay table with the symbols' pictures, and every key,
// the card's keys read from their table. It fits the screen it opens on, scrolling what does
// not fit; Esc or Close closes it.
class HelpWindow : public QWidget {
    Q_OBJECT

public:
    enum class Section { Rules, Keys };

    HelpWindow();

    // Shows the window, on `screenArea` (a screen's free area), at the start of `section`.
    void open(Section section, const QRect& screenArea);
    QTextBrowser* text() const { return text_; }

protected:
    void keyPressEvent(QKeyEvent* event) override;

private:
    QTextBrowser* text_;
};

} // namespace jackwell
