// The capture tool as a person runs it: the real executable as a child
// process, writing into a directory of its own, checked through the files it
// leaves (frames read back through SDL_image, videos through ffprobe).

#include <SDL.h>
#include <SDL_image.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <array>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <map>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "canvas.h"
#include "child-process.h"
#include "clock.h"
#include "handles.h"
#include "options.h"
#include "outputs.h"
#include "scratch.h"
#include "soundtrack.h"
#include "unavailable.h"

namespace {

// A capture still running after this long fails the test.
constexpr std::chrono::seconds captureLimit{100};

// The real executable with SDL's drivers that need no display and no sound
// card, and the PATH on which it looks for ffmpeg.
ChildProcess startCapture(const std::vector<std::string>& arguments,
                          const Environment& changes = {}) {
    std::vector<std::string> argv = {VIMBEL_CAPTURE_PATH};
    argv.insert(argv.end(), arguments.begin(), arguments.end());
    const char* path = std::getenv("PATH");
    ChildProcess child = ChildProcess::start(argv, with({{"SDL_VIDEODRIVER", "dummy"},
                                                         {"SDL_AUDIODRIVER", "dummy"},
                                                         {"PATH", path ? path : "/usr/bin:/bin"}},
                                                        changes));
    EXPECT_TRUE(child.started());
    return child;
}

Outcome capture(const std::vector<std::string>& arguments, const Environment& changes = {}) {
    return startCapture(arguments, changes).finish(captureLimit);
}

testing::AssertionResult has(const std::string& text, const std::string& part) {
    if (text.find(part) == std::string::npos) {
        return testing::AssertionFailure() << "no '" << part << "' in:\n" << text;
    }
    return testing::AssertionSuccess();
}

// The demo time at which each stage began, from the summary's last line:
// "stages began at: greeting 0 s, entrance 12.7 s, ...".
std::map<std::string, int64_t> stageTimes(const std::string& errorOutput) {
    const size_t at = errorOutput.find("stages began at: ");
    std::istringstream text(at == std::string::npos ? "" : errorOutput.substr(at));
    std::string line, name, seconds, unit;
    std::getline(text, line);
    std::istringstream items(line.substr(line.find(':') + 1));
    std::map<std::string, int64_t> times;
    while (items >> name >> seconds >> unit) {
        if (const auto time = parseSeconds(seconds)) {
            times[name] = *time;
        }
    }
    return times;
}

// A frame read back, with counts of the pixels that look like something in a
// rectangle.
class Frame {
  public:
    explicit Frame(const std::string& path) {
        const SurfacePtr loaded(IMG_Load(path.c_str()));
        EXPECT_TRUE(loaded) << path << ": " << IMG_GetError();
        surface_.reset(loaded ? SDL_ConvertSurfaceFormat(loaded.get(), SDL_PIXELFORMAT_ARGB8888, 0)
                              : nullptr);
    }
    int width() const { return surface_ ? surface_->w : 0; }
    int height() const { return surface_ ? surface_->h : 0; }
    SDL_Color pixel(int x, int y) const { return pixelOf(surface_.get(), x, y); }
    long count(int x0, int y0, int x1, int y1, bool (*test)(SDL_Color)) const {
        const SDL_Rect area{x0, y0, x1 - x0, y1 - y0};
        return countPixels(surface_.get(), test, &area);
    }

  private:
    SurfacePtr surface_;
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
    constexpr int width = 854, height = 480;
    // Design pixels on this output, and areas of them.
    const auto at = [](int designPixels) { return designPixels * height / 1080; };
    const auto area = [](int designPixels) { return designPixels * height / 1080 * height / 1080; };
    constexpr int32_t fps = 10;
    const Scratch scratch("capture-whole");
    const std::string& directory = scratch.path;
    const std::string frames = directory + "/frames";
    const auto outcome = capture({"--size", "854x480", "--fps", "10", "--screenshot",
                                  "1.3=" + directory + "/shot.png", frames});
    ASSERT_EQ(outcome.status, 0) << outcome.errorOutput;
    EXPECT_EQ(entries(directory), (std::vector<std::string>{"frames", "shot.png"}));

    // It ended by itself on the frame where the script did.
    const auto names = entries(frames);
    ASSERT_GT(names.size(), 2u);
    const auto frameCount = static_cast<int64_t>(names.size()) - 1;
    EXPECT_EQ(names.front(), "frame-000000.png");
    EXPECT_EQ(names[names.size() - 2], frameFileName(frameCount - 1));
    EXPECT_EQ(names.back(), "soundtrack.wav");
    EXPECT_TRUE(has(outcome.errorOutput, std::to_string(frameCount) + " frames at 10 fps"));
    const auto stages = stageTimes(outcome.errorOutput);
    ASSERT_EQ(stages.size(), 6u) << outcome.errorOutput;
    EXPECT_EQ(stages.at("ended"), frameTime(frameCount - 1, fps));
    // Five greeting lines of at least 2.54 s each come before the ship.
    EXPECT_GE(stages.at("entrance"), 5 * 2540);
    EXPECT_LT(stages.at("asteroids"), stages.at("explosion"));

