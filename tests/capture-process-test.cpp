// The capture tool as a person runs it: the real executable as a child
// process, writing into a directory of its own, checked through the files it
// leaves (frames read back through SDL_image, videos through ffprobe).

#include <SDL.h>
#include <SDL_image.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <array>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <map>
#include <string>
#include <vector>

#include "canvas.h"
#include "child-process.h"
#include "clock.h"
#include "options.h"
#include "outputs.h"
#include "scratch.h"
#include "soundtrack.h"
#include "unavailable.h"

namespace {

// SDL's drivers that need no display and no sound card, and the PATH on
// which the tool looks for ffmpeg.
Environment captureEnvironment(const Environment& changes = {}) {
    const char* path = std::getenv("PATH");
    return with({{"SDL_VIDEODRIVER", "dummy"},
                 {"SDL_AUDIODRIVER", "dummy"},
                 {"PATH", path ? path : "/usr/bin:/bin"}},
                changes);
}

ChildProcess startCapture(const std::vector<std::string>& arguments,
                          const Environment& changes = {}) {
    std::vector<std::string> argv = {VIMBEL_CAPTURE_PATH};
    argv.insert(argv.end(), arguments.begin(), arguments.end());
    ChildProcess child = ChildProcess::start(argv, captureEnvironment(changes));
    EXPECT_TRUE(child.started());
    return child;
}

// Waits for the end; a capture still running after 100 s fails the test.
Outcome finish(ChildProcess& child) {
    return child.finish(std::chrono::seconds(100));
}

Outcome capture(const std::vector<std::string>& arguments, const Environment& changes = {}) {
    ChildProcess child = startCapture(arguments, changes);
    return finish(child);
}

// The demo time at which each stage began, from the summary's last line.
std::map<std::string, int64_t> stageTimes(const std::string& errorOutput) {
    std::map<std::string, int64_t> times;
    const std::string marker = "stages began at: ";
    size_t at = errorOutput.find(marker);
    if (at == std::string::npos) {
        return times;
    }
    at += marker.size();
    const std::string line = errorOutput.substr(at, errorOutput.find('\n', at) - at);
    size_t start = 0;
    while (start < line.size()) {
        const size_t comma = line.find(", ", start);
        const std::string item = line.substr(start, comma - start);
        const size_t space = item.find(' ');
        const auto time = parseSeconds(item.substr(space + 1, item.rfind(' ') - space - 1));
        if (time) {
            times[item.substr(0, space)] = *time;
        }
        start = comma == std::string::npos ? line.size() : comma + 2;
    }
    return times;
}

// A frame read back, with counts of the pixels that look like something in a
// rectangle.
class Frame {
  public:
    explicit Frame(const std::string& path) {
        SDL_Surface* loaded = IMG_Load(path.c_str());
        EXPECT_TRUE(loaded) << path << ": " << IMG_GetError();
        surface_ = loaded ? SDL_ConvertSurfaceFormat(loaded, SDL_PIXELFORMAT_ARGB8888, 0) : nullptr;
        SDL_FreeSurface(loaded);
    }
    ~Frame() { SDL_FreeSurface(surface_); }
    Frame(const Frame&) = delete;
    Frame& operator=(const Frame&) = delete;
    int width() const { return surface_ ? surface_->w : 0; }
    int height() const { return surface_ ? surface_->h : 0; }
    SDL_Color pixel(int x, int y) const { return pixelOf(surface_, x, y); }
    long count(int x0, int y0, int x1, int y1, bool (*test)(SDL_Color)) const {
        const SDL_Rect area{x0, y0, x1 - x0, y1 - y0};
        return countPixels(surface_, test, &area);
    }

  private:
    SDL_Surface* surface_ = nullptr;
};

int spread(SDL_Color c) {
    return std::max({c.r, c.g, c.b}) - std::min({c.r, c.g, c.b});
}
// The text lines' pastel colours; stars, logos' greys and asteroids are not.
bool colourful(SDL_Color c) {
    return spread(c) >= 50 && std::max({c.r, c.g, c.b}) > 120;
}
bool lit(SDL_Color c) {
    return std::max({c.r, c.g, c.b}) > 40;
}
bool grey(SDL_Color c) {
    return lit(c) && spread(c) < 60;
}
// The explosion's white, yellow and orange.
bool fiery(SDL_Color c) {
    return c.r > 200 && c.g > 100;
}

bool ffmpegTools() {
    return haveProgram("ffmpeg") && haveProgram("ffprobe");
}

// The standard output of a tool run to its end, or "" if it failed.
std::string run(const std::vector<std::string>& argv) {
    return ChildProcess::capture(argv, inheritedEnvironment(), std::chrono::seconds(60))
        .value_or("");
}

}  // namespace

