// The card's start against a bare window: from exec until the first window asked for has been
// painted, the CPU time (user and system) and the peak resident memory of the program, as
// wait4() reports them for the child. Each program ends itself once painted
// (JACKWELL_EXIT_WHEN_SHOWN, see src/shell/start_probe.h), so nothing after the first paint
// is counted.
//
// Three programs are started in turn, RUNS times each after one round not counted: the bare
// window (a QWidget of the card's size and nothing else), jackwell until its card is painted,
// and jackwell until its chat window is painted. jackwell runs with its configuration and data
// folders in a temporary folder, so it starts as on a first run in the embedded world (Rivet's
// books kept from the first start on). On a virtual X display (Xvfb, started here) and
// offscreen. One line per platform, medians, e.g.:
//   start: platform=xvfb runs=15 bare-cpu=74ms card-cpu=120ms chat-cpu=131ms card-ratio=1.62
//          chat-ratio=1.77 bare-rss=28.0MB card-rss=+10.1MB chat-rss=+11.0MB card-wall=180ms
//
// Options: --jackwell PATH, --bare PATH, --runs N, --platforms xvfb,offscreen.

#include <fcntl.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

namespace {

struct Sample {
    double cpuMs = 0;
    double rssMb = 0;
    double wallMs = 0;
};

struct Program {
    const char* name;
    std::string path;
    const char* window; // objectName of the window whose first paint ends it
    std::vector<Sample> samples;
};

double median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    const std::size_t n = values.size();
    return n == 0 ? 0 : n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

double medianOf(const std::vector<Sample>& samples, double Sample::*field) {
    std::vector<double> values;
    for (const Sample& sample : samples)
        values.push_back(sample.*field);
    return median(values);
}

// Whether an X display of this number is taken, also by a server whose lock files this machine
// does not share (its socket's abstract name is seen by every process here).
bool displayTaken(int number) {
    const std::string name = std::string("/tmp/.X11-unix/X").append(std::to_string(number));
    std::FILE* sockets = std::fopen("/proc/net/unix", "r");
    const std::string lock = std::string("/tmp/.X").append(std::to_string(number)).append("-lock");
    bool taken = access(lock.c_str(), F_OK) == 0;
    char line[512];
    while (sockets && !taken && std::fgets(line, sizeof line, sockets)) {
        const char* at = std::strstr(line, name.c_str());
        taken = at && !std::isdigit(static_cast<unsigned char>(at[name.size()]));
    }
    if (sockets)
        std::fclose(sockets);
    return taken;
}

// The virtual display, for as long as the benchmark runs: a number of its own well above those
// other servers take first.
class Xvfb {
public:
    bool start(int attempt) {
        int number = 300 + (getpid() + 37 * attempt) % 600;
        while (displayTaken(number))
            ++number;
        int pipeFds[2];
        if (pipe(pipeFds) != 0)
            return false;
        pid_ = fork();
        if (pid_ == 0) {
            close(pipeFds[0]);
            const int devNull = open("/dev/null", O_WRONLY);
            dup2(devNull, STDOUT_FILENO);
            dup2(devNull, STDERR_FILENO);
            const std::string display = std::string(":").append(std::to_string(number));
            const std::string fd = std::to_string(pipeFds[1]);
            execlp("Xvfb", "Xvfb", display.c_str(), "-displayfd", fd.c_str(), "-noreset",
                   "-nolisten", "tcp", "-screen", "0", "1280x1024x24", static_cast<char*>(nullptr));
            _exit(127);
        }
        close(pipeFds[1]);
        // The number, written once it listens, to its line's end: the server ends itself when
        // it cannot write all of it, so the pipe stays open for as long as the server runs.
        readyFd_ = pipeFds[0];
        std::string ready;
        char c = 0;
        while (ready.find('\n') == std::string::npos && read(readyFd_, &c, 1) == 1)
            ready += c;
        if (pid_ < 0 || ready.find('\n') == std::string::npos)
            return false;
        display_ = std::string(":").append(std::to_string(number));
        return true;
    }
    ~Xvfb() {
        if (pid_ > 0) {
            kill(pid_, SIGTERM);
            waitpid(pid_, nullptr, 0);
        }
        if (readyFd_ >= 0)
            close(readyFd_);
    }
    const std::string& display() const { return display_; }

private:
    pid_t pid_ = -1;
    int readyFd_ = -1;
    std::string display_;
};

// One start, until the program ends itself; false when it failed or took over 30 s.
bool runOnce(const Program& program, const std::string& platform, const std::string& display,
             const std::string& folder, Sample* sample) {
    const auto started = std::chrono::steady_clock::now();
    const pid_t pid = fork();
    if (pid == 0) {
        setenv("QT_QPA_PLATFORM", platform.c_str(), 1);
        if (!display.empty())
            setenv("DISPLAY", display.c_str(), 1);
        setenv("JACKWELL_EXIT_WHEN_SHOWN", program.window, 1);
        setenv("XDG_CONFIG_HOME", (folder + "/config").c_str(), 1);
        setenv("XDG_DATA_HOME", (folder + "/data").c_str(), 1);
        const int devNull = open("/dev/null", O_WRONLY);
        const int errors =
            open((folder + "/stderr.txt").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        dup2(devNull, STDOUT_FILENO);
        dup2(errors, STDERR_FILENO);
        execl(program.path.c_str(), program.path.c_str(), static_cast<char*>(nullptr));
        _exit(127);
    }
    if (pid < 0)
        return false;
    int status = 0;
    rusage usage{};
    for (int waited = 0;; ++waited) {
        const pid_t ended = wait4(pid, &status, WNOHANG, &usage);
        if (ended == pid)
            break;
        if (ended < 0 || waited > 30'000) {
            kill(pid, SIGKILL);
            waitpid(pid, nullptr, 0);
            return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    const auto ms = [](const timeval& time) { return time.tv_sec * 1e3 + time.tv_usec / 1e3; };
    sample->cpuMs = ms(usage.ru_utime) + ms(usage.ru_stime);
    sample->rssMb = usage.ru_maxrss / 1024.0;
    sample->wallMs =
        std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - started)
            .count();
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

bool runPlatform(std::vector<Program> programs, const std::string& platform, int runs,
                 int attempt) {
    Xvfb xvfb;
    if (platform == "xcb" && !xvfb.start(attempt)) {
        std::fprintf(stderr, "start: cannot start Xvfb\n");
        return false;
    }
    char folderTemplate[] = "/tmp/jackwell-start-XXXXXX";
    if (!mkdtemp(folderTemplate))
        return false;
    const std::string folder = folderTemplate;
    for (int round = -1; round < runs; ++round) { // round -1 warms the caches and makes the books
        for (Program& program : programs) {
            Sample sample;
            if (!runOnce(program, platform, xvfb.display(), folder, &sample)) {
                std::fprintf(stderr, "start: %s did not start and end as asked; it said:\n",
                             program.name);
                std::system(
                    ("head -3 '" + folder + "/stderr.txt' >&2; rm -rf '" + folder + "'").c_str());
                return false;
            }
            if (round >= 0)
                program.samples.push_back(sample);
        }
    }
    std::system(("rm -rf '" + folder + "'").c_str());
    const Program& bare = programs[0];
    const double bareCpu = medianOf(bare.samples, &Sample::cpuMs);
    const double bareRss = medianOf(bare.samples, &Sample::rssMb);
    std::printf("start: platform=%s runs=%d", platform == "xcb" ? "xvfb" : platform.c_str(), runs);
    for (const Program& program : programs)
        std::printf(" %s-cpu=%.0fms", program.name, medianOf(program.samples, &Sample::cpuMs));
    for (std::size_t i = 1; i < programs.size(); ++i)
        std::printf(" %s-ratio=%.2f", programs[i].name,
                    medianOf(programs[i].samples, &Sample::cpuMs) / bareCpu);
    std::printf(" bare-rss=%.1fMB", bareRss);
    for (std::size_t i = 1; i < programs.size(); ++i)
        std::printf(" %s-rss=%+.1fMB", programs[i].name,
                    medianOf(programs[i].samples, &Sample::rssMb) - bareRss);
    for (const Program& program : programs)
        std::printf(" %s-wall=%.0fms", program.name, medianOf(program.samples, &Sample::wallMs));
    std::printf("\n");
    std::fflush(stdout);
    return true;
}

} // namespace

int main(int argc, char* argv[]) {
    std::string jackwell = JACKWELL_PROGRAM;
    std::string bare = BARE_WINDOW_PROGRAM;
    std::string platforms = "xvfb,offscreen";
    int runs = 15;
    for (int i = 1; i + 1 < argc; i += 2) {
        const std::string option = argv[i];
        if (option == "--jackwell")
            jackwell = argv[i + 1];
        else if (option == "--bare")
            bare = argv[i + 1];
        else if (option == "--runs")
            runs = std::max(1, std::atoi(argv[i + 1]));
        else if (option == "--platforms")
            platforms = argv[i + 1];
    }
    const std::vector<Program> programs = {{"bare", bare, "bareWindow", {}},
                                           {"card", jackwell, "frmJackwell", {}},
                                           {"chat", jackwell, "ChatWindow", {}}};
    bool ok = true;
    for (std::size_t at = 0; at < platforms.size();) {
        const std::size_t comma = std::min(platforms.find(',', at), platforms.size());
        const std::string platform = platforms.substr(at, comma - at);
        at = comma + 1;
        // A virtual display can be lost to another one starting at the same moment: tried anew.
        bool ran = false;
        for (int attempt = 0; attempt < 3 && !ran; ++attempt)
            ran = runPlatform(programs, platform == "xvfb" ? "xcb" : platform, runs, attempt);
        ok = ran && ok;
    }
    return ok ? 0 : 1;
}
