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

    // Shows the window at the start of `section`; one that was hidden at the size it wants, for
    // whoever opens it to fit beside the card on its screen.
    void open(Section section);
    QTextBrowser* text() const { return text_; }

protected:
    bool event(QEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    QTextBrowser* text_;
};

} // namespace jackwell
