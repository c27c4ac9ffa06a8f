#pragma once

#include <csignal>
#include <sys/resource.h>

namespace jackwell::testing {

// Lowers the largest file this process may write (root too), as a full disk: EFBIG, no SIGXFSZ.
struct FileSizeLimit {
    rlimit saved{};
    bool active = std::signal(SIGXFSZ, SIG_IGN) != SIG_ERR && getrlimit(RLIMIT_FSIZE, &saved) == 0;
    explicit FileSizeLimit(rlim_t bytes) {
        const rlimit lowered{bytes, saved.rlim_max};
        active = active && setrlimit(RLIMIT_FSIZE, &lowered) == 0;
    }
    ~FileSizeLimit() {
        if (active)
            setrlimit(RLIMIT_FSIZE, &saved);
        std::signal(SIGXFSZ, SIG_DFL);
    }
};

} // namespace jackwell::testing
