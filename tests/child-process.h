#pragma once

// Child processes for the tests: the demo itself and the servers and tools it
// is run against. A child is stopped (SIGTERM, then SIGKILL) and reaped when
// its object goes, so a failed assertion never leaves one behind, and it dies
// with the test process if that is killed first.

#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <map>
#include <optional>
#include <string>
#include <utility>
#include <vector>

using Environment = std::map<std::string, std::string>;

// CTest ends a test after 120 s (TIMEOUT in CMakeLists.txt), and its message
// with it. The tests' waits are limited by these, well inside that, so a slow
// run fails with what it saw. Start-up decodes the assets, which a sanitizer build
// on a busy machine does slowly.
inline constexpr std::chrono::seconds startLimit{60};
inline constexpr std::chrono::seconds exitLimit{15};

// How a child ended (`exited` with `status`, or not; `how` says it as "exit
// 0", "signal 11" or "still running") and all it wrote.
struct Outcome {
    bool exited = false;
    int status = -1;
    std::string how = "still running";
    std::string output;
    std::string errorOutput;
};

// `base` with `changes` applied on top.
inline Environment with(Environment base, const Environment& changes) {
    for (const auto& [name, value] : changes) {
        base[name] = value;
    }
    return base;
}

inline Environment inheritedEnvironment() {
    extern char** environ;
    Environment environment;
    for (char** entry = environ; *entry; ++entry) {
        const std::string text = *entry;
        if (const size_t equals = text.find('='); equals != std::string::npos) {
            environment[text.substr(0, equals)] = text.substr(equals + 1);
        }
    }
    return environment;
}

// The path of the executable that the PATH gives for `name`, or "" if none.
inline std::string findProgram(const std::string& name) {
    const char* path = std::getenv("PATH");
    const std::string dirs = std::string(path ? path : "/usr/bin:/bin") + ":";
    for (size_t start = 0, end; (end = dirs.find(':', start)) != std::string::npos;
         start = end + 1) {
        const std::string candidate = dirs.substr(start, end - start) + "/" + name;
        if (access(candidate.c_str(), X_OK) == 0) {
            return candidate;
        }
    }
    return {};
}

inline bool haveProgram(const std::string& name) {
    return !findProgram(name).empty();
}

// The end of a long text, for messages.
inline std::string lastLines(const std::string& text) {
    return text.size() > 600 ? "..." + text.substr(text.size() - 600) : text;
}

// "exit 0", "signal 11": a wait status for messages.
inline std::string describeStatus(int status) {
    return WIFEXITED(status)     ? "exit " + std::to_string(WEXITSTATUS(status))
           : WIFSIGNALED(status) ? "signal " + std::to_string(WTERMSIG(status))
                                 : "status " + std::to_string(status);
}

class ChildProcess {
  public:
    using Clock = std::chrono::steady_clock;

    ChildProcess() = default;
    ChildProcess(ChildProcess&& other) noexcept { *this = std::move(other); }
    ChildProcess& operator=(ChildProcess&& other) noexcept {
        if (this != &other) {
            stop();
            s_ = std::exchange(other.s_, State{});
        }
        return *this;
    }
    ~ChildProcess() { stop(); }

