#pragma once

namespace jackwell {

// Keeps a window above other windows, or lets it go back among them, without
// moving, hiding or resizing it.
class WindowPin {
public:
    virtual ~WindowPin() = default;
    virtual void setStayOnTop(bool onTop) = 0;
};

} // namespace jackwell
