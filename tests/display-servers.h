#pragma once

// Display servers that a test starts for itself and stops when it is done,
// passed or failed: an X server (Xvfb, with or without a window manager) and a
// Wayland compositor (Weston). Each picks its own display number or socket,
// so tests may run in parallel. A server that cannot start says why in
// failure(); the test then fails under CI, and elsewhere skips with that
// reason (unavailable.h).

#include <stdlib.h>
#include <sys/stat.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "child-process.h"

// The size of every test screen; deliberately not the 1280 × 720 the demo asks
// for, so a full-screen window shows itself by its size.
inline constexpr int testScreenWidth = 1024;
inline constexpr int testScreenHeight = 768;

namespace display_servers_detail {

using namespace std::chrono_literals;

// Polls `ready` until it holds or `server` ends or `limit` passes.
template <typename Ready>
bool waitUntil(ChildProcess& server, std::chrono::milliseconds limit, Ready ready) {
    const auto deadline = ChildProcess::Clock::now() + limit;
    while (ChildProcess::Clock::now() < deadline) {
        if (ready()) {
            return true;
        }
        if (server.exited()) {
            return false;
        }
        std::this_thread::sleep_for(20ms);
    }
    return false;
}

inline std::string lastLines(const std::string& text) {
    return text.size() > 600 ? "..." + text.substr(text.size() - 600) : text;
}

}  // namespace display_servers_detail

class XServer {
  public:
    // Xvfb with a black root window; with `windowManager`, openbox manages the
    // windows (so full-screen requests are honoured, and windows get focus).
    // The screen is testScreenWidth x testScreenHeight unless a size is given.
    explicit XServer(bool windowManager, int width = testScreenWidth, int height = testScreenHeight)
        : width_(width), height_(height) {
        using namespace display_servers_detail;
        if (!haveProgram("Xvfb")) {
            failure_ = "Xvfb is not installed (package xvfb)";
            return;
        }
        int ready[2];
        if (pipe2(ready, O_CLOEXEC) != 0) {
            failure_ = "pipe failed";
            return;
        }
        // -displayfd: Xvfb picks a free display and writes its number once it
        // accepts connections.
        const std::string size = std::to_string(width) + "x" + std::to_string(height) + "x24";
        xvfb_ = ChildProcess::start({"Xvfb", "-displayfd", "3", "-screen", "0", size, "-br",
                                     "-nolisten", "tcp", "-noreset"},
                                    inheritedEnvironment(), ready[1]);
        close(ready[1]);
        std::string number;
        waitUntil(xvfb_, 15s, [&] {
            pollfd fd{ready[0], POLLIN, 0};
            char c = 0;
            while (poll(&fd, 1, 0) > 0 && read(ready[0], &c, 1) == 1 && c != '\n') {
                number += c;
            }
            return c == '\n';
        });
        close(ready[0]);
        if (number.empty()) {
            failure_ = "Xvfb did not start: " + lastLines(xvfb_.errorOutput());
            return;
        }
        display_ = ":" + number;
        if (!windowManager) {
            return;
        }
        if (!haveProgram("openbox") || !haveProgram("xprop") || !haveProgram("xdotool")) {
            failure_ =
                "openbox, xprop or xdotool is not installed (packages openbox, x11-utils, xdotool)";
            return;
        }
        windowManager_ = ChildProcess::start({"openbox", "--sm-disable"}, toolEnvironment());
        // A window manager announces itself on the root window once it runs.
        const bool managing = waitUntil(windowManager_, 15s, [&] {
            const auto check = run({"xprop", "-root", "_NET_SUPPORTING_WM_CHECK"});
            return check && check->find("window id") != std::string::npos;
        });
        if (!managing) {
            failure_ = "openbox did not start: " + lastLines(windowManager_.errorOutput());
            return;
        }
        // It announces itself before its event loop runs, and a window mapped
        // in between is never managed: SDL would wait for it to appear forever.
        // It runs once it answers a request, here to have one desktop.
        const bool answering = waitUntil(windowManager_, 15s, [&] {
            run({"xdotool", "set_num_desktops", "1"});
            const auto desktops = run({"xprop", "-root", "_NET_NUMBER_OF_DESKTOPS"});
            return desktops && desktops->find("= 1") != std::string::npos;
        });
        if (!answering) {
            failure_ = "openbox does not answer: " + lastLines(windowManager_.errorOutput());
        }
    }

    bool ok() const { return failure_.empty(); }
    const std::string& failure() const { return failure_; }
    const std::string& display() const { return display_; }
    Environment environment() const { return {{"DISPLAY", display_}}; }