    // Starts argv[0] (a path, or a name looked up on the PATH) with exactly the
    // given environment. Standard output and error are collected; any other
    // descriptor is closed in the child except `passFd`, which it gets as 3.
    static ChildProcess start(const std::vector<std::string>& argv, const Environment& environment,
                              int passFd = -1) {
        ChildProcess child;
        int out[2] = {-1, -1};
        int err[2] = {-1, -1};
        if (argv.empty() || pipe2(out, O_CLOEXEC) != 0 || pipe2(err, O_CLOEXEC) != 0) {
            close(out[0]);  // nothing happens to a descriptor of -1
            close(out[1]);
            return child;
        }
        // The arguments, a null, the environment as "name=value", a null.
        std::vector<std::string> texts = argv;
        for (const auto& [name, value] : environment) {
            texts.push_back(name + "=" + value);
        }
        std::vector<char*> pointers;
        for (auto& text : texts) {
            pointers.push_back(text.data());
        }
        pointers.insert(pointers.begin() + static_cast<std::ptrdiff_t>(argv.size()), nullptr);
        pointers.push_back(nullptr);
        const std::string found =
            argv[0].find('/') == std::string::npos ? findProgram(argv[0]) : "";
        const std::string& path = found.empty() ? argv[0] : found;

        const pid_t parent = getpid();
        const pid_t pid = fork();
        if (pid == 0) {
            // Nothing but async-signal-safe calls from here on.
            prctl(PR_SET_PDEATHSIG, SIGKILL);
            if (getppid() != parent) {
                _exit(127);
            }
            dup2(open("/dev/null", O_RDONLY), STDIN_FILENO);
            dup2(out[1], STDOUT_FILENO);
            dup2(err[1], STDERR_FILENO);
            if (passFd >= 0) {
                dup2(passFd, 3);
            }
            close_range(passFd >= 0 ? 4 : 3, ~0u, 0);
            execve(path.c_str(), pointers.data(), pointers.data() + argv.size() + 1);
            _exit(127);
        }
        for (const int fd : {out[1], err[1], pid < 0 ? out[0] : -1, pid < 0 ? err[0] : -1}) {
            close(fd);
        }
        if (pid > 0) {
            child.s_.pid = pid;
            child.s_.fds[0] = out[0];
            child.s_.fds[1] = err[0];
            fcntl(out[0], F_SETFL, O_NONBLOCK);
            fcntl(err[0], F_SETFL, O_NONBLOCK);
        }
        return child;
    }

    bool started() const { return s_.pid > 0; }
    pid_t pid() const { return s_.pid; }

    // True once the child has ended (and was reaped).
    bool exited() {
        pump();
        int status = 0;
        if (!s_.status && s_.pid > 0 && waitpid(s_.pid, &status, WNOHANG) == s_.pid) {
            s_.status = status;
            pump();
        }
        return s_.status.has_value() || s_.pid <= 0;
    }

    // Polls `ready` every `interval` until it holds (true), or the child
    // ends or `limit` passes (false). Output wakes it early, so a chatty child
    // never blocks on a full pipe (poll skips a closed, negative descriptor).
    template <typename Ready>
    bool waitUntil(std::chrono::milliseconds limit, Ready ready,
                   std::chrono::milliseconds interval = std::chrono::milliseconds(100)) {
        const auto deadline = Clock::now() + limit;
        while (Clock::now() < deadline && !exited()) {
            if (ready()) {
                return true;
            }
            pollfd fds[] = {{s_.fds[0], POLLIN, 0}, {s_.fds[1], POLLIN, 0}};
            poll(fds, 2, static_cast<int>(interval.count()));
        }
        return false;
    }

    // The wait status once the child has ended, or nothing if it is still
    // running after `limit`.
    std::optional<int> waitFor(std::chrono::milliseconds limit) {
        waitUntil(
            limit, [] { return false; }, std::chrono::milliseconds(10));
        return exited() ? s_.status : std::nullopt;
    }

    // Waits up to `limit` for the end; a child still running then fails the
    // test (and is stopped).
    Outcome finish(std::chrono::milliseconds limit) {
        Outcome outcome;
        if (const auto status = waitFor(limit)) {
            outcome.exited = WIFEXITED(*status);
            outcome.status = outcome.exited ? WEXITSTATUS(*status) : -1;
            outcome.how = describeStatus(*status);
        } else {
            ADD_FAILURE() << "still running after " << limit.count() << " ms";
            stop();
        }
        outcome.output = output();
        outcome.errorOutput = errorOutput();
        return outcome;
    }

    void signal(int number) {
        if (s_.pid > 0 && !exited()) {
            kill(s_.pid, number);
        }
    }

