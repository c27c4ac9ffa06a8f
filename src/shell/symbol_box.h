#pragma once

#include "shell/pictures.h"

#include <QWidget>

namespace jackwell {

// A picture box showing one symbol picture (1..14) on black, or only black
// for any other number. It takes no clicks. A box with a clear ground paints
// only the symbol and lets the window's black (and any picture it overlaps)
// show around it.
class SymbolBox : public QWidget {
public:
    explicit SymbolBox(QWidget* parent, Ground ground = Ground::Black);

    int image() const { return image_; }
    void setImage(int image);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    int image_ = 0;
    Ground ground_;
};

} // namespace jackwell