// One whole capture into a directory serves every check of what it holds.
TEST(CaptureProcess, WholeDemoIntoFramesEndsByItselfWithItsSoundAndShowsTheScript) {
    // The 1080p picture at 4/9 of its size; 10 fps keeps it quick.
    constexpr int width = 854;
    constexpr int height = 480;
    // Design pixels on this output, and areas of them.
    const auto at = [](int designPixels) { return designPixels * height / 1080; };
    const auto area = [](int designPixels) { return designPixels * height / 1080 * height / 1080; };
    constexpr int32_t fps = 10;
    const Scratch scratch("capture-whole");
    const std::string& directory = scratch.path;
    const std::string frames = directory + "/frames";
    const auto outcome = capture({"--size", "854x480", "--fps", "10", "--screenshot",
                                  "1.3=" + directory + "/shot.png", frames});
    ASSERT_TRUE(outcome.exited);
    ASSERT_EQ(outcome.status, 0) << outcome.errorOutput;
    EXPECT_EQ(entries(directory), (std::vector<std::string>{"frames", "shot.png"}));

    // It ended by itself on the frame where the script did.
    const auto names = entries(frames);
    ASSERT_GT(names.size(), 2u);
    const auto frameCount = static_cast<int64_t>(names.size()) - 1;
    EXPECT_EQ(names.front(), "frame-000000.png");
    EXPECT_EQ(names[names.size() - 2], frameFileName(frameCount - 1));
    EXPECT_EQ(names.back(), "soundtrack.wav");
    EXPECT_NE(outcome.errorOutput.find(std::to_string(frameCount) + " frames at 10 fps"),
              std::string::npos)
        << outcome.errorOutput;
    const auto stages = stageTimes(outcome.errorOutput);
    ASSERT_EQ(stages.size(), 6u) << outcome.errorOutput;
    EXPECT_EQ(stages.at("ended"), frameTime(frameCount - 1, fps));
    // Five greeting lines of at least 2.54 s each come before the ship.
    EXPECT_GE(stages.at("entrance"), 5 * 2540);
    EXPECT_LT(stages.at("asteroids"), stages.at("explosion"));

    // The soundtrack is the loop from its start, exactly as long as the frames.
    const std::string wav = readFile(frames + "/soundtrack.wav");
    ASSERT_GE(wav.size(), 44u);
    const int64_t samples = samplesForFrames(frameCount, fps, soundtrackRate);
    ASSERT_EQ(static_cast<int64_t>(wav.size()), 44 + samples * 4);
    const auto loop = decodeMusicLoop();
    const auto expected = makeSoundtrack(loop, samples);
    EXPECT_EQ(std::memcmp(wav.data() + 44, expected.data(), expected.size() * 2), 0);

    // The screenshot is the frame on screen at its time.
    const auto frame = [&](int64_t time) {
        return frames + "/" + frameFileName(frameAt(time, fps));
    };
    EXPECT_TRUE(readFile(directory + "/shot.png") == readFile(frame(1300)));

    // What each stage shows, through its pixels.
    // Where the text lines are, left and right of the ship's column.
    const auto centreText = [&](int64_t time) {
        const Frame f(frame(time));
        return f.count(width / 4, height / 3, width / 2 - at(40), height * 2 / 3, colourful) +
               f.count(width / 2 + at(40), height / 3, width * 3 / 4, height * 2 / 3, colourful);
    };
    // Beside the lane and below the logos, where only asteroids and stars go.
    const auto besideTheLane = [&](int64_t time) {
        const Frame f(frame(time));
        return f.count(0, at(220), width / 2 - at(72), height, grey) +
               f.count(width / 2 + at(72), at(220), width, height, grey);
    };
    Frame first(frame(0));
    EXPECT_EQ(first.width(), width);
    EXPECT_EQ(first.height(), height);
    EXPECT_LT(centreText(0), 20) << "the first line starts all but transparent";
    EXPECT_GT(centreText(1300), area(1000)) << "a greeting line at full strength";
    EXPECT_LT(besideTheLane(1300), 150) << "no asteroids during the greeting";

    const int64_t asteroids = stages.at("asteroids");
    const Frame ship(frame(asteroids));
    EXPECT_GT(ship.count(width / 2 - at(40), height / 2 - at(16), width / 2 + at(40),
                         height / 2 + at(100), lit),
              area(800))
        << "the ship waits at the centre";
    EXPECT_LT(centreText(asteroids + 1000), 20) << "no text while the ship is shown";
    long mostAsteroids = 0;
    for (int64_t t = asteroids; t < stages.at("explosion"); t += 1000 / fps) {
        mostAsteroids = std::max(mostAsteroids, besideTheLane(t));
    }
    EXPECT_GT(mostAsteroids, area(2000)) << "asteroids fall beside the ship";

    const Frame explosion(frame(stages.at("explosion") + 100));
    EXPECT_GT(explosion.count(width / 2 - at(60), height / 2 - at(60), width / 2 + at(60),
                              height / 2 + at(100), fiery),
              area(300))
        << "the ship bursts into fire";
    EXPECT_GT(centreText(stages.at("closing") + 1300), area(1000)) << "a closing line";
    EXPECT_LT(centreText(stages.at("ended")), 20) << "the last line has faded out at the end";
}