    // Ends the child if it still runs: SIGTERM, a grace period, then SIGKILL.
    // Until it is reaped here its pid stays its own, so no signal can reach
    // another process that was given the same number.
    void stop(std::chrono::milliseconds grace = std::chrono::milliseconds(5000)) {
        if (s_.pid > 0 && !exited()) {
            kill(s_.pid, SIGCONT);
            kill(s_.pid, SIGTERM);
            if (!waitFor(grace)) {
                kill(s_.pid, SIGKILL);
                int status = 0;
                waitpid(s_.pid, &status, 0);
                s_.status = status;
            }
        }
        pump();
        for (int& fd : s_.fds) {
            close(std::exchange(fd, -1));
        }
        s_.pid = -1;
    }

    // Everything the child has written so far.
    const std::string& output() {
        pump();
        return s_.texts[0];
    }
    const std::string& errorOutput() {
        pump();
        return s_.texts[1];
    }

    // Runs a program to its end (at most `limit`) and returns its standard
    // output, or nothing if it failed to start, failed or took too long.
    static std::optional<std::string> capture(
        const std::vector<std::string>& argv, const Environment& environment,
        std::chrono::milliseconds limit = std::chrono::milliseconds(10000)) {
        ChildProcess child = start(argv, environment);
        return child.waitFor(limit) == 0 ? std::optional(child.output()) : std::nullopt;
    }

  private:
    // Reads what is there; at the end of the stream the descriptor is closed.
    static void drain(int& fd, std::string& into) {
        char buffer[65536];
        ssize_t n = -1;
        while (fd >= 0 && (n = read(fd, buffer, sizeof buffer)) > 0) {
            into.append(buffer, static_cast<size_t>(n));
        }
        if (n == 0) {
            close(std::exchange(fd, -1));
        }
    }
    void pump() {
        drain(s_.fds[0], s_.texts[0]);
        drain(s_.fds[1], s_.texts[1]);
    }

    struct State {
        pid_t pid = -1;
        std::optional<int> status;
        int fds[2] = {-1, -1};      // standard output and error, while open
        std::string texts[2] = {};  // all that was read from them
    } s_;
};

// Drivers that need neither a display nor a sound card.
inline const Environment headlessDrivers = {
    {"SDL_VIDEODRIVER", "dummy"}, {"SDL_RENDER_DRIVER", "software"}, {"SDL_AUDIODRIVER", "dummy"}};

// The demo, started with exactly `environment` (plus the sanitizer options):
// its own code reads no environment, so this decides the drivers it meets.
// Unless the environment sets ASAN_OPTIONS itself, the leak check is off:
// graphics drivers keep allocations past exit that are not the demo's.
inline ChildProcess startDemo(Environment environment) {
    environment.emplace("ASAN_OPTIONS", "detect_leaks=0");
    return ChildProcess::start({VIMBEL_DEMO_PATH}, environment);
}

// The demo ended with status 0 within the exit limit, and said nothing of its own.
inline void expectCleanExit(ChildProcess& demo, const char* after,
                            std::chrono::milliseconds limit = exitLimit) {
    const Outcome outcome = demo.finish(limit);
    EXPECT_EQ(outcome.how, "exit 0") << after << "\n" << outcome.errorOutput;
    EXPECT_EQ(outcome.errorOutput.find("vimbel-demo"), std::string::npos) << outcome.errorOutput;
}

// Polls `measure` every `interval` until it goes over `least` while the demo
// runs, then asks the demo to quit (SIGTERM): it must still be running then,
// and end as expectCleanExit says.
template <typename Measure, typename Least>
void expectQuitOnceOver(ChildProcess& demo, const char* what, Measure measure, Least least,
                        std::chrono::milliseconds interval = std::chrono::milliseconds(100)) {
    decltype(measure()) last{};
    EXPECT_TRUE(demo.waitUntil(
        startLimit, [&] { return (last = measure()) > least; }, interval))
        << what << ": " << last << ", not over " << least << "\n"
        << demo.errorOutput();
    EXPECT_FALSE(demo.exited()) << "the demo ended before the quit request";
    demo.signal(SIGTERM);
    expectCleanExit(demo, "SIGTERM");
}
