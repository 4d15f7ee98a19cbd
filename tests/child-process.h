#pragma once

// Starts one of the project's executables as a child process with exactly the
// given environment and collects its standard error and exit status.

#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <functional>
#include <map>
#include <string>
#include <thread>
#include <vector>

using Environment = std::map<std::string, std::string>;

struct Outcome {
    bool exited = false;
    int status = -1;
    std::string errorOutput;
};

// Drivers that need no display and no sound card.
inline const Environment headless = {
    {"SDL_VIDEODRIVER", "dummy"},
    {"SDL_RENDER_DRIVER", "software"},
    {"SDL_AUDIODRIVER", "dummy"},
};

inline Environment with(Environment base, const Environment& changes) {
    for (const auto& [name, value] : changes) {
        base[name] = value;
    }
    return base;
}

// Runs `path` with `arguments`; `whileRunning` is called until it returns
// true, after which the child gets `stopSignal`. A child still running at the
// time limit is killed and the test fails.
inline Outcome runProgram(const std::string& path, const std::vector<std::string>& arguments,
                          const Environment& environment, std::function<bool()> whileRunning = {},
                          int stopSignal = SIGTERM,
                          std::chrono::seconds limit = std::chrono::seconds(120)) {
    using Clock = std::chrono::steady_clock;
    int pipeFds[2];
    if (pipe(pipeFds) != 0) {
        ADD_FAILURE() << "pipe";
        return {};
    }
    std::vector<std::string> strings;
    for (const auto& [name, value] : environment) {
        strings.push_back(name + "=" + value);
    }
    // The sanitizers' leak report would only describe the deliberate
    // no-cleanup of a fatal stop.
    strings.push_back("ASAN_OPTIONS=detect_leaks=0");
    std::vector<char*> envp;
    for (auto& s : strings) {
        envp.push_back(s.data());
    }
    envp.push_back(nullptr);
    std::vector<std::string> argvStrings = {path};
    argvStrings.insert(argvStrings.end(), arguments.begin(), arguments.end());
    std::vector<char*> argv;
    for (auto& s : argvStrings) {
        argv.push_back(s.data());
    }
    argv.push_back(nullptr);

    const pid_t pid = fork();
    if (pid == 0) {
        dup2(pipeFds[1], STDERR_FILENO);
        const int devNull = open("/dev/null", O_WRONLY);
        dup2(devNull, STDOUT_FILENO);
        close(pipeFds[0]);
        execve(path.c_str(), argv.data(), envp.data());
        _exit(127);
    }
    close(pipeFds[1]);
    fcntl(pipeFds[0], F_SETFL, O_NONBLOCK);

    Outcome outcome;
    const auto deadline = Clock::now() + limit;
    bool signalled = !whileRunning;
    int status = 0;
    const auto drain = [&] {
        char buffer[4096];
        ssize_t n;
        while ((n = read(pipeFds[0], buffer, sizeof buffer)) > 0) {
            outcome.errorOutput.append(buffer, static_cast<size_t>(n));
        }
    };
    for (;;) {
        drain();
        if (waitpid(pid, &status, WNOHANG) == pid) {
            break;
        }
        if (!signalled && whileRunning()) {
            kill(pid, stopSignal);
            signalled = true;
        }
        if (Clock::now() > deadline) {
            kill(pid, SIGKILL);
            waitpid(pid, &status, 0);
            ADD_FAILURE() << path << " did not end in time";
            break;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    drain();
    close(pipeFds[0]);
    outcome.exited = WIFEXITED(status);
    outcome.status = outcome.exited ? WEXITSTATUS(status) : -1;
    return outcome;
}