// 24 fps: 1837.5 samples a frame, so the sound must follow the cumulative
// counts to stay with the picture.
TEST(CaptureProcess, WholeDemoIntoAnMp4HasItsSizeRateLengthBothStreamsAndTheFramesColours) {
    NEEDS(ffmpegTools(), "ffmpeg and ffprobe (Debian's ffmpeg package) are not installed");
    const Scratch scratch("capture-mp4");
    const std::string& directory = scratch.path;
    const std::string video = directory + "/demo.mp4";
    const std::string shot = directory + "/shot.png";
    const auto outcome =
        capture({"--size", "640x360", "--fps", "24", "--screenshot", "1.3=" + shot, video});
    ASSERT_TRUE(outcome.exited);
    ASSERT_EQ(outcome.status, 0) << outcome.errorOutput;
    EXPECT_EQ(entries(directory), (std::vector<std::string>{"demo.mp4", "shot.png"}));
    const auto stages = stageTimes(outcome.errorOutput);
    ASSERT_EQ(stages.count("ended"), 1u) << outcome.errorOutput;
    const int64_t frames = frameAt(stages.at("ended"), 24) + 1;
    EXPECT_NE(outcome.errorOutput.find(std::to_string(frames) + " frames at 24 fps"),
              std::string::npos)
        << outcome.errorOutput;

    const std::string probe =
        run({"ffprobe", "-v", "error", "-show_entries",
             "stream=codec_type,codec_name,width,height,r_frame_rate,nb_frames,duration,"
             "sample_rate,channels",
             "-of", "default=nw=1", video});
    std::map<std::string, std::vector<std::string>> fields;
    size_t start = 0;
    while (start < probe.size()) {
        const size_t end = probe.find('\n', start);
        const std::string line = probe.substr(start, end - start);
        const size_t equals = line.find('=');
        if (equals != std::string::npos) {
            fields[line.substr(0, equals)].push_back(line.substr(equals + 1));
        }
        start = end == std::string::npos ? probe.size() : end + 1;
    }
    ASSERT_EQ(fields["codec_type"], (std::vector<std::string>{"video", "audio"})) << probe;
    EXPECT_EQ(fields["codec_name"], (std::vector<std::string>{"h264", "aac"}));
    EXPECT_EQ(fields["width"][0], "640");
    EXPECT_EQ(fields["height"][0], "360");
    EXPECT_EQ(fields["r_frame_rate"][0], "24/1");
    EXPECT_EQ(fields["nb_frames"][0], std::to_string(frames));
    EXPECT_EQ(fields["sample_rate"][0], "44100");
    EXPECT_EQ(fields["channels"][0], "2");
    const double seconds = static_cast<double>(frames) / 24;
    EXPECT_NEAR(std::stod(fields["duration"][0]), seconds, 0.0005);
    // AAC stores whole blocks; the container trims them to within a few samples.
    EXPECT_NEAR(std::stod(fields["duration"][1]), seconds, 0.002);

    // The index (moov) comes before the media data, so playing can start at once.
    const std::string file = readFile(video);
    std::vector<std::string> boxes;
    for (size_t at = 0; at + 8 <= file.size() && boxes.size() < 16;) {
        const auto* b = reinterpret_cast<const uint8_t*>(file.data()) + at;
        boxes.push_back(file.substr(at + 4, 4));
        const uint32_t size = uint32_t{b[0]} << 24 | uint32_t{b[1]} << 16 | b[2] << 8 | b[3];
        at += size >= 8 ? size : file.size();
    }
    const auto index = [&boxes](const char* type) {
        return std::find(boxes.begin(), boxes.end(), type) - boxes.begin();
    };
    EXPECT_LT(index("moov"), index("mdat")) << testing::PrintToString(boxes);

    // Decoded, the frame shows the screenshot's colours, channel for channel:
    // where the text's pastel colour lies, each channel's mean stays within
    // the few levels that colour subsampling takes off the glyphs' edges (a
    // swap of red and blue moves them by about 100).
    const std::string decoded = directory + "/decoded.png";
    run({"ffmpeg", "-v", "error", "-i", video, "-vf",
         "select=eq(n\\," + std::to_string(frameAt(1300, 24)) + ")", "-frames:v", "1", decoded});
    const Frame original(shot);
    const Frame copy(decoded);
    ASSERT_EQ(copy.width(), 640);
    std::array<double, 3> sums{};
    int compared = 0;
    for (int y = 0; y < 360; ++y) {
        for (int x = 0; x < 640; ++x) {
            const SDL_Color a = original.pixel(x, y);
            const SDL_Color b = copy.pixel(x, y);
            if (colourful(a)) {
                sums[0] += a.r - b.r;
                sums[1] += a.g - b.g;
                sums[2] += a.b - b.b;
                ++compared;
            }
        }
    }
    ASSERT_GT(compared, 500) << "the greeting line at full strength";
    for (int c = 0; c < 3; ++c) {
        EXPECT_LT(std::abs(sums[c] / compared), 25.0) << "mean difference in channel " << c;
    }
}

