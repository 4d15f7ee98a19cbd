#pragma once

// Display servers that a test starts for itself and stops when it is done,
// passed or failed: an X server (Xvfb, with or without a window manager) and a
// Wayland compositor (Weston). Each picks its own display number or socket,
// so tests may run in parallel. A server that cannot start says why in
// failure(); the test then fails under CI, and elsewhere skips with that
// reason (unavailable.h).

#include <chrono>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "canvas.h"
#include "child-process.h"
#include "scratch.h"
#include "session.h"

// The size of every test screen; deliberately not the 1280 × 720 the demo asks
// for, so a full-screen window shows itself by its size.
inline constexpr int testScreenWidth = 1024;
inline constexpr int testScreenHeight = 768;

class XServer {
  public:
    // Xvfb with a black root window; with `windowManager`, openbox manages the
    // windows (so full-screen requests are honoured, and windows get focus).
    // The screen is testScreenWidth x testScreenHeight unless a size is given.
    explicit XServer(bool windowManager, int width = testScreenWidth, int height = testScreenHeight)
        : width_(width), height_(height) {
        using namespace std::chrono_literals;
        int ready[2];
        if (!haveProgram("Xvfb") || pipe2(ready, O_CLOEXEC) != 0) {
            failure_ = haveProgram("Xvfb") ? "pipe failed" : "Xvfb is not installed (package xvfb)";
            return;
        }
        // -displayfd: Xvfb picks a free display and writes its number once it
        // accepts connections.
        const std::string size = std::to_string(width_) + "x" + std::to_string(height_) + "x24";
        xvfb_ = ChildProcess::start({"Xvfb", "-displayfd", "3", "-screen", "0", size, "-br",
                                     "-nolisten", "tcp", "-noreset"},
                                    inheritedEnvironment(), ready[1]);
        close(ready[1]);
        std::string number;
        const auto line = [&] {
            pollfd fd{ready[0], POLLIN, 0};
            char c = 0;
            while (poll(&fd, 1, 0) > 0 && read(ready[0], &c, 1) == 1 && c != '\n') {
                number += c;
            }
            return c == '\n';
        };
        xvfb_.waitUntil(15s, line, 20ms);
        close(ready[0]);
        display_ = ":" + number;
        if (number.empty() || !windowManager) {
            failure_ =
                number.empty() ? "Xvfb did not start: " + lastLines(xvfb_.errorOutput()) : "";
            return;
        }
        if (!haveProgram("openbox") || !haveProgram("xprop") || !haveProgram("xdotool")) {
            failure_ =
                "openbox, xprop or xdotool is not installed (packages openbox, x11-utils, xdotool)";
            return;
        }
        windowManager_ = ChildProcess::start({"openbox", "--sm-disable"}, toolEnvironment());
        // A window manager announces itself on the root window once it runs,
        // but before its event loop runs, and a window mapped in between is
        // never managed: SDL would wait for it to appear forever. It runs once
        // it answers a request, here to have one desktop.
        const auto rootHas = [&](const char* property, const char* value) {
            const auto text = run({"xprop", "-root", property});
            return text && text->find(value) != std::string::npos;
        };
        if (!windowManager_.waitUntil(
                15s, [&] { return rootHas("_NET_SUPPORTING_WM_CHECK", "window id"); })) {
            failure_ = "openbox did not start: " + lastLines(windowManager_.errorOutput());
        } else if (!windowManager_.waitUntil(15s, [&] {
                       run({"xdotool", "set_num_desktops", "1"});
                       return rootHas("_NET_NUMBER_OF_DESKTOPS", "= 1");
                   })) {
            failure_ = "openbox does not answer: " + lastLines(windowManager_.errorOutput());
        }
    }

    bool ok() const { return failure_.empty(); }
    const std::string& failure() const { return failure_; }
    Environment environment() const { return {{"DISPLAY", display_}}; }

    // Runs an X client on this display to its end; its standard output, or
    // nothing if it failed.
    std::optional<std::string> run(
        const std::vector<std::string>& argv,
        std::chrono::milliseconds limit = std::chrono::seconds(10)) const {
        return ChildProcess::capture(argv, toolEnvironment(), limit);
    }

    // A window shown under exactly `title` (the first found), or "" if none;
    // with a `type`, only one of that _NET_WM_WINDOW_TYPE ("DIALOG": a
    // message box). Asked afresh each time: the renderer may replace a first
    // window with one of its own kind.
    std::string findWindow(const std::string& title, const std::string& type = "") const {
        std::istringstream ids(
            run({"xdotool", "search", "--onlyvisible", "--name", "^" + title + "$"}).value_or(""));
        std::string id;
        while (ids >> id) {
            if (type.empty() || run({"xprop", "-id", id, "_NET_WM_WINDOW_TYPE"})
                                        .value_or("")
                                        .find("_NET_WM_WINDOW_TYPE_" + type) != std::string::npos) {
                return id;
            }
        }
        return {};
    }

