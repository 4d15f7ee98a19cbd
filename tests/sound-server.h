#pragma once

// A PulseAudio server that a test starts for itself, with one null sink named
// "null" whose monitor records whatever is played, in a private HOME and
// runtime directory (so tests may run in parallel and never meet a desktop's
// own server).
//
// The server runs in the foreground as the test's own child: it is stopped
// and reaped when the object goes, passed or failed, and killed with the test
// process if CTest ends that first. Its clients may not start a server of
// their own (autospawn is off), so none outlives the test either.

#include <sys/stat.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <string>

#include "child-process.h"
#include "scratch.h"

class SoundServer {
  public:
    using Clock = ChildProcess::Clock;

    // A test that plays through the server has its answer by deadline(): well
    // inside CTest's TIMEOUT of 120 s, so that a slow run fails with the
    // test's own message.
    static constexpr std::chrono::seconds testLimit{75};

    SoundServer() : deadline_(Clock::now() + testLimit) {
        using namespace std::chrono_literals;
        if (!haveProgram("pulseaudio") || !haveProgram("parec") || !haveProgram("pactl")) {
            failure_ =
                "pulseaudio, parec or pactl is not installed (packages pulseaudio, "
                "pulseaudio-utils)";
            return;
        }
        std::filesystem::create_directories(dir_.path + "/home");
        std::filesystem::create_directories(dir_.path + "/runtime");
        chmod((dir_.path + "/runtime").c_str(), 0700);
        std::ofstream(dir_.path + "/client.conf") << "autospawn = no\n";
        server_ = ChildProcess::start(
            {"pulseaudio", "-n", "--daemonize=no", "--use-pid-file=no", "--exit-idle-time=-1",
             "--log-target=file:" + dir_.path + "/server.log",
             "--load=module-null-sink sink_name=null", "--load=module-native-protocol-unix"},
            toolEnvironment());
        // The modules load in order, so the socket comes after the sink; the
        // sink's line reads "<index>\tnull\tmodule-null-sink.c\t...".
        const auto ready = [&] {
            return exists(dir_.path + "/runtime/pulse/native") &&
                   ChildProcess::capture({"pactl", "list", "short", "sinks"}, toolEnvironment())
                           .value_or("")
                           .find("\tnull\t") != std::string::npos;
        };
        if (!server_.waitUntil(20s, ready, 50ms)) {
            failure_ = "pulseaudio did not start with a null sink: " +
                       lastLines(server_.errorOutput() + readFile(dir_.path + "/server.log"));
        }
    }

    bool ok() const { return failure_.empty(); }
    const std::string& failure() const { return failure_; }
    Clock::time_point deadline() const { return deadline_; }
    // What a client needs to find this server (and only this one).
    Environment environment() const {
        return {{"HOME", dir_.path + "/home"},
                {"XDG_RUNTIME_DIR", dir_.path + "/runtime"},
                {"PULSE_CLIENTCONFIG", dir_.path + "/client.conf"}};
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

    // Declared in start order: the server is stopped before its directory goes.
    Clock::time_point deadline_;
    Scratch dir_{"vimbel-sound"};
    std::string failure_;
    ChildProcess server_;
};
