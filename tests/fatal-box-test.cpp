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

#include "display-servers.h"
#include "unavailable.h"

namespace {

using namespace std::chrono_literals;

constexpr const char* reportStart = "vimbel-demo: cannot open the audio device: ";

struct FatalBox : testing::Test {
    XServer x{true};

    void SetUp() override { NEEDS(x.ok(), x.failure()); }

    // The demo with its error output redirected by the shell (`redirection`
    // may name $1, the given file).
    ChildProcess start(const std::string& redirection, const std::string& file = "",
                       const Environment& extra = {}) const {
        return ChildProcess::start(
            {"/bin/sh", "-c", "exec \"$0\" " + redirection, VIMBEL_DEMO_PATH, file},
            with(with(x.environment(), {{"SDL_VIDEODRIVER", "x11"},
                                        {"SDL_AUDIODRIVER", "nosuchdriver"},
                                        {"ASAN_OPTIONS", "detect_leaks=0"}}),
                 extra));
    }

    std::string findBox() const { return x.findWindow(windowTitle, "DIALOG"); }
};

}  // namespace

// The box appears and waits for a click; meanwhile the error output is still
// where it was sent (with it closed, nothing the demo opens later may take
// descriptor 2 and receive the report: it would be written into the display
// connection). Return, pressed once the box takes keys, closes it, and then
// the demo exits 2. Under systemd the error output is a stream into the
// journal, which names itself in JOURNAL_STREAM; here a file stands in for
// it, and receives the report too.
TEST_F(FatalBox, WithTheErrorOutputOnDevNullClosedOrInTheJournalTheReportShowsInABox) {
    const Scratch scratch("vimbel-journal");
    const std::string journal = scratch.path + "/journal";
    std::ofstream(journal).close();
    struct stat info {};
    ASSERT_EQ(stat(journal.c_str(), &info), 0);
    const std::string stream = std::to_string(info.st_dev) + ":" + std::to_string(info.st_ino);
    struct Case {
        std::string redirection;
        Environment extra;
        std::string errorOutput;  // where descriptor 2 leads while the box is shown
    };
    for (const Case& c : {Case{"2>/dev/null", {}, "/dev/null"}, Case{"2>&-", {}, "/dev/null"},
                          Case{"2>>\"$1\"", {{"JOURNAL_STREAM", stream}}, journal}}) {
        SCOPED_TRACE(c.redirection);
        ChildProcess demo = start(c.redirection, journal, c.extra);
        ASSERT_TRUE(demo.waitUntil(startLimit, [&] { return !findBox().empty(); }))
            << "no message box appeared" << (demo.exited() ? "; the demo ended without one" : "");
        std::this_thread::sleep_for(1s);
        EXPECT_FALSE(demo.exited()) << "the demo did not wait for the box to be closed";
        if (const char* shot = std::getenv("VIMBEL_FATAL_BOX_SCREENSHOT")) {
            x.run({"import", "-silent", "-window", "root", shot});
        }
        std::error_code error;
        const auto fd2 = "/proc/" + std::to_string(demo.pid()) + "/fd/2";
        EXPECT_EQ(std::filesystem::read_symlink(fd2, error).string(), c.errorOutput);
        const auto box = [&] { return findBox(); };
        EXPECT_GT(x.pressUntilEnded(demo, box, "Return"), 0) << "the box never took keys";
        EXPECT_EQ(demo.finish(exitLimit).how, "exit 2") << "once the box was closed";
    }
    EXPECT_EQ(readFile(journal).rfind(reportStart, 0), 0u) << readFile(journal);
}

// A journal stream inherited from a service does not count once the error
// output goes elsewhere: here a pipe, read as a terminal or a log would be.
TEST_F(FatalBox, ToAPipeTheReportIsWrittenAndItExits2AtOnceWithoutABox) {
    ChildProcess demo = start("", "", {{"JOURNAL_STREAM", "8:12345"}});
    const auto status = demo.waitFor(startLimit);
    ASSERT_TRUE(status.has_value())
        << "still running: waiting for a box? " << (findBox().empty() ? "none shown" : "one shown");
    EXPECT_EQ(describeStatus(*status), "exit 2");
    EXPECT_EQ(demo.errorOutput().rfind(reportStart, 0), 0u) << demo.errorOutput();
    EXPECT_NE(demo.errorOutput().find("nosuchdriver"), std::string::npos) << demo.errorOutput();
}
