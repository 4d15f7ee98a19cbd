#pragma once

// A PulseAudio server that a test starts for itself, with one null sink named
// "null" whose monitor records whatever is played, in a private HOME and
// runtime directory (so tests may run in parallel and never meet a desktop's
// own server). It is stopped when the object goes, passed or failed.

#include <signal.h>
#include <stdlib.h>
#include <sys/stat.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>

#include "child-process.h"

class SoundServer {
  public:
    SoundServer() {
        if (!haveProgram("pulseaudio") || !haveProgram("parec") || !haveProgram("pactl")) {
            failure_ =
                "pulseaudio, parec or pactl is not installed (packages pulseaudio, "
                "pulseaudio-utils)";
            return;
        }
        char dirTemplate[] = "/tmp/vimbel-sound-XXXXXX";
        if (!mkdtemp(dirTemplate)) {
            failure_ = "cannot make a private directory";
            return;
        }
        dir_ = dirTemplate;
        std::filesystem::create_directories(dir_ + "/home");
        std::filesystem::create_directories(dir_ + "/runtime");
        chmod((dir_ + "/runtime").c_str(), 0700);
        // The server forks into the background and returns once it runs.
        ChildProcess daemon = ChildProcess::start(
            {"pulseaudio", "-n", "--daemonize=yes", "--exit-idle-time=-1",
             "--load=module-null-sink sink_name=null", "--load=module-native-protocol-unix"},
            toolEnvironment());
        const auto status = daemon.waitFor(std::chrono::seconds(20));
        if (!status || !WIFEXITED(*status) || WEXITSTATUS(*status) != 0) {
            failure_ = "pulseaudio did not start: " + daemon.errorOutput();
            return;
        }
        std::ifstream pidFile(dir_ + "/runtime/pulse/pid");
        pidFile >> pid_;
        const auto sinks =
            ChildProcess::capture({"pactl", "list", "short", "sinks"}, toolEnvironment());
        if (!sinks || sinks->find("null") == std::string::npos) {
            failure_ = "pulseaudio has no null sink";
        }
    }
    ~SoundServer() {
        if (pid_ > 0) {
            kill(pid_, SIGTERM);
            for (int i = 0; i < 100 && kill(pid_, 0) == 0; ++i) {
                std::this_thread::sleep_for(std::chrono::milliseconds(50));
            }
            kill(pid_, SIGKILL);
        }
        if (!dir_.empty()) {
            std::error_code ignored;
            std::filesystem::remove_all(dir_, ignored);
        }
    }
    SoundServer(const SoundServer&) = delete;
    SoundServer& operator=(const SoundServer&) = delete;

    bool ok() const { return failure_.empty(); }
    const std::string& failure() const { return failure_; }
    // What a client needs to find this server.
    Environment environment() const {
        return {{"HOME", dir_ + "/home"}, {"XDG_RUNTIME_DIR", dir_ + "/runtime"}};
    }

    // Records what reaches the null sink, as raw signed 16-bit little-endian
    // stereo at 44100 Hz on the child's standard output.
    ChildProcess record() const {
        return ChildProcess::start({"parec", "-d", "null.monitor", "--raw", "--format=s16le",
                                    "--rate=44100", "--channels=2"},
                                   toolEnvironment());
    }

  private:
    Environment toolEnvironment() const {
        Environment environment = with(inheritedEnvironment(), this->environment());
        environment.erase("PULSE_SERVER");
        environment.erase("PULSE_SINK");
        return environment;
    }

    std::string dir_;
    std::string failure_;
    pid_t pid_ = -1;
};
