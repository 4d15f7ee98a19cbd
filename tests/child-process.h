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
#include <thread>
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

// The test process's own environment.
inline Environment inheritedEnvironment() {
    extern char** environ;
    Environment environment;
    for (char** entry = environ; *entry; ++entry) {
        const std::string text = *entry;
        const size_t equals = text.find('=');
        if (equals != std::string::npos) {
            environment[text.substr(0, equals)] = text.substr(equals + 1);
        }
    }
    return environment;
}

// The path of the executable that the PATH gives for `name`, or "" if none.
inline std::string findProgram(const std::string& name) {
    const char* path = std::getenv("PATH");
    const std::string dirs = path ? path : "/usr/bin:/bin";
    size_t start = 0;
    while (start <= dirs.size()) {
        const size_t end = std::min(dirs.find(':', start), dirs.size());
        const std::string candidate = dirs.substr(start, end - start) + "/" + name;
        if (access(candidate.c_str(), X_OK) == 0) {
            return candidate;
        }
        start = end + 1;
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
    if (WIFEXITED(status)) {
        return "exit " + std::to_string(WEXITSTATUS(status));
    }
    if (WIFSIGNALED(status)) {
        return "signal " + std::to_string(WTERMSIG(status));
    }
    return "status " + std::to_string(status);
}

class ChildProcess {
  public:
    using Clock = std::chrono::steady_clock;

    ChildProcess() = default;
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;
    ChildProcess(ChildProcess&& other) noexcept { *this = std::move(other); }
    ChildProcess& operator=(ChildProcess&& other) noexcept {
        if (this != &other) {
            stop();
            pid_ = std::exchange(other.pid_, -1);
            status_ = std::exchange(other.status_, std::nullopt);
            outFd_ = std::exchange(other.outFd_, -1);
            errFd_ = std::exchange(other.errFd_, -1);
            output_ = std::move(other.output_);
            errors_ = std::move(other.errors_);
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
        int out[2];
        int err[2];
        if (argv.empty() || pipe2(out, O_CLOEXEC) != 0) {
            return child;
        }
        if (pipe2(err, O_CLOEXEC) != 0) {
            close(out[0]);
            close(out[1]);
            return child;
        }
        std::vector<std::string> strings;
        for (const auto& [name, value] : environment) {
            strings.push_back(name + "=" + value);
        }
        std::vector<char*> envp;
        for (auto& s : strings) {
            envp.push_back(s.data());
        }
        envp.push_back(nullptr);
        std::vector<char*> args;
        for (const auto& arg : argv) {
            args.push_back(const_cast<char*>(arg.c_str()));
        }
        args.push_back(nullptr);
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
            const int devNull = open("/dev/null", O_RDONLY);
            dup2(devNull, STDIN_FILENO);
            dup2(out[1], STDOUT_FILENO);
            dup2(err[1], STDERR_FILENO);
            if (passFd >= 0) {
                dup2(passFd, 3);
            }
            close_range(passFd >= 0 ? 4 : 3, ~0u, 0);
            execve(path.c_str(), args.data(), envp.data());
            _exit(127);
        }
        close(out[1]);
        close(err[1]);
        if (pid < 0) {
            close(out[0]);
            close(err[0]);
            return child;
        }
        child.pid_ = pid;
        child.outFd_ = out[0];
        child.errFd_ = err[0];
        fcntl(child.outFd_, F_SETFL, O_NONBLOCK);
        fcntl(child.errFd_, F_SETFL, O_NONBLOCK);
        return child;
    }

    bool started() const { return pid_ > 0; }
    pid_t pid() const { return pid_; }

    // True once the child has ended (and was reaped).
    bool exited() {
        pump();
        if (!status_ && pid_ > 0) {
            int status = 0;
            if (waitpid(pid_, &status, WNOHANG) == pid_) {
                status_ = status;
                pump();
            }
        }
        return status_.has_value() || pid_ <= 0;
    }

    // The wait status once the child has ended, or nothing if it is still
    // running after `limit`.
    std::optional<int> waitFor(std::chrono::milliseconds limit) {
        const auto deadline = Clock::now() + limit;
        while (!exited()) {
            if (Clock::now() >= deadline) {
                return std::nullopt;
            }
            // Wakes early for output, so a chatty child never blocks on a full pipe.
            pollfd fds[] = {{outFd_, POLLIN, 0}, {errFd_, POLLIN, 0}};
            if (outFd_ < 0 && errFd_ < 0) {
                std::this_thread::sleep_for(std::chrono::milliseconds(10));
            } else {
                poll(fds, 2, 10);
            }
        }
        return status_;
    }

    // Polls `ready` until it holds (true), or the child ends or `limit`
    // passes (false).
    template <typename Ready>
    bool waitUntil(std::chrono::milliseconds limit, Ready ready,
                   std::chrono::milliseconds interval = std::chrono::milliseconds(100)) {
        const auto deadline = Clock::now() + limit;
        while (Clock::now() < deadline && !exited()) {
            if (ready()) {
                return true;
            }
            std::this_thread::sleep_for(interval);
        }
        return false;
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
        if (pid_ > 0 && !exited()) {
            kill(pid_, number);
        }
    }

    // Ends the child if it still runs: SIGTERM, a grace period, then SIGKILL.
    // Until it is reaped here its pid stays its own, so no signal can reach
    // another process that was given the same number.
    void stop(std::chrono::milliseconds grace = std::chrono::milliseconds(5000)) {
        if (pid_ <= 0) {
            return;
        }
        if (!exited()) {
            kill(pid_, SIGCONT);
            kill(pid_, SIGTERM);
            if (!waitFor(grace)) {
                kill(pid_, SIGKILL);
                int status = 0;
                waitpid(pid_, &status, 0);
                status_ = status;
            }
        }
        pump();
        for (int* fd : {&outFd_, &errFd_}) {
            if (*fd >= 0) {
                close(*fd);
                *fd = -1;
            }
        }
        pid_ = -1;
    }

    // Everything the child has written so far.
    const std::string& output() {
        pump();
        return output_;
    }
    const std::string& errorOutput() {
        pump();
        return errors_;
    }

    // Runs a program to its end (at most `limit`) and returns its standard
    // output, or nothing if it failed to start, failed or took too long.
    static std::optional<std::string> capture(
        const std::vector<std::string>& argv, const Environment& environment,
        std::chrono::milliseconds limit = std::chrono::milliseconds(10000)) {
        ChildProcess child = start(argv, environment);
        const auto status = child.waitFor(limit);
        if (!status || !WIFEXITED(*status) || WEXITSTATUS(*status) != 0) {
            return std::nullopt;
        }
        return child.output();
    }

  private:
    // Reads what is there; at the end of the stream the descriptor is closed.
    static void drain(int& fd, std::string& into) {
        if (fd < 0) {
            return;
        }
        char buffer[65536];
        ssize_t n;
        while ((n = read(fd, buffer, sizeof buffer)) > 0) {
            into.append(buffer, static_cast<size_t>(n));
        }
        if (n == 0) {
            close(fd);
            fd = -1;
        }
    }
    void pump() {
        drain(outFd_, output_);
        drain(errFd_, errors_);
    }

    pid_t pid_ = -1;
    std::optional<int> status_;
    int outFd_ = -1;
    int errFd_ = -1;
    std::string output_;
    std::string errors_;
};

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
