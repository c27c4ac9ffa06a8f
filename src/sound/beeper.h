#pragma once

namespace jackwell {

// The platform's short alert sound, heard when a reel comes to rest.
class Beeper {
public:
    virtual ~Beeper() = default;
    virtual void beep() = 0;
};

} // namespace jackwell