    // The soundtrack is the loop from its start, exactly as long as the frames.
    const std::string wav = readFile(frames + "/soundtrack.wav");
    const int64_t samples = samplesForFrames(frameCount, fps, soundtrackRate);
    ASSERT_EQ(static_cast<int64_t>(wav.size()), 44 + samples * 4);
    const auto expected = makeSoundtrack(decodeMusicLoop(), samples);
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
    ASSERT_EQ(outcome.status, 0) << outcome.errorOutput;
    EXPECT_EQ(entries(directory), (std::vector<std::string>{"demo.mp4", "shot.png"}));
    const auto stages = stageTimes(outcome.errorOutput);
    ASSERT_EQ(stages.count("ended"), 1u) << outcome.errorOutput;
    const int64_t frames = frameAt(stages.at("ended"), 24) + 1;
    EXPECT_TRUE(has(outcome.errorOutput, std::to_string(frames) + " frames at 24 fps"));

    const std::string probe =
        run({"ffprobe", "-v", "error", "-show_entries",
             "stream=codec_type,codec_name,width,height,r_frame_rate,nb_frames,duration,"
             "sample_rate,channels",
             "-of", "default=nw=1", video});
    std::map<std::string, std::vector<std::string>> fields;
    std::istringstream lines(probe);
    for (std::string line; std::getline(lines, line);) {
        const size_t equals = line.find('=');
        if (equals != std::string::npos) {
            fields[line.substr(0, equals)].push_back(line.substr(equals + 1));
        }
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
    std::string boxes;  // the top-level boxes' types
    for (size_t at = 0; at + 8 <= file.size();) {
        const auto* b = reinterpret_cast<const uint8_t*>(file.data()) + at;
        boxes += file.substr(at + 4, 4) + " ";
        const uint32_t size = uint32_t{b[0]} << 24 | uint32_t{b[1]} << 16 | b[2] << 8 | b[3];
        at += size >= 8 ? size : file.size();
    }
    EXPECT_LT(boxes.find("moov "), boxes.find("mdat ")) << boxes;

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
    for (int i = 0; i < 640 * 360; ++i) {
        const SDL_Color a = original.pixel(i % 640, i / 640);
        const SDL_Color b = copy.pixel(i % 640, i / 640);
        if (colourful(a)) {
            sums[0] += a.r - b.r;
            sums[1] += a.g - b.g;
            sums[2] += a.b - b.b;
            ++compared;
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
    // Stand-in encoders, each alone in a directory to put on the PATH; the
    // directory above them holds none.
    const Scratch bin("capture-bin");
    const auto encoder = [&bin](const std::string& name, const std::string& script) {
        const std::string dir = bin.path + "/" + name;
        EXPECT_EQ(mkdir(dir.c_str(), 0777), 0);
        std::ofstream(dir + "/ffmpeg") << "#!/bin/sh\n" << script;
        chmod((dir + "/ffmpeg").c_str(), 0755);
        return dir;
    };
    // One fails straight away with messages of its own; one reads every frame
    // before any sound and writes down how much of each it got.
    const std::string failing = encoder(
        "failing", "echo 'first complaint' >&2\necho 'Unknown encoder libx264' >&2\nexit 1\n");
    const std::string late = encoder("late",
                                     "PATH=/usr/bin:/bin\nfor last; do :; done\nvideo=$(wc -c)\n"
                                     "audio=$(wc -c <&3)\necho \"$video $audio\" > \"$last\"\n");
    struct Case {
        std::vector<std::string> arguments;
        std::string message;
        bool commandLine;  // refused before anything else is tried
        Environment environment;
    };
    std::vector<Case> cases = {
        {{"--frobnicate", out}, "--frobnicate", true, {}},
        {{"--until", "1", directory + "/none/frames"},
         "the directory " + directory + "/none does not exist",
         false,
         {}},
        {{out + ".mp4"},
         "ffmpeg was not found on the PATH. It encodes .mp4, .mkv and .webm files and comes with "
         "Debian's ffmpeg package (apt-get install ffmpeg); a directory as OUTPUT needs no "
         "encoder.",
         false,
         {{"PATH", bin.path}}},
        // The failing encoder's own last lines are shown, after "ffmpeg failed" or "ffmpeg
        // stopped before the end of the capture", as its exit races the frames being written.
        {{"--size", "64x64", "--until", "1", out + ".mkv"},
         ":\nfirst complaint\nUnknown encoder libx264\n",
         false,
         {{"PATH", failing}}},
        // sysfs takes no new files, not even from root.
        {{"--until", "1", "/sys/vimbel-capture-test"}, "cannot write in /sys: ", false, {}},
    };
    // One file named twice, in so many words, through "." or through a link
    // to its directory (kept outside `directory`, which must stay empty).
    const Scratch links("capture-links");
    ASSERT_EQ(symlink(directory.c_str(), (links.path + "/link").c_str()), 0);
    for (const std::string& again :
         {directory + "/a.png", directory + "/./a.png", links.path + "/link/a.png"}) {
        cases.push_back({{"--screenshot", "1=" + directory + "/a.png", "--screenshot", "2=" + again,
                          "--until", "3", out},
                         again + " is named twice as an output",
                         false,
                         {}});
    }
    for (const Case& c : cases) {
        const auto outcome = capture(c.arguments, c.environment);
        const std::string& text = outcome.errorOutput;
        EXPECT_EQ(outcome.status, 2) << c.message << "\n" << text;
        EXPECT_EQ(text.rfind("vimbel-capture: ", 0), 0u) << text;
        EXPECT_TRUE(has(text, c.message));
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
    EXPECT_TRUE(has(help.output, usage + "\n"));
    EXPECT_TRUE(has(help.output, "--version"));
    // The capture tool's page in docs/ shows the same help, word for word.
    EXPECT_TRUE(
        has(readFile(VIMBEL_SOURCE_DIR "/docs/capture.md"), "\n```\n" + help.output + "```\n"));
    const auto version = capture({"--version"});
    EXPECT_EQ(version.status, 0);
    EXPECT_EQ(version.output.rfind("vimbel-capture ", 0), 0u) << version.output;
    EXPECT_EQ(std::count(version.output.begin(), version.output.end(), '\n'), 1);
    EXPECT_EQ(help.errorOutput + version.errorOutput, "");

    // An encoder that reads every frame before any sound still gets all of it.
    const auto written = capture({"--size", "64x64", "--fps", "24", "--until", "1.5", out + ".mkv"},
                                 {{"PATH", late}});
    EXPECT_EQ(written.status, 0) << written.errorOutput;
    const int64_t frames = framesBefore(1500, 24);
    EXPECT_EQ(readFile(out + ".mkv"),
              std::to_string(frames * 64 * 64 * 4) + " " +
                  std::to_string(samplesForFrames(frames, 24, soundtrackRate) * 4) + "\n");
    std::remove((out + ".mkv").c_str());

    // An existing output is kept unless --force, and then an earlier capture
    // is replaced.
    std::ofstream(out + ".mp4") << "keep";
    auto outcome = capture({out + ".mp4"}, {{"PATH", late}});
    EXPECT_EQ(outcome.status, 2);
    EXPECT_TRUE(has(outcome.errorOutput, out + ".mp4 exists already; use --force to replace it"));
    EXPECT_EQ(readFile(out + ".mp4"), "keep");
    ASSERT_EQ(mkdir(out.c_str(), 0777), 0);
    std::ofstream(out + "/frame-000000.png") << "old";
    std::ofstream(out + "/frame-000077.png") << "old";
    outcome = capture({"--size", "64x64", "--fps", "20", "--until", "0.1", "--force", out});
    EXPECT_EQ(outcome.status, 0) << outcome.errorOutput;
    EXPECT_EQ(entries(out),
              (std::vector<std::string>{"frame-000000.png", "frame-000001.png", "soundtrack.wav"}));
    EXPECT_EQ(entries(directory), (std::vector<std::string>{"out", "out.mp4"}));
}

namespace {

// Starts a capture into `output`, in an empty `directory`, stops it with
// SIGINT once its hidden partial output has grown, and checks that it
// exits 130 and leaves nothing.
void interruptCapture(const std::string& directory, const std::string& output) {
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
    const auto outcome = child.finish(captureLimit);
    EXPECT_EQ(outcome.status, 130) << output << ": " << outcome.how << "\n" << outcome.errorOutput;
    EXPECT_TRUE(has(outcome.errorOutput, "vimbel-capture: interrupted; nothing was written"));
    EXPECT_EQ(entries(directory), std::vector<std::string>{}) << output;
}

}  // namespace

TEST(CaptureProcess, CtrlCStopsTheCaptureRemovesThePartialOutputAndExits130) {
    const Scratch scratch("capture-interrupt");
    interruptCapture(scratch.path, scratch.path + "/frames");
}

TEST(CaptureProcess, CtrlCStopsAVideoCaptureRemovesThePartialFileAndExits130) {
    NEEDS(ffmpegTools(),
          "ffmpeg and ffprobe (Debian's ffmpeg package) are not installed: an "
          "interrupted video is not tried");
    const Scratch scratch("capture-interrupt-video");
    interruptCapture(scratch.path, scratch.path + "/demo.webm");
}
