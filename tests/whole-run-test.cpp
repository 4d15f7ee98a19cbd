// The real executable playing the whole demo in real time (35-50 s a run), so
// there are few of these; their suite name gives them a longer CTest timeout.

#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <thread>

#include "child-process.h"
#include "display-servers.h"
#include "unavailable.h"

namespace {

using namespace std::chrono_literals;

constexpr auto wholeRunLimit = 150s;

}  // namespace

// On X with the OpenGL renderer (Mesa's llvmpipe under Xvfb), the default the
// demo picks for itself. In the sanitizer build this is the proof that the
// whole run, shutdown included, has no memory error, no undefined behaviour
// and no leak: the leak check is on, the graphics driver stays mapped until
// the check has run (tests/preload says why), and only libraries' own proven
// leaks are suppressed (tests/lsan.supp says why, entry by entry).
TEST(WholeRun, OnX11WithOpenGLItEndsByItselfWith0AndNoSanitizerReport) {
    XServer x{true};
    NEEDS(x.ok(), x.failure());
    ChildProcess demo = startDemo(
        with(x.environment(), {{"SDL_VIDEODRIVER", "x11"},
                               {"SDL_AUDIODRIVER", "dummy"},
                               {"LD_PRELOAD", VIMBEL_KEEP_DRIVERS_PATH},
                               {"ASAN_OPTIONS", "detect_leaks=1:verify_asan_link_order=0"},
                               {"LSAN_OPTIONS", "suppressions=" VIMBEL_SOURCE_DIR
                                                "/tests/lsan.supp:print_suppressions=0"},
                               {"UBSAN_OPTIONS", "print_stacktrace=1"}}));
    const auto start = ChildProcess::Clock::now();
    const Outcome outcome = demo.finish(wholeRunLimit);
    const double seconds =
        std::chrono::duration<double>(ChildProcess::Clock::now() - start).count();
    EXPECT_EQ(outcome.how, "exit 0") << outcome.errorOutput;
    EXPECT_GT(seconds, 25.0) << "the story is paced by the clock";
    for (const char* report : {"Sanitizer", "runtime error", "vimbel-demo"}) {
        EXPECT_EQ(outcome.errorOutput.find(report), std::string::npos) << outcome.errorOutput;
    }
}

// With the dummy drivers, stopped for ten seconds (SIGSTOP, as a debugger or
// a suspended session would) and continued: its next pass sees a 10-second
// step, and the demo goes on from there and ends by itself.
TEST(WholeRun, WithDummyDriversStoppedForTenSecondsItGoesOnAndEndsByItselfWith0) {
    const auto start = ChildProcess::Clock::now();
    ChildProcess demo = startDemo({{"SDL_VIDEODRIVER", "dummy"},
                                   {"SDL_RENDER_DRIVER", "software"},
                                   {"SDL_AUDIODRIVER", "dummy"}});
    std::this_thread::sleep_for(5s);
    ASSERT_FALSE(demo.exited()) << demo.errorOutput();
    demo.signal(SIGSTOP);
    std::this_thread::sleep_for(10s);
    ASSERT_FALSE(demo.exited());
    demo.signal(SIGCONT);
    expectCleanExit(demo, "continued", wholeRunLimit);
    EXPECT_GT(std::chrono::duration<double>(ChildProcess::Clock::now() - start).count(), 25.0)
        << "the story is paced by the clock";
}
