// The real executable on every kind of display it can meet, each started by
// the test itself: an X server with a window manager, a Wayland compositor and
// SDL's offscreen driver. On each it starts, draws, and ends with status 0 when
// asked to quit; under X also on Escape and on closing the window.

#include <SDL.h>
#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <sstream>
#include <string>
#include <thread>

#include "display-servers.h"
#include "unavailable.h"

namespace {

using namespace std::chrono_literals;

template <int Width, int Height>
struct X11DisplayOf : testing::Test {
    XServer x{true, Width, Height};
    ChildProcess demo;
    std::string window;

    void SetUp() override {
        NEEDS(x.ok(), x.failure());
        NEEDS(haveProgram("import"), "import is not installed (package imagemagick)");
        demo = startDemo(
            with(x.environment(), {{"SDL_VIDEODRIVER", "x11"}, {"SDL_AUDIODRIVER", "dummy"}}));
        ASSERT_TRUE(demo.waitUntil(startLimit, [&] { return findWindow(); }))
            << "no demo window appeared\n"
            << demo.errorOutput();
    }

    bool findWindow() {
        window = x.findWindow(windowTitle);
        return !window.empty();
    }

    // Waits until the window fills the screen (once the window manager has
    // taken it over) and then until columns [from, to) of the screen light
    // more than `least` pixels; then asks the demo to quit.
    void expectFullScreenDrawn(long least, int from = 0, int to = -1) {
        const std::string size = std::to_string(Width) + "x" + std::to_string(Height);
        std::string geometry;
        EXPECT_TRUE(demo.waitUntil(startLimit, [&] {
            geometry =
                findWindow() ? x.run({"xdotool", "getwindowgeometry", window}).value_or("") : "";
            return geometry.find("Geometry: " + size) != std::string::npos;
        })) << geometry;
        expectQuitOnceOver(
            demo, "lit pixels", [&] { return x.litPixels(from, to); }, least);
    }

    // Presses keys the way a user types them, once the window takes them,
    // and again while the demo runs on; then it ends as expectCleanExit says.
    void pressKeysThenExpectCleanExit(const char* keys) {
        const int presses = x.pressUntilEnded(
            demo, [&] { return findWindow() ? window : ""; }, keys);
        EXPECT_GT(presses, 0) << "the window never took keys";
        if (presses > 1) {
            std::printf("%s was pressed %d times\n", keys, presses);
        }
        expectCleanExit(demo, keys);
    }
};
using X11Display = X11DisplayOf<testScreenWidth, testScreenHeight>;
using X11Display4K = X11DisplayOf<3840, 2160>;

// User and system CPU time of a process so far, in seconds.
double cpuSeconds(pid_t pid) {
    const std::string text = readFile("/proc/" + std::to_string(pid) + "/stat");
    // The fields after the command name, which ends with the last ')', from
    // the 3rd on; the 14th and 15th are those times in clock ticks.
    std::istringstream fields(text.substr(text.rfind(')') + 2));
    std::string skipped;
    double user = 0;
    double system = 0;
    for (int index = 3; index < 14; ++index) {
        fields >> skipped;
    }
    fields >> user >> system;
    return (user + system) / static_cast<double>(sysconf(_SC_CLK_TCK));
}

}  // namespace

TEST_F(X11Display, FillsTheScreenDrawsAndAQuitRequestExitsWith0) {
    expectFullScreenDrawn(sceneDrawnPixels(testScreenWidth, testScreenHeight));
}

// On a 4K screen the picture is the 1080p one at twice the size: the left
// logo, in the left tenth of the screen, lights about four times the 16,500
// pixels it lights at 1920 x 1080 (the same logo unscaled would light those).
TEST_F(X11Display4K, ShowsThe1080pPictureAtTwiceItsSize) {
    expectFullScreenDrawn(50000, 0, 384);
}

