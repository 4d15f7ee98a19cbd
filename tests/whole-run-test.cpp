// The real executable playing the whole demo in real time (35-50 s a run), so
// there are few of these; their suite name gives them a longer CTest timeout.

#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <thread>

#include "display-servers.h"
#include "unavailable.h"

namespace {

using namespace std::chrono_literals;

// The demo, started at `start`, ends by itself as expectCleanExit says, no
// sooner than the clock that paces the story allows.
void expectWholeRun(ChildProcess& demo, ChildProcess::Clock::time_point start, const char* after) {
    expectCleanExit(demo, after, 150s);
    EXPECT_GT(std::chrono::duration<double>(ChildProcess::Clock::now() - start).count(), 25.0)
        << "the story is paced by the clock";
}

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
    expectWholeRun(demo, start, "the whole run");
    for (const char* report : {"Sanitizer", "runtime error"}) {
        EXPECT_EQ(demo.errorOutput().find(report), std::string::npos) << demo.errorOutput();
    }
}

// With the dummy drivers, stopped for ten seconds (SIGSTOP, as a debugger or
// a suspended session would) and continued: its next pass sees a 10-second
// step, and the demo goes on from there and ends by itself.
TEST(WholeRun, WithDummyDriversStoppedForTenSecondsItGoesOnAndEndsByItselfWith0) {
    const auto start = ChildProcess::Clock::now();
    ChildProcess demo = startDemo(headlessDrivers);
    std::this_thread::sleep_for(5s);
    ASSERT_FALSE(demo.exited()) << demo.errorOutput();
    demo.signal(SIGSTOP);
    std::this_thread::sleep_for(10s);
    ASSERT_FALSE(demo.exited());
    demo.signal(SIGCONT);
    expectWholeRun(demo, start, "continued");
}