TEST(CaptureProcess, TheSameSeedGivesTheSameFramesAnotherSeedOthers) {
    const Scratch scratch("capture-seeds");
    const std::string& directory = scratch.path;
    const auto shoot = [&](const std::string& seed, const std::string& name) {
        const auto outcome = capture({"--size", "96x64", "--fps", "15", "--until", "2", "--seed",
                                      seed, directory + "/" + name});
        EXPECT_EQ(outcome.status, 0) << outcome.errorOutput;
        return entries(directory + "/" + name);
    };
    const auto first = shoot("5", "a");
    const auto again = shoot("5", "b");
    const auto other = shoot("6", "c");
    ASSERT_EQ(first.size(), 30u + 1) << "2 s at 15 fps and the soundtrack";
    ASSERT_EQ(again, first);
    ASSERT_EQ(other, first);
    int differing = 0;
    for (const auto& name : first) {
        EXPECT_TRUE(readFile(directory + "/a/" + name) == readFile(directory + "/b/" + name))
            << name;
        differing += readFile(directory + "/a/" + name) != readFile(directory + "/c/" + name);
    }
    EXPECT_GT(differing, 25) << "another seed, another starfield";
}

TEST(CaptureProcess, BadInputGetsItsMessageAndStatus2AndLeavesNoFile) {
    const Scratch scratch("capture-bad");
    const std::string& directory = scratch.path;
    const std::string out = directory + "/out";
    const std::string usage = "Usage: vimbel-capture [OPTIONS] [OUTPUT]";
    struct Case {
        std::vector<std::string> arguments;
        std::string message;
        bool commandLine;  // refused before anything else is tried
        Environment environment;
    };
    // A stand-in encoder that fails straight away with a message of its own.
    const Scratch fakeScratch("capture-fake-bin");
    const std::string& fakeBin = fakeScratch.path;
    std::ofstream(fakeBin + "/ffmpeg")
        << "#!/bin/sh\necho 'first complaint' >&2\necho 'Unknown encoder libx264' >&2\nexit 1\n";
    chmod((fakeBin + "/ffmpeg").c_str(), 0755);
    const Scratch emptyScratch("capture-empty-bin");
    const std::string& emptyBin = emptyScratch.path;

    const std::vector<Case> cases = {
        {{"--frobnicate", out}, "--frobnicate", true, {}},
        {{"--size", "large", out}, "--size: expects WIDTHxHEIGHT", true, {}},
        {{"--fps", "sixty", out}, "--fps: expects a whole number", true, {}},
        {{"--fps", "30"}, "no OUTPUT given", true, {}},
        {{out, "--until"}, "--until: ", true, {}},
        {{out, out + "2"}, out + "2", true, {}},
        {{"--size", "63x64", out},
         "--size: 63x64 is out of range: it must be from 64x64 to 7680x4320",
         true,
         {}},
        {{"--size", "7680x4322", out}, "--size: 7680x4322 is out of range", true, {}},
        {{"--fps", "0", out}, "--fps: 0 is out of range", true, {}},
        {{"--fps", "241", out}, "--fps: 241 is out of range: it must be from 1 to 240", true, {}},
        {{directory + "/none/out.mp4"},
         "cannot write " + directory + "/none/out.mp4: the directory " + directory +
             "/none does not exist",
         false,
         {}},
        {{"--until", "1", directory + "/none/frames"},
         "the directory " + directory + "/none does not exist",
         false,
         {}},
        {{out + ".mp4"},
         "ffmpeg was not found on the PATH. It encodes .mp4, .mkv and .webm files and comes with "
         "Debian's ffmpeg package (apt-get install ffmpeg); a directory as OUTPUT needs no "
         "encoder.",
         false,
         {{"PATH", emptyBin}}},
        {{"--size", "64x64", "--until", "1", out + ".mkv"}, "ffmpeg", false, {{"PATH", fakeBin}}},
        {{"--size", "64x65", "--until", "1", out + ".mp4"},
         "--size: 64x65 is out of range for a video file",
         true,
         {{"PATH", fakeBin}}},
        // sysfs takes no new files, not even from root.
        {{"--until", "1", "/sys/vimbel-capture-test"}, "cannot write in /sys: ", false, {}},
    };
    for (const Case& c : cases) {
        const auto outcome = capture(c.arguments, c.environment);
        const std::string& text = outcome.errorOutput;
        EXPECT_EQ(outcome.status, 2) << c.message << "\n" << text;
        EXPECT_EQ(text.rfind("vimbel-capture: ", 0), 0u) << text;
        EXPECT_LT(text.find(c.message), text.find('\n')) << text;
        // A refused command line: that one line, then where to find the help,
        // and nothing of the help itself.
        EXPECT_EQ(text.substr(text.find('\n') + 1) == "Run with --help for more information.\n",
                  c.commandLine)
            << text;
        EXPECT_EQ(text.find(usage), std::string::npos) << text;
        EXPECT_EQ(entries(directory), std::vector<std::string>{}) << text;
    }
    // Help and version go to standard output with status 0.
    const auto help = capture({"--help"});
    EXPECT_EQ(help.status, 0);
    EXPECT_NE(help.output.find(usage + "\n"), std::string::npos) << help.output;
    EXPECT_NE(help.output.find("--version"), std::string::npos);
    // The README shows the same help, word for word.
    const std::string readme = readFile(VIMBEL_SOURCE_DIR "/README.md");
    const std::string opening = "--help` shows the options";
    const size_t block = readme.find("```\n", readme.find(opening));
    ASSERT_NE(readme.find(opening), std::string::npos);
    EXPECT_EQ(readme.substr(block + 4, readme.find("```", block + 4) - block - 4), help.output)
        << "README.md's copy of --help";
    const auto version = capture({"--version"});
    EXPECT_EQ(version.status, 0);
    EXPECT_EQ(version.output.rfind("vimbel-capture ", 0), 0u) << version.output;
    EXPECT_EQ(std::count(version.output.begin(), version.output.end(), '\n'), 1);
    EXPECT_EQ(help.errorOutput + version.errorOutput, "");

    // The failing encoder's own last lines are shown.
    const auto failed =
        capture({"--size", "64x64", "--until", "1", out + ".mp4"}, {{"PATH", fakeBin}});
    EXPECT_NE(failed.errorOutput.find("first complaint\nUnknown encoder libx264\n"),
              std::string::npos)
        << failed.errorOutput;

    // An encoder that reads every frame before any sound still gets all of it.
    const Scratch lateScratch("capture-late-bin");
    std::ofstream(lateScratch.path + "/ffmpeg") << "#!/bin/sh\nPATH=/usr/bin:/bin\nfor last; do :; "
                                                   "done\nvideo=$(wc -c)\naudio=$(wc -c <&3)\n"
                                                   "echo \"$video $audio\" > \"$last\"\n";
    chmod((lateScratch.path + "/ffmpeg").c_str(), 0755);
    const auto late = capture({"--size", "64x64", "--fps", "24", "--until", "1.5", out + ".mkv"},
                              {{"PATH", lateScratch.path}});
    EXPECT_EQ(late.status, 0) << late.errorOutput;
    const int64_t lateFrames = framesBefore(1500, 24);
    EXPECT_EQ(readFile(out + ".mkv"),
              std::to_string(lateFrames * 64 * 64 * 4) + " " +
                  std::to_string(samplesForFrames(lateFrames, 24, soundtrackRate) * 4) + "\n");
    std::remove((out + ".mkv").c_str());

    // An existing output is kept unless --force, and then only an earlier capture is replaced.
    std::ofstream(out + ".mp4") << "keep";
    auto outcome = capture({out + ".mp4"});
    EXPECT_EQ(outcome.status, 2);
    EXPECT_NE(outcome.errorOutput.find(out + ".mp4 exists already; use --force to replace it"),
              std::string::npos)
        << outcome.errorOutput;
    EXPECT_EQ(readFile(out + ".mp4"), "keep");
    ASSERT_EQ(mkdir(out.c_str(), 0777), 0);
    std::ofstream(out + "/frame-000000.png") << "old";
    std::ofstream(out + "/frame-000077.png") << "old";
    outcome = capture({"--size", "64x64", "--until", "0.1", out});
    EXPECT_EQ(outcome.status, 2);
    EXPECT_EQ(entries(out), (std::vector<std::string>{"frame-000000.png", "frame-000077.png"}));
    outcome = capture({"--size", "64x64", "--fps", "20", "--until", "0.1", "--force", out});
    EXPECT_EQ(outcome.status, 0) << outcome.errorOutput;
    EXPECT_EQ(entries(out),
              (std::vector<std::string>{"frame-000000.png", "frame-000001.png", "soundtrack.wav"}));
    // A link to it is refused, forced or not, and the frames it leads to stay.
    ASSERT_EQ(symlink("out", (directory + "/link").c_str()), 0);
    outcome = capture({"--size", "64x64", "--until", "0.1", "--force", directory + "/link"});
    EXPECT_EQ(outcome.status, 2);
    EXPECT_NE(outcome.errorOutput.find("link is a symbolic link"), std::string::npos);
    EXPECT_EQ(entries(out).size(), 3u);
    std::remove((directory + "/link").c_str());
    std::ofstream(out + "/notes.txt") << "mine";
    outcome = capture({"--size", "64x64", "--until", "0.1", "--force", out});
    EXPECT_EQ(outcome.status, 2);
    EXPECT_NE(outcome.errorOutput.find("holds other files than captured frames (notes.txt)"),
              std::string::npos);
    EXPECT_EQ(readFile(out + "/notes.txt"), "mine");
    EXPECT_EQ(entries(directory), (std::vector<std::string>{"out", "out.mp4"}));
}

