#pragma once

// The looks of the windows' captions: font, colours, border and alignment.

#include <QColor>
#include <QFont>
#include <QtGlobal>

#include <optional>

namespace jackwell {

// A stored colour value 0x00BBGGRR as a QColor.
QColor colourFromBgr(quint32 bgr);

// "MS Sans Serif" at the given point size; where that family is missing, the
// bold or regular sans-serif that stands in for it at the same size: Liberation
// Sans, whose widths fit the designed boxes, then DejaVu Sans.
QFont cardFont(double pointSize, bool bold);

// `font` made just narrow enough (down to three quarters of its width) that
// `text` takes no more than `width` pixels; as it is when the text fits already.
QFont fittedFont(const QFont& font, const QString& text, int width);

struct TextStyle {
    double pointSize = 8.25;
    bool bold = true;
    std::optional<quint32> textColour; // none: the system's window-text colour
    std::optional<quint32> backColour; // none: transparent
    bool border = false;               // single line border
    Qt::Alignment alignment = Qt::AlignCenter;
    bool wordWrap = false;

    // The card's three text looks.
    static TextStyle cardCaption(); // transparent, white, 8.25 point bold, centred
    static TextStyle holdButton();  // cyan, window-text colour, 8.25 point bold, centred, border
    static TextStyle drawCode();    // transparent, white, 12 point bold, centred
};

} // namespace jackwell
