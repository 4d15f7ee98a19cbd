// The real executable, started as a child process with drivers that need no
// display and no sound card.

#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <iterator>
#include <map>
#include <string>
#include <thread>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;
using Environment = std::map<std::string, std::string>;

struct Outcome {
    bool exited = false;
    int status = -1;
    std::string errorOutput;
};

const Environment headless = {
    {"SDL_VIDEODRIVER", "dummy"},
    {"SDL_RENDER_DRIVER", "software"},
    {"SDL_AUDIODRIVER", "dummy"},
};

Environment with(Environment base, const Environment& changes) {
    for (const auto& [name, value] : changes) {
        base[name] = value;
    }
    return base;
}

// Starts the demo with exactly the given environment; `whileRunning` is called
// until it returns true, after which the child gets SIGTERM (a quit request).
Outcome runDemo(const Environment& environment, std::function<bool()> whileRunning = {},
                std::chrono::seconds limit = std::chrono::seconds(60)) {
    int pipeFds[2];
    if (pipe(pipeFds) != 0) {
        ADD_FAILURE() << "pipe";
        return {};
    }
    std::vector<std::string> strings;
    for (const auto& [name, value] : environment) {
        strings.push_back(name + "=" + value);
    }
    // The sanitizers' leak report would only describe the deliberate
    // no-cleanup of a fatal stop.
    strings.push_back("ASAN_OPTIONS=detect_leaks=0");
    std::vector<char*> envp;
    for (auto& s : strings) {
        envp.push_back(s.data());
    }
    envp.push_back(nullptr);

    const pid_t pid = fork();
    if (pid == 0) {
        dup2(pipeFds[1], STDERR_FILENO);
        const int devNull = open("/dev/null", O_WRONLY);
        dup2(devNull, STDOUT_FILENO);
        close(pipeFds[0]);
        char* argv[] = {const_cast<char*>(VIMBEL_DEMO_PATH), nullptr};
        execve(VIMBEL_DEMO_PATH, argv, envp.data());
        _exit(127);
    }
    close(pipeFds[1]);
    fcntl(pipeFds[0], F_SETFL, O_NONBLOCK);

    Outcome outcome;
    const auto deadline = Clock::now() + limit;
    bool signalled = !whileRunning;
    int status = 0;
    for (;;) {
        char buffer[4096];
        ssize_t n;
        while ((n = read(pipeFds[0], buffer, sizeof buffer)) > 0) {
            outcome.errorOutput.append(buffer, static_cast<size_t>(n));
        }
        if (waitpid(pid, &status, WNOHANG) == pid) {
            break;
        }
        if (!signalled && whileRunning()) {
            kill(pid, SIGTERM);
            signalled = true;
        }
        if (Clock::now() > deadline) {
            kill(pid, SIGKILL);
            waitpid(pid, &status, 0);
            ADD_FAILURE() << "the demo did not end in time";
            break;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    char buffer[4096];
    ssize_t n;
    while ((n = read(pipeFds[0], buffer, sizeof buffer)) > 0) {
        outcome.errorOutput.append(buffer, static_cast<size_t>(n));
    }
    close(pipeFds[0]);
    outcome.exited = WIFEXITED(status);
    outcome.status = outcome.exited ? WEXITSTATUS(status) : -1;
    return outcome;
}

off_t fileSize(const std::string& path) {
    struct stat info {};
    return stat(path.c_str(), &info) == 0 ? info.st_size : 0;
}

std::string temporaryPath(const std::string& stem) {
    return (testing::TempDir().empty() ? std::string("/tmp/") : testing::TempDir()) + stem + "-" +
           std::to_string(getpid()) + ".raw";
}

}  // namespace

TEST(DemoProcess, WithoutAUsableVideoDriverItReportsSdlsErrorAndExits2) {
    const auto outcome = runDemo(with(headless, {{"SDL_VIDEODRIVER", "no-such-video"}}));
    ASSERT_TRUE(outcome.exited);
    EXPECT_EQ(outcome.status, 2);
    EXPECT_EQ(outcome.errorOutput,
              "vimbel-demo: cannot create the window: no-such-video not available\n");
}

TEST(DemoProcess, WithoutAUsableAudioDeviceItExits2BeforeLoadingTheMusic) {
    const auto outcome = runDemo(with(
        headless, {{"SDL_AUDIODRIVER", "disk"}, {"SDL_DISKAUDIOFILE", "/no-such-dir/out.raw"}}));
    ASSERT_TRUE(outcome.exited);
    EXPECT_EQ(outcome.status, 2);
    EXPECT_EQ(outcome.errorOutput.rfind("vimbel-demo: cannot open the audio device: ", 0), 0u)
        << outcome.errorOutput;
    EXPECT_NE(outcome.errorOutput.find("out.raw"), std::string::npos) << outcome.errorOutput;
}

TEST(DemoProcess, WithoutAnAcceleratedRendererItExits2) {
    // The dummy video driver offers only the software renderer, which does not
    // count as accelerated unless asked for by name.
    Environment environment = headless;
    environment.erase("SDL_RENDER_DRIVER");
    const auto outcome = runDemo(environment);
    ASSERT_TRUE(outcome.exited);
    EXPECT_EQ(outcome.status, 2);
    EXPECT_EQ(outcome.errorOutput.rfind("vimbel-demo: cannot create the renderer: ", 0), 0u)
        << outcome.errorOutput;
}

// One run serves two checks: the music that reaches the device is the
// embedded loop repeated without a gap, and a quit request ends the demo with 0.
TEST(DemoProcess, PlaysTheLoopSeamlesslyAndAQuitRequestExitsWith0) {
    const std::string output = temporaryPath("demo-audio");
    std::remove(output.c_str());
    constexpr size_t loopFrames = 151040;
    constexpr off_t bytesPerFrame = 4;  // the device: signed 16-bit stereo
    const off_t wanted = static_cast<off_t>(loopFrames) * bytesPerFrame * 5 / 2;

    // A short delay per chunk lets the disk driver run faster than real time.
    const auto outcome = runDemo(with(headless, {{"SDL_AUDIODRIVER", "disk"},
                                                 {"SDL_DISKAUDIOFILE", output},
                                                 {"SDL_DISKAUDIODELAY", "2"}}),
                                 [&] { return fileSize(output) >= wanted; });
    ASSERT_TRUE(outcome.exited);
    EXPECT_EQ(outcome.status, 0);
    // The disk driver announces itself on standard error; the demo says nothing.
    EXPECT_EQ(outcome.errorOutput.find("vimbel-demo"), std::string::npos) << outcome.errorOutput;

    std::ifstream in(output, std::ios::binary);
    std::vector<char> raw((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    std::remove(output.c_str());
    ASSERT_GE(static_cast<off_t>(raw.size()), wanted);
    const auto* samples = reinterpret_cast<const int16_t*>(raw.data());
    const size_t frames = raw.size() / bytesPerFrame;

    // The device runs silent until the music starts.
    size_t start = 0;
    while (start < frames && samples[2 * start] == 0 && samples[2 * start + 1] == 0) {
        ++start;
    }
    ASSERT_LT(start + 2 * loopFrames, frames) << "too little music was played";

    int peak = 0;
    for (size_t i = start; i < start + loopFrames; ++i) {
        peak = std::max({peak, std::abs(int{samples[2 * i]}), std::abs(int{samples[2 * i + 1]})});
    }
    EXPECT_GT(peak, 16000) << "the music is (nearly) silent";

    // The second pass repeats the first sample for sample, straight after it:
    // no gap. (The mixer may drop the last couple of frames of a 24-bit file
    // at each repeat, which the loop's continuous seam makes inaudible.)
    const auto repeatsAfter = [&](size_t lag) {
        for (size_t i = start; i < start + loopFrames - 8; ++i) {
            if (samples[2 * i] != samples[2 * (i + lag)] ||
                samples[2 * i + 1] != samples[2 * (i + lag) + 1]) {
                return false;
            }
        }
        return true;
    };
    size_t lag = loopFrames;
    while (lag > loopFrames - 4 && !repeatsAfter(lag)) {
        --lag;
    }
    EXPECT_TRUE(repeatsAfter(lag)) << "the second pass of the loop differs from the first";
}

TEST(WholeRun, WithDummyDriversTheStoryPlaysToItsEndAndExitsWith0) {
    const auto start = Clock::now();
    const auto outcome = runDemo(headless, {}, std::chrono::seconds(110));
    const auto seconds = std::chrono::duration<double>(Clock::now() - start).count();
    ASSERT_TRUE(outcome.exited);
    EXPECT_EQ(outcome.status, 0) << outcome.errorOutput;
    EXPECT_EQ(outcome.errorOutput.find("vimbel-demo"), std::string::npos) << outcome.errorOutput;
    // The story takes its own time: it is paced by the clock, not by frames.
    EXPECT_GT(seconds, 25.0);
}