    // Whether keys typed now reach `window` as a user's would: the window
    // manager has made it the active window, and the X input focus is on it.
    // Openbox names the active window a moment before the focus has moved
    // there (longer on a busy machine). (The window is viewable, its frame
    // mapped, once findWindow finds it.)
    bool takesKeys(const std::string& window) const {
        const auto trimmed = [](std::optional<std::string> text) {
            return text ? text->substr(0, text->find_last_not_of(" \n") + 1) : "";
        };
        return trimmed(run({"xdotool", "getactivewindow"})) == window &&
               trimmed(run({"xdotool", "getwindowfocus"})) == window;
    }

    // Types `keys` as a keyboard does, through XTEST, so that the window
    // manager's own bindings (Alt+F4) see them, into the window that `find`
    // names ("" while there is none), once it takes keys; and again every few
    // seconds while `child` runs, as a person would whose press was lost. Not
    // xdotool's `windowactivate W key K`: its keys go to W as synthetic events
    // whenever the focus is not on W yet, and the window manager never sees
    // those. The number of presses made before `child` ended or `limit` passed.
    template <typename Find>
    int pressUntilEnded(ChildProcess& child, Find find, const std::string& keys,
                        std::chrono::milliseconds limit = startLimit) const {
        using namespace std::chrono_literals;
        int presses = 0;
        auto nextPress = ChildProcess::Clock::now();
        child.waitUntil(limit, [&] {
            const std::string window = ChildProcess::Clock::now() < nextPress ? "" : find();
            if (window.empty()) {
                return false;
            }
            if (!takesKeys(window)) {
                run({"xdotool", "windowactivate", window});
            } else if (run({"xdotool", "key", keys})) {
                ++presses;
                nextPress = ChildProcess::Clock::now() + 5s;
            }
            return false;
        });
        return presses;
    }

    // The number of pixels on the screen, or within columns [fromColumn,
    // toColumn) of it, that are not black; -1 if the screen could not be read
    // (ImageMagick's import).
    long litPixels(int fromColumn = 0, int toColumn = -1) const {
        auto rgb = run({"import", "-silent", "-window", "root", "-depth", "8", "rgb:-"});
        if (!rgb || rgb->size() != static_cast<size_t>(width_) * height_ * 3) {
            return -1;
        }
        const int columns = (toColumn < 0 ? width_ : toColumn) - fromColumn;
        SDL_Surface* screen = SDL_CreateRGBSurfaceWithFormatFrom(
            rgb->data() + 3 * fromColumn, columns, height_, 24, width_ * 3, SDL_PIXELFORMAT_RGB24);
        const long lit = ::litPixels(screen);
        SDL_FreeSurface(screen);
        return lit;
    }

  private:
    Environment toolEnvironment() const {
        return with(inheritedEnvironment(), {{"DISPLAY", display_}});
    }

    // Declared in start order, so stopped in the reverse.
    ChildProcess xvfb_;
    ChildProcess windowManager_;
    std::string display_;
    int width_;
    int height_;
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
        using namespace std::chrono_literals;
        if (!screen_.ok() || !haveProgram("weston")) {
            failure_ =
                screen_.ok() ? "weston is not installed (package weston)" : screen_.failure();
            return;
        }
        socket_ = "vimbel-" + std::to_string(getpid());
        Environment environment = with(inheritedEnvironment(), screen_.environment());
        environment.erase("WAYLAND_DISPLAY");
        environment.erase("WAYLAND_SOCKET");
        weston_ = ChildProcess::start(
            {"weston", "--backend=x11-backend.so", "--use-pixman", "--shell=kiosk-shell.so",
             "--no-config", "--idle-time=0", "--width=" + std::to_string(testScreenWidth),
             "--height=" + std::to_string(testScreenHeight), "--socket=" + socket_},
            with(environment, {{"XDG_RUNTIME_DIR", runtime_.path}}));
        // Clients that connect before it has loaded its shell wait for it.
        if (!weston_.waitUntil(
                20s, [&] { return exists(runtime_.path + "/" + socket_); }, 20ms)) {
            failure_ = "weston did not start: " + lastLines(weston_.errorOutput());
        }
    }

    bool ok() const { return failure_.empty(); }
    const std::string& failure() const { return failure_; }
    Environment environment() const {
        return {{"WAYLAND_DISPLAY", socket_}, {"XDG_RUNTIME_DIR", runtime_.path}};
    }
    // The X server on which the compositor shows its output.
    const XServer& screen() const { return screen_; }

  private:
    // Declared in start order: the compositor is stopped first, and its
    // directory removed before its X server goes.
    XServer screen_;
    Scratch runtime_{"vimbel-wayland"};
    std::string socket_;
    std::string failure_;
    ChildProcess weston_;
};
