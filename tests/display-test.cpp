// The real executable on every kind of display it can meet, each started by
// the test itself: an X server with a window manager, a Wayland compositor and
// SDL's offscreen driver. On each it starts, draws, and ends with status 0 when
// asked to quit; under X also on Escape and on closing the window.

#include <SDL.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <thread>

#include "canvas.h"
#include "child-process.h"
#include "display-servers.h"
#include "unavailable.h"

namespace {

using namespace std::chrono_literals;

constexpr const char* windowTitle = "Tolvard - Vimbel 2023 demo";
// Start-up decodes the assets; a sanitizer build on a busy machine is slow.
constexpr auto startLimit = 60s;
constexpr auto exitLimit = 15s;
// Each logo alone lights several thousand pixels; stars and text far fewer.
constexpr long drawnPixels = 5000;

// Polls `ready` until it holds, the demo ends, or the start limit passes.
template <typename Ready>
bool whileDemoRuns(ChildProcess& demo, Ready ready,
                   std::chrono::milliseconds interval = std::chrono::milliseconds(100)) {
    const auto deadline = ChildProcess::Clock::now() + startLimit;
    while (ChildProcess::Clock::now() < deadline && !demo.exited()) {
        if (ready()) {
            return true;
        }
        std::this_thread::sleep_for(interval);
    }
    return false;
}

void expectCleanExit(ChildProcess& demo, const char* after) {
    std::string why;
    EXPECT_TRUE(demo.exitsWith0(exitLimit, why)) << after << ": " << why << "\n"
                                                 << demo.errorOutput();
    EXPECT_EQ(demo.errorOutput().find("vimbel-demo"), std::string::npos) << demo.errorOutput();
}

template <int Width, int Height>
struct X11DisplayOf : testing::Test {
    XServer x{true, Width, Height};
    ChildProcess demo;
    std::string window;

    void SetUp() override {
        if (!x.ok()) {
            SKIP_UNLESS_CI(x.failure());
        }
        if (!haveProgram("xdotool") || !haveProgram("import")) {
            SKIP_UNLESS_CI("xdotool or import is not installed (packages xdotool, imagemagick)");
        }
        demo = startDemo(
            with(x.environment(), {{"SDL_VIDEODRIVER", "x11"}, {"SDL_AUDIODRIVER", "dummy"}}));
        whileDemoRuns(demo, [&] { return findWindow(); });
        ASSERT_FALSE(window.empty()) << "no demo window appeared\n" << demo.errorOutput();
    }

    // The window, once it is mapped under its title. Asked afresh each time:
    // the renderer may replace the first window with one of its own kind.
    bool findWindow() {
        const auto found = x.run(
            {"xdotool", "search", "--onlyvisible", "--name", std::string("^") + windowTitle + "$"});
        window = found ? found->substr(0, found->find('\n')) : "";
        return !window.empty();
    }

    // Sends keys the way a user types them: to the focused, active window. A
    // window that has just been mapped may be replaced or not yet activatable
    // while the window manager takes it over (slow under the sanitizers), so
    // the window is looked up and activated again until that succeeds.
    void pressKeys(const char* keys) {
        bool sent = whileDemoRuns(
            demo,
            [&] {
                return findWindow() &&
                       x.run({"xdotool", "windowactivate", "--sync", window, "key", keys},
                             std::chrono::seconds(3))
                           .has_value();
            },
            std::chrono::milliseconds(250));
        ASSERT_TRUE(sent) << "xdotool could not send " << keys;
    }
};
using X11Display = X11DisplayOf<testScreenWidth, testScreenHeight>;
using X11Display4K = X11DisplayOf<3840, 2160>;

}  // namespace

TEST_F(X11Display, FillsTheScreenDrawsAndAQuitRequestExitsWith0) {
    // Full-screen once the window manager has taken the window over.
    std::string geometry;
    EXPECT_TRUE(whileDemoRuns(demo, [&] {
        geometry = findWindow() ? x.run({"xdotool", "getwindowgeometry", window}).value_or("") : "";
        return geometry.find("Geometry: 1024x768") != std::string::npos;
    })) << geometry;

    long lit = 0;
    EXPECT_TRUE(whileDemoRuns(demo, [&] { return (lit = x.litPixels()) > drawnPixels; }))
        << "lit pixels on the screen: " << lit;
    demo.signal(SIGTERM);
    expectCleanExit(demo, "SIGTERM");
}

// On a 4K screen the picture is the 1080p one at twice the size: the left
// logo, in the left tenth of the screen, lights about four times the 16,500
// pixels it lights at 1920 x 1080 (the same logo unscaled would light those).
TEST_F(X11Display4K, ShowsThe1080pPictureAtTwiceItsSize) {
    std::string geometry;
    EXPECT_TRUE(whileDemoRuns(demo, [&] {
        geometry = findWindow() ? x.run({"xdotool", "getwindowgeometry", window}).value_or("") : "";
        return geometry.find("Geometry: 3840x2160") != std::string::npos;
    })) << geometry;
    long lit = 0;
    EXPECT_TRUE(whileDemoRuns(demo, [&] { return (lit = x.litPixels(0, 384)) > 50000; }))
        << "lit pixels in the left tenth of the screen: " << lit;
    demo.signal(SIGTERM);
    expectCleanExit(demo, "SIGTERM");
}

TEST_F(X11Display, EscapeExitsWith0) {
    pressKeys("Escape");
    expectCleanExit(demo, "Escape");
}