TEST_F(X11Display, EscapeExitsWith0) {
    pressKeysThenExpectCleanExit("Escape");
}

// Alt+F4 is the window manager's own close: openbox asks the window to close
// (WM_DELETE_WINDOW), as its close button would, and SDL reports that as a quit
// request. (xdotool's windowkill would cut the connection instead, and
// destroying the window from outside is nothing a user can do.)
TEST_F(X11Display, ClosingTheWindowExitsWith0) {
    pressKeysThenExpectCleanExit("alt+F4");
}

// Before the renderer and the window were destroyed ahead of SDL_Quit, this
// ended with a segmentation fault.
TEST(WaylandDisplay, DrawsAndAQuitRequestExitsWith0) {
    WaylandServer wayland;
    NEEDS(wayland.ok(), wayland.failure());
    NEEDS(haveProgram("import"), "import is not installed (package imagemagick)");
    const long least = sceneDrawnPixels(testScreenWidth, testScreenHeight);
    ASSERT_LT(wayland.screen().litPixels(), least) << "the compositor alone lights the screen";
    ChildProcess demo = startDemo(with(
        wayland.environment(), {{"SDL_VIDEODRIVER", "wayland"}, {"SDL_AUDIODRIVER", "dummy"}}));
    expectQuitOnceOver(
        demo, "lit pixels on the compositor's output", [&] { return wayland.screen().litPixels(); },
        least);
}

// The offscreen driver renders through EGL with no display at all. Before the
// renderer and the window were destroyed ahead of SDL_Quit, a quit request here
// ended with a segmentation fault. Its accelerated renderer shows nothing
// outside the process; that the frame loop runs shows in the process staying
// up and spinning: an unthrottled loop goes on using CPU time, however little
// of it a loaded machine gives; start-up is over after a few seconds, and a
// stuck loop uses none.
TEST(OffscreenDisplay, AQuitRequestExitsWith0) {
    ChildProcess demo = startDemo({{"SDL_VIDEODRIVER", "offscreen"}, {"SDL_AUDIODRIVER", "dummy"}});
    std::this_thread::sleep_for(3s);
    const double before = cpuSeconds(demo.pid());
    expectQuitOnceOver(
        demo, "CPU seconds used by the frame loop", [&] { return cpuSeconds(demo.pid()) - before; },
        1.0);
}

// With the software renderer drawing into the driver's own framebuffer, the
// offscreen driver can save every presented frame as a BMP file in the working
// directory: the first ones show the logos.
TEST(OffscreenDisplay, TheSoftwareRendererDrawsFramesAndAQuitRequestExitsWith0) {
    const Scratch frames("vimbel-offscreen");
    ChildProcess demo = ChildProcess::start(
        {"/bin/sh", "-c", "cd \"$1\" && exec \"$2\"", "sh", frames.path, VIMBEL_DEMO_PATH},
        {{"SDL_VIDEODRIVER", "offscreen"},
         {"SDL_RENDER_DRIVER", "software"},
         {"SDL_FRAMEBUFFER_ACCELERATION", "0"},
         {"SDL_VIDEO_OFFSCREEN_SAVE_FRAMES", "1"},
         {"SDL_AUDIODRIVER", "dummy"},
         {"ASAN_OPTIONS", "detect_leaks=0"}});
    // Once a second frame is being written, the first is complete. The demo is
    // paused then: it saves hundreds of frames of 3 MB each per second.
    std::vector<std::string> saved;
    const bool twoFrames = demo.waitUntil(
        startLimit, [&] { return (saved = entries(frames.path)).size() >= 2; }, 2ms);
    demo.signal(SIGSTOP);
    ASSERT_TRUE(twoFrames) << demo.errorOutput();
    EXPECT_TRUE(sceneDrawnInBmp(frames.path + "/" + saved.front()));

    demo.signal(SIGCONT);
    demo.signal(SIGTERM);
    expectCleanExit(demo, "SIGTERM");
}
