// A start-up failure where nobody reads the error output: on an X display,
// with a sound driver that does not exist, the real executable shows its
// report in a message box titled like its window, and exits 2 once the box is
// closed. With an error output someone reads it only writes there and exits
// 2 at once. Every wait is limited: a box nobody closes fails the test.

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>

#include "child-process.h"
#include "display-servers.h"
#include "scratch.h"
#include "unavailable.h"

namespace {

using namespace std::chrono_literals;

constexpr const char* reportStart = "vimbel-demo: cannot open the audio device: ";

struct FatalBox : testing::Test {
    XServer x{true};

    void SetUp() override { NEEDS(x.ok(), x.failure()); }

    Environment demoEnvironment(const Environment& extra = {}) const {
        return with(with(x.environment(), {{"SDL_VIDEODRIVER", "x11"},
                                           {"SDL_AUDIODRIVER", "nosuchdriver"},
                                           {"ASAN_OPTIONS", "detect_leaks=0"}}),
                    extra);
    }

    // The demo with its error output redirected by the shell (`redirection`
    // may name $1, the given file).
    ChildProcess startRedirected(const std::string& redirection, const std::string& file = "",
                                 const Environment& extra = {}) const {
        return ChildProcess::start(
            {"/bin/sh", "-c", "exec \"$0\" " + redirection, VIMBEL_DEMO_PATH, file},
            demoEnvironment(extra));
    }

    std::string findBox() const { return x.findWindow(demoWindowTitle, "DIALOG"); }

    // The box, once it appears; it must wait for a click.
    std::string waitForBox(ChildProcess& demo) const {
        std::string box;
        EXPECT_TRUE(demo.waitUntil(startLimit, [&] { return !(box = findBox()).empty(); }))
            << "no message box appeared" << (demo.exited() ? "; the demo ended without one" : "");
        if (!box.empty()) {
            std::this_thread::sleep_for(1s);
            EXPECT_FALSE(demo.exited()) << "the demo did not wait for the box to be closed";
        }
        if (const char* shot = std::getenv("VIMBEL_FATAL_BOX_SCREENSHOT")) {
            x.run({"import", "-silent", "-window", "root", shot});
        }
        return box;
    }

    // Return closes the box (retried while the window manager takes it
    // over), and then the demo exits 2.
    void closeBoxThenExit2(ChildProcess& demo, const std::string& box) const {
        EXPECT_TRUE(demo.waitUntil(
            exitLimit, [&] { return x.press(box, "Return"); }, 0ms))
            << "xdotool could not press Return in the box";
        EXPECT_EQ(demo.finish(exitLimit).how, "exit 2") << "once the box was closed";
    }

    void expectBoxThenExit2(ChildProcess& demo) const {
        const std::string box = waitForBox(demo);
        if (!box.empty()) {
            closeBoxThenExit2(demo, box);
        }
    }
};

}  // namespace

TEST_F(FatalBox, WithTheErrorOutputOnDevNullTheReportShowsInABoxAndClosingItExits2) {
    ChildProcess demo = startRedirected("2>/dev/null");
    expectBoxThenExit2(demo);
}

// Nothing the demo opens later may take descriptor 2 and receive the report
// (it would be written into the display connection).
TEST_F(FatalBox, WithTheErrorOutputClosedTheReportShowsInABoxAndClosingItExits2) {
    ChildProcess demo = startRedirected("2>&-");
    const std::string box = waitForBox(demo);
    ASSERT_FALSE(box.empty());
    const std::string errorOutput = "/proc/" + std::to_string(demo.pid()) + "/fd/2";
    std::error_code error;
    EXPECT_EQ(std::filesystem::read_symlink(errorOutput, error).string(), "/dev/null")
        << "the report went there";
    closeBoxThenExit2(demo, box);
}

// Under systemd the error output is a stream into the journal, which names
// itself in JOURNAL_STREAM; here a file stands in for it.
TEST_F(FatalBox, WithTheErrorOutputInTheJournalTheReportGoesThereAndShowsInABox) {
    const Scratch scratch("vimbel-journal");
    const std::string journal = scratch.path + "/journal";
    std::ofstream(journal).close();
    struct stat info {};
    ASSERT_EQ(stat(journal.c_str(), &info), 0);
    const std::string stream = std::to_string(info.st_dev) + ":" + std::to_string(info.st_ino);
    ChildProcess demo = startRedirected("2>>\"$1\"", journal, {{"JOURNAL_STREAM", stream}});
    expectBoxThenExit2(demo);
    EXPECT_EQ(readFile(journal).rfind(reportStart, 0), 0u) << readFile(journal);
}

// A journal stream inherited from a service does not count once the error
// output goes elsewhere: here a pipe, read as a terminal or a log would be.
TEST_F(FatalBox, ToAPipeTheReportIsWrittenAndItExits2AtOnceWithoutABox) {
    ChildProcess demo = startDemo(demoEnvironment({{"JOURNAL_STREAM", "8:12345"}}));
    const auto status = demo.waitFor(startLimit);
    ASSERT_TRUE(status.has_value())
        << "still running: waiting for a box? " << (findBox().empty() ? "none shown" : "one shown");
    EXPECT_EQ(describeStatus(*status), "exit 2");
    EXPECT_EQ(demo.errorOutput().rfind(reportStart, 0), 0u) << demo.errorOutput();
    EXPECT_NE(demo.errorOutput().find("nosuchdriver"), std::string::npos) << demo.errorOutput();
}