// Alt+F4 is the window manager's own close: openbox asks the window to close
// (WM_DELETE_WINDOW), as its close button would, and SDL reports that as a quit
// request. (xdotool's windowkill would cut the connection instead, and
// destroying the window from outside is nothing a user can do.)
TEST_F(X11Display, ClosingTheWindowExitsWith0) {
    pressKeys("alt+F4");
    expectCleanExit(demo, "closing the window");
}

// Before the renderer and the window were destroyed ahead of SDL_Quit, this
// ended with a segmentation fault.
TEST(WaylandDisplay, DrawsAndAQuitRequestExitsWith0) {
    WaylandServer wayland;
    if (!wayland.ok()) {
        SKIP_UNLESS_CI(wayland.failure());
    }
    if (!haveProgram("import")) {
        SKIP_UNLESS_CI("import is not installed (package imagemagick)");
    }
    ASSERT_LT(wayland.screen().litPixels(), drawnPixels)
        << "the compositor alone lights the screen";

    ChildProcess demo = startDemo(with(
        wayland.environment(), {{"SDL_VIDEODRIVER", "wayland"}, {"SDL_AUDIODRIVER", "dummy"}}));
    long lit = 0;
    EXPECT_TRUE(
        whileDemoRuns(demo, [&] { return (lit = wayland.screen().litPixels()) > drawnPixels; }))
        << "lit pixels on the compositor's output: " << lit << "\n"
        << demo.errorOutput();
    demo.signal(SIGTERM);
    expectCleanExit(demo, "SIGTERM");
}

namespace {

// A directory of its own for a test, removed afterwards.
struct ScratchDirectory {
    std::filesystem::path path;
    explicit ScratchDirectory(const std::string& stem) {
        path = std::filesystem::temp_directory_path() /
               (stem + "-" + std::to_string(getpid()) + "-" +
                std::to_string(ChildProcess::Clock::now().time_since_epoch().count()));
        std::filesystem::create_directories(path);
    }
    ~ScratchDirectory() {
        std::error_code ignored;
        std::filesystem::remove_all(path, ignored);
    }
};

// User and system CPU time of a process so far, in seconds.
double cpuSeconds(pid_t pid) {
    std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
    std::string text((std::istreambuf_iterator<char>(stat)), std::istreambuf_iterator<char>());
    // The fields after the command name, which ends with the last ')'.
    std::istringstream fields(text.substr(text.rfind(')') + 2));
    std::string field;
    double ticks = 0;
    for (int index = 3; index <= 15 && fields >> field; ++index) {
        if (index == 14 || index == 15) {
            ticks += std::stod(field);
        }
    }
    return ticks / static_cast<double>(sysconf(_SC_CLK_TCK));
}

}  // namespace

// The offscreen driver renders through EGL with no display at all. Before the
// renderer and the window were destroyed ahead of SDL_Quit, a quit request here
// ended with a segmentation fault. Its accelerated renderer shows nothing
// outside the process; that the frame loop runs shows in the process staying
// up and spinning (an unthrottled loop keeps a core busy; start-up does not).
TEST(OffscreenDisplay, AQuitRequestExitsWith0) {
    ChildProcess demo = startDemo({{"SDL_VIDEODRIVER", "offscreen"}, {"SDL_AUDIODRIVER", "dummy"}});
    std::this_thread::sleep_for(3s);
    const double before = cpuSeconds(demo.pid());
    std::this_thread::sleep_for(1s);
    const double busy = cpuSeconds(demo.pid()) - before;
    ASSERT_FALSE(demo.exited()) << demo.errorOutput();
    EXPECT_GT(busy, 0.2) << "CPU seconds used in one second of the frame loop";
    demo.signal(SIGTERM);
    expectCleanExit(demo, "SIGTERM");
}

// With the software renderer drawing into the driver's own framebuffer, the
// offscreen driver can save every presented frame as a BMP file in the working
// directory: the first ones show the logos.
TEST(OffscreenDisplay, TheSoftwareRendererDrawsFramesAndAQuitRequestExitsWith0) {
    ScratchDirectory frames("vimbel-offscreen");
    ChildProcess demo = ChildProcess::start(
        {"/bin/sh", "-c", "cd \"$1\" && exec \"$2\"", "sh", frames.path.string(), VIMBEL_DEMO_PATH},
        {{"SDL_VIDEODRIVER", "offscreen"},
         {"SDL_RENDER_DRIVER", "software"},
         {"SDL_FRAMEBUFFER_ACCELERATION", "0"},
         {"SDL_VIDEO_OFFSCREEN_SAVE_FRAMES", "1"},
         {"SDL_AUDIODRIVER", "dummy"},
         {"ASAN_OPTIONS", "detect_leaks=0"}});
    // Once a second frame is being written, the first is complete. The demo is
    // paused then: it saves hundreds of frames of 3 MB each per second.
    std::filesystem::path first;
    const bool twoFrames = whileDemoRuns(
        demo,
        [&] {
            std::vector<std::filesystem::path> saved;
            for (const auto& entry : std::filesystem::directory_iterator(frames.path)) {
                saved.push_back(entry.path());
            }
            if (saved.size() < 2) {
                return false;
            }
            demo.signal(SIGSTOP);
            std::sort(saved.begin(), saved.end());
            first = saved.front();
            return true;
        },
        2ms);
    ASSERT_TRUE(twoFrames) << demo.errorOutput();

    const long lit = litPixelsInBmp(first);
    EXPECT_GT(lit, drawnPixels) << first;

    demo.signal(SIGCONT);
    demo.signal(SIGTERM);
    expectCleanExit(demo, "SIGTERM");
}
