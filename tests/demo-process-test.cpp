// The real executable, started as a child process with drivers that need no
// display and no sound card.

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "child-process.h"
#include "scratch.h"

namespace {

using namespace std::chrono_literals;

off_t fileSize(const std::string& path) {
    struct stat info {};
    return stat(path.c_str(), &info) == 0 ? info.st_size : 0;
}

}  // namespace

// Each start-up failure exits 2 with a report naming the step. The dummy video
// driver offers only the software renderer, which does not count as
// accelerated unless asked for by name; the disk audio driver fails on a
// folder that does not exist, before the music is loaded.
TEST(DemoProcess, AStartUpFailureNamesItsStepAndExits2) {
    struct Case {
        Environment changes;
        std::string report;  // the error output, or its start if it does not end a line
        std::string mentions;
    };
    for (const Case& c :
         {Case{{{"SDL_VIDEODRIVER", "no-such-video"}},
               "vimbel-demo: cannot create the window: no-such-video not available\n",
               ""},
          Case{{{"SDL_AUDIODRIVER", "disk"}, {"SDL_DISKAUDIOFILE", "/no-such-dir/out.raw"}},
               "vimbel-demo: cannot open the audio device: ",
               "out.raw"},
          Case{{{"SDL_RENDER_DRIVER", ""}}, "vimbel-demo: cannot create the renderer: ", ""}}) {
        Environment environment = with(headlessDrivers, c.changes);
        std::erase_if(environment, [](const auto& entry) { return entry.second.empty(); });
        const auto outcome = startDemo(environment).finish(startLimit);
        EXPECT_EQ(outcome.how, "exit 2") << c.report;
        const std::string& said = outcome.errorOutput;
        EXPECT_EQ(c.report.ends_with('\n') ? said : said.substr(0, c.report.size()), c.report);
        EXPECT_NE(said.find(c.mentions), std::string::npos) << said;
    }
}

// One run serves two checks: the music that reaches the device is the
// embedded loop repeated without a gap, and a quit request ends the demo with 0.
TEST(DemoProcess, PlaysTheLoopSeamlesslyAndAQuitRequestExitsWith0) {
    const Scratch scratch("demo-audio");
    const std::string output = scratch.path + "/out.raw";
    constexpr size_t loopFrames = 151040;
    constexpr off_t bytesPerFrame = 4;  // the device: signed 16-bit stereo
    const off_t wanted = static_cast<off_t>(loopFrames) * bytesPerFrame * 5 / 2;

    // A short delay per chunk lets the disk driver run faster than real time.
    ChildProcess demo = startDemo(with(
        headlessDrivers,
        {{"SDL_AUDIODRIVER", "disk"}, {"SDL_DISKAUDIOFILE", output}, {"SDL_DISKAUDIODELAY", "2"}}));
    expectQuitOnceOver(
        demo, "bytes played", [&] { return fileSize(output); }, wanted - 1, 10ms);

    const std::string raw = readFile(output);
    ASSERT_GE(static_cast<off_t>(raw.size()), wanted);
    const auto* samples = reinterpret_cast<const int16_t*>(raw.data());
    const size_t frames = raw.size() / bytesPerFrame;

    // The device runs silent until the music starts.
    size_t start = 0;
    while (start < frames && samples[2 * start] == 0 && samples[2 * start + 1] == 0) {
        ++start;
    }
    ASSERT_LT(start + 2 * loopFrames, frames) << "too little music was played";

    const auto [low, high] =
        std::minmax_element(samples + 2 * start, samples + 2 * (start + loopFrames));
    EXPECT_GT(std::max(-int{*low}, int{*high}), 16000) << "the music is (nearly) silent";

    // The second pass repeats the first sample for sample, straight after it:
    // no gap. (The mixer may drop the last couple of frames of a 24-bit file
    // at each repeat, which the loop's continuous seam makes inaudible.)
    const auto repeatsAfter = [&](size_t lag) {
        return std::equal(samples + 2 * start, samples + 2 * (start + loopFrames - 8),
                          samples + 2 * (start + lag));
    };
    size_t lag = loopFrames;
    while (lag > loopFrames - 4 && !repeatsAfter(lag)) {
        --lag;
    }
    EXPECT_TRUE(repeatsAfter(lag)) << "the second pass of the loop differs from the first";
}