TEST(CaptureProcess, CtrlCStopsTheCaptureRemovesThePartialOutputAndExits130) {
    const Scratch scratch("capture-interrupt");
    const std::string& directory = scratch.path;
    std::vector<std::string> outputs = {directory + "/frames"};
    if (ffmpegTools()) {
        outputs.push_back(directory + "/demo.webm");
    } else if (underCi()) {
        ADD_FAILURE() << "ffmpeg is not installed: an interrupted video is not tried";
    } else {
        std::printf("ffmpeg is not installed: an interrupted video is not tried\n");
    }
    for (const std::string& output : outputs) {
        // Stopped once the hidden partial output has grown.
        const auto started = [&] {
            for (const auto& name : entries(directory)) {
                const std::string path = directory + "/" + name;
                struct stat info {};
                if (name[0] == '.' && stat(path.c_str(), &info) == 0 &&
                    (S_ISDIR(info.st_mode) ? entries(path).size() >= 5 : info.st_size > 0)) {
                    return true;
                }
            }
            return false;
        };
        ChildProcess child = startCapture({"--size", "320x180", output});
        EXPECT_TRUE(child.waitUntil(startLimit, started, std::chrono::milliseconds(10))) << output;
        child.signal(SIGINT);
        const auto outcome = finish(child);
        ASSERT_TRUE(outcome.exited) << output;
        EXPECT_EQ(outcome.status, 130) << output << "\n" << outcome.errorOutput;
        EXPECT_NE(outcome.errorOutput.find("vimbel-capture: interrupted; nothing was written"),
                  std::string::npos)
            << outcome.errorOutput;
        EXPECT_EQ(entries(directory), std::vector<std::string>{}) << output;
    }
}