    // Runs an X client on this display to its end; its standard output, or
    // nothing if it failed.
    std::optional<std::string> run(
        const std::vector<std::string>& argv,
        std::chrono::milliseconds limit = std::chrono::seconds(10)) const {
        return ChildProcess::capture(argv, toolEnvironment(), limit);
    }

    // The number of pixels on the screen, or within the given columns of it,
    // that are not black; -1 if the screen could not be read (ImageMagick's
    // import).
    long litPixels(int fromColumn = 0, int toColumn = -1) const {
        const auto rgb = run({"import", "-silent", "-window", "root", "-depth", "8", "rgb:-"});
        if (!rgb || rgb->size() != static_cast<size_t>(width_) * height_ * 3) {
            return -1;
        }
        const size_t end = toColumn < 0 ? static_cast<size_t>(width_) : toColumn;
        long lit = 0;
        for (size_t i = 0; i + 2 < rgb->size(); i += 3) {
            const size_t column = i / 3 % static_cast<size_t>(width_);
            if (column >= static_cast<size_t>(fromColumn) && column < end) {
                lit += ((*rgb)[i] | (*rgb)[i + 1] | (*rgb)[i + 2]) != 0 ? 1 : 0;
            }
        }
        return lit;
    }

  private:
    Environment toolEnvironment() const {
        return with(inheritedEnvironment(), {{"DISPLAY", display_}});
    }

    int width_;
    int height_;
    // Declared in start order: the window manager is stopped before the server.
    ChildProcess xvfb_;
    ChildProcess windowManager_;
    std::string display_;
    std::string failure_;
};

// Weston with its own socket in a private runtime directory (mode 0700).
//
// Weston's headless backend needs no X server, but it offers no input seat,
// and SDL's Wayland driver (2.26) crashes inside SDL_Init without one. So the
// compositor runs on its x11 backend in an X server of its own: that gives it
// a seat, and shows its output where a screenshot can read it back. The demo
// itself talks Wayland only. The kiosk shell shows every window full-screen
// and draws nothing else.
class WaylandServer {
  public:
    WaylandServer() : screen_(false) {
        using namespace display_servers_detail;
        if (!screen_.ok()) {
            failure_ = screen_.failure();
            return;
        }
        if (!haveProgram("weston")) {
            failure_ = "weston is not installed (package weston)";
            return;
        }
        char dirTemplate[] = "/tmp/vimbel-wayland-XXXXXX";
        if (!mkdtemp(dirTemplate)) {
            failure_ = "cannot make a runtime directory";
            return;
        }
        runtimeDir_ = dirTemplate;
        chmod(runtimeDir_.c_str(), 0700);
        socket_ = "vimbel-" + std::to_string(getpid());

        Environment environment = with(inheritedEnvironment(), {{"DISPLAY", screen_.display()},
                                                                {"XDG_RUNTIME_DIR", runtimeDir_}});
        environment.erase("WAYLAND_DISPLAY");
        environment.erase("WAYLAND_SOCKET");
        const std::string width = "--width=" + std::to_string(testScreenWidth);
        const std::string height = "--height=" + std::to_string(testScreenHeight);
        weston_ = ChildProcess::start(
            {"weston", "--backend=x11-backend.so", "--use-pixman", "--shell=kiosk-shell.so",
             "--no-config", "--idle-time=0", width, height, "--socket=" + socket_},
            environment);
        // Clients that connect before it has loaded its shell wait for it.
        const std::string socketPath = runtimeDir_ + "/" + socket_;
        const bool listening =
            waitUntil(weston_, 20s, [&] { return std::filesystem::exists(socketPath); });
        if (!listening) {
            failure_ = "weston did not start: " + lastLines(weston_.errorOutput());
        }
    }
    ~WaylandServer() {
        weston_.stop();
        if (!runtimeDir_.empty()) {
            std::error_code ignored;
            std::filesystem::remove_all(runtimeDir_, ignored);
        }
    }
    WaylandServer(const WaylandServer&) = delete;
    WaylandServer& operator=(const WaylandServer&) = delete;

    bool ok() const { return failure_.empty(); }
    const std::string& failure() const { return failure_; }
    Environment environment() const {
        return {{"WAYLAND_DISPLAY", socket_}, {"XDG_RUNTIME_DIR", runtimeDir_}};
    }
    // The X server on which the compositor shows its output.
    const XServer& screen() const { return screen_; }

  private:
    XServer screen_;
    std::string runtimeDir_;
    std::string socket_;
    std::string failure_;
    ChildProcess weston_;
};
