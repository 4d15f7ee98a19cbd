// The capture tool's pure parts: its clock, its command line, its soundtrack
// and the staging of its outputs.

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <optional>
#include <string>
#include <vector>

#include "clock.h"
#include "fatal.h"
#include "options.h"
#include "outputs.h"
#include "progress.h"
#include "scratch.h"
#include "soundtrack.h"

namespace {

constexpr auto parse = parseCaptureOptions;

void touch(const std::string& path) {
    std::ofstream(path) << "x";
}

}  // namespace

TEST(CaptureClock, FrameTimesAreWholeMillisecondsDeltasAddUpToThemAndFramesAreFoundByTime) {
    EXPECT_EQ(frameTime(0, 60), 0);
    EXPECT_EQ(frameTime(1, 60), 16);
    EXPECT_EQ(frameTime(2, 60), 33);
    EXPECT_EQ(frameTime(3, 60), 50);
    EXPECT_EQ(frameTime(59, 60), 983);
    EXPECT_EQ(frameTime(60, 60), 1000);
    EXPECT_EQ(frameTime(7, 7), 1000);
    EXPECT_EQ(frameTime(1, 240), 4);
    // Hours in, the 64-bit arithmetic still gives whole, exact steps.
    EXPECT_EQ(frameTime(60 * 3600 * 60, 60), 3600LL * 60 * 1000);

    for (const int32_t fps : {1, 7, 24, 30, 60, 144, 240}) {
        float total = 0;
        for (int64_t n = 0; n <= 3 * fps; ++n) {
            total += frameDelta(n, fps);
            ASSERT_EQ(total, static_cast<float>(frameTime(n, fps))) << fps << " fps, frame " << n;
        }
    }

    for (const int32_t fps : {1, 7, 30, 60, 240}) {
        for (int64_t t = 0; t <= 3000; ++t) {
            const int64_t n = frameAt(t, fps);
            ASSERT_LE(frameTime(n, fps), t) << fps << " fps at " << t << " ms";
            ASSERT_GT(frameTime(n + 1, fps), t) << fps << " fps at " << t << " ms";
            const int64_t before = framesBefore(t, fps);
            ASSERT_TRUE(before == 0 || frameTime(before - 1, fps) < t);
            ASSERT_GE(frameTime(before, fps), t) << fps << " fps before " << t << " ms";
        }
    }
}

TEST(CaptureClock, SoundtrackSamplesFollowTheFramesToTheNearestSample) {
    EXPECT_EQ(samplesForFrames(0, 30, 44100), 0);
    EXPECT_EQ(samplesForFrames(905, 30, 44100), 905 * 1470);
    EXPECT_EQ(samplesForFrames(1, 60, 44100), 735);
    EXPECT_EQ(samplesForFrames(1, 24, 44100), 1838);  // 1837.5 rounds up
    EXPECT_EQ(samplesForFrames(2, 24, 44100), 3675);
    EXPECT_EQ(samplesForFrames(1, 7, 44100), 6300);
    EXPECT_EQ(samplesForFrames(1, 240, 44100), 184);  // 183.75
}

TEST(CaptureOptions, DefaultsAndEveryOptionInBothSpellings) {
    auto parsed = parse({"out.mp4"});
    ASSERT_TRUE(parsed.ok()) << parsed.error;
    EXPECT_EQ(parsed.options.kind, OutputKind::Mp4);
    EXPECT_EQ(parsed.options.width, 1920);
    EXPECT_EQ(parsed.options.height, 1080);
    EXPECT_EQ(parsed.options.fps, 60);
    EXPECT_EQ(parsed.options.seed, defaultSeed);
    EXPECT_FALSE(parsed.options.until);
    EXPECT_FALSE(parsed.options.force);

    parsed = parse({"--size", "640x360", "--fps=30", "--seed", "-42", "--until", "2.5",
                    "--screenshot", "1.25=a.png", "--screenshot=0=b.PNG", "--crf", "30",
                    "--preset=slow", "--force", "clip.MKV"});
    ASSERT_TRUE(parsed.ok()) << parsed.error;
    const CaptureOptions& o = parsed.options;
    EXPECT_EQ(o.output, "clip.MKV");
    EXPECT_EQ(o.kind, OutputKind::Mkv);
    EXPECT_EQ(o.width, 640);
    EXPECT_EQ(o.height, 360);
    EXPECT_EQ(o.fps, 30);
    EXPECT_EQ(o.seed, -42);
    EXPECT_EQ(o.until, 2500);
    ASSERT_EQ(o.screenshots.size(), 2u);
    EXPECT_EQ(o.screenshots[0].time, 1250);
    EXPECT_EQ(o.screenshots[0].path, "a.png");
    EXPECT_EQ(o.screenshots[1].time, 0);
    EXPECT_EQ(o.crf, 30);
    EXPECT_EQ(o.preset, "slow");
    EXPECT_TRUE(o.force);

    EXPECT_FALSE(parse({"--seed", "clock", "frames"}).options.seed);
    EXPECT_EQ(parse({"frames"}).options.kind, OutputKind::Directory);
    EXPECT_EQ(parse({"x.webm"}).options.kind, OutputKind::Webm);
    EXPECT_EQ(parse({"--", "--odd-name"}).options.output, "--odd-name");
    // Screenshots alone need no OUTPUT.
    parsed = parse({"--screenshot", "3=shot.png"});
    ASSERT_TRUE(parsed.ok()) << parsed.error;
    EXPECT_EQ(parsed.options.kind, OutputKind::None);
    EXPECT_EQ(parse({"--size", "64x64", "--size", "96x80", "o"}).options.width, 96) << "the last";
}

TEST(CaptureOptions, BadInputIsRefusedInOneLineNamingTheOptionThenThePointerToHelp) {
    // The start of the one line each command line is refused with.
    std::vector<std::pair<std::vector<std::string>, std::string>> cases = {
        {{"--bogus", "out.mp4"}, "The following argument was not expected: --bogus"},
        {{"-x", "out.mp4"}, "The following argument was not expected: -x"},
        {{"a.mp4", "b.mp4"}, "The following argument was not expected: b.mp4"},
        {{"out.mp4", "--size"}, "--size: "},
        {{"--force=yes", "o"}, "force "},
        {{}, "no OUTPUT given"},
        {{"--size", "640", "o"}, "--size: expects WIDTHxHEIGHT such as 1280x720, not '640'"},
        {{"--size", "63x64", "o"},
         "--size: 63x64 is out of range: it must be from 64x64 to 7680x4320"},
        {{"--size", "64x63", "o"}, "--size: 64x63 is out of range"},
        {{"--size", "7681x4320", "o"}, "--size: 7681x4320 is out of range"},
        {{"--size", "7680x4321", "o"}, "--size: 7680x4321 is out of range"},
        {{"--size", "65x64", "o.mp4"},
         "--size: 65x64 is out of range for a video file: it must be even in width and height"},
        {{"--size", "64x65", "o.mkv"}, "--size: 64x65 is out of range for a video file"},
        {{"--fps", "thirty", "o"}, "--fps: expects a whole number of frames per second, not "},
        {{"--fps", "x", "--fps", "30", "o"}, "--fps: expects"},
        {{"--fps", "0", "o"}, "--fps: 0 is out of range: it must be from 1 to 240"},
        {{"--fps", "241", "o"}, "--fps: 241 is out of range"},
        {{"--seed", "1e3", "o"}, "--seed: expects a whole number or clock, not '1e3'"},
        {{"--until", "-1", "o"}, "--until: expects a number of seconds"},
        {{"--until", "1s", "o"}, "--until: expects"},
        {{"--until", ".", "o"}, "--until: expects"},
        {{"--until", "0", "o"}, "--until: 0 is out of range: it must be at least 0.001 seconds"},
        {{"--screenshot", "3", "o"}, "--screenshot: expects SECONDS=FILE"},
        {{"--screenshot", "3=", "o"}, "--screenshot: expects"},
        {{"--screenshot", "x=a.png", "o"}, "--screenshot: expects"},
        {{"--screenshot", "1=a.jpg", "o"}, "--screenshot: 'a.jpg' is not a .png file"},
        {{"--until", "2", "--screenshot", "2=a.png", "o"},
         "--screenshot: 2 s is out of range: it must be before the end set by --until 2"},
        {{"--crf", "high", "o.mp4"}, "--crf: expects a whole number, not 'high'"},
        {{"--crf", "52", "o.mp4"}, "--crf: 52 is out of range for H.264: it must be from 0 to 51"},
        {{"--crf", "64", "o.webm"}, "--crf: 64 is out of range for VP9: it must be from 0 to 63"},
        {{"--crf", "20", "frames"}, "--crf: applies to a video file"},
        {{"--preset", "slow", "--screenshot", "1=a.png"}, "--preset: applies to a video file"},
        {{"--preset", "fast", "o.webm"},
         "--preset: 'fast' is out of range for VP9: it must be one of realtime, good or best"},
        {{"--preset", "good", "o.mp4"}, "--preset: 'good' is out of range for H.264"},
    };
    for (const char* size : {"640x", "x360", "6a0x360", "640x360x2", "99999999999x9"}) {
        cases.push_back({{"--size", size, "o"}, "--size: expects WIDTHxHEIGHT"});
    }
    for (const char* fps : {"30.5", "", "0x1e", "+30"}) {
        cases.push_back({{"--fps", fps, "o"}, "--fps: expects"});
    }
    for (const auto& [arguments, message] : cases) {
        const auto parsed = parse(arguments);
        EXPECT_EQ(parsed.error.rfind(message, 0), 0u) << parsed.error;
        const size_t end = std::min(parsed.error.find('\n'), parsed.error.size());
        EXPECT_EQ(parsed.error.substr(end), "\nRun with --help for more information.")
            << parsed.error;
    }
    // Whole numbers are decimal, leading zeros or not; limits are inclusive.
    EXPECT_EQ(parse({"--fps", "030", "o"}).options.fps, 30);
    EXPECT_EQ(parse({"--crf", "010", "o.mp4"}).options.crf, 10);
    EXPECT_TRUE(parse({"--size", "64x64", "--fps", "1", "o"}).ok());
    EXPECT_TRUE(parse({"--size", "7680x4320", "--fps", "240", "--crf", "63", "o.webm"}).ok());
    EXPECT_TRUE(parse({"--size", "65x65", "frames"}).ok()) << "frames may have odd sides";
}

TEST(CaptureOptions, SecondsAreReadToTheNearestMillisecond) {
    const std::vector<std::pair<std::string, std::optional<int64_t>>> cases = {
        {"12", 12000},    {"0.5", 500},      {".25", 250},      {"3.", 3000},
        {"1.0005", 1001}, {"1.00049", 1000}, {"", {}},          {"1.2.3", {}},
        {"+1", {}},       {"1e3", {}},       {"9999999999", {}}};
    for (const auto& [text, milliseconds] : cases) {
        EXPECT_EQ(parseSeconds(text), milliseconds) << "'" << text << "'";
    }
    EXPECT_EQ(formatSeconds(12500), "12.5");
    EXPECT_EQ(formatSeconds(3000), "3");
    EXPECT_EQ(formatSeconds(33), "0.033");
}

TEST(CaptureSoundtrack, TheLoopRepeatsWithoutAGapAndIsCutToTheSample) {
    const std::vector<int16_t> loop = decodeMusicLoop();
    // The embedded loop: 151 040 sample frames of 44.1 kHz stereo.
    ASSERT_EQ(loop.size(), 151040u * 2);
    // Sample for sample the music itself: 24-bit little-endian stereo behind a
    // plain 44-byte header, whose top 16 bits the conversion keeps (SDL goes
    // through floating point, which may round by a step or two).
    const std::string wav = readFile(VIMBEL_SOURCE_DIR "/res/music.wav");
    ASSERT_EQ(wav.substr(34, 6), std::string("\x18\0data", 6));
    ASSERT_EQ(wav.size(), 44 + loop.size() * 3);
    int worst = 0;
    for (size_t i = 0; i < loop.size(); ++i) {
        const auto* b = reinterpret_cast<const uint8_t*>(wav.data()) + 44 + 3 * i;
        const auto top = static_cast<int32_t>(uint32_t{b[0]} << 8 | uint32_t{b[1]} << 16 |
                                              uint32_t{b[2]} << 24) >>
                         16;
        worst = std::max(worst, std::abs(top - loop[i]));
    }
    EXPECT_LE(worst, 2);

    const int64_t frames = 2 * 151040 + 12345;
    const auto soundtrack = makeSoundtrack(loop, frames);
    ASSERT_EQ(soundtrack.size(), static_cast<size_t>(frames) * 2);
    for (size_t i = 0; i < soundtrack.size(); ++i) {
        ASSERT_EQ(soundtrack[i], loop[i % loop.size()]) << "sample " << i;
    }

    // Handed out a frame's worth at a time, it is the same sound.
    LoopedSound sound(loop);
    std::vector<int16_t> pieces;
    for (int64_t n = 0; pieces.size() < soundtrack.size(); ++n) {
        const int64_t count =
            samplesForFrames(n + 1, 24, soundtrackRate) - samplesForFrames(n, 24, soundtrackRate);
        sound.next(std::min<int64_t>(count, frames - static_cast<int64_t>(pieces.size() / 2)),
                   pieces);
    }
    EXPECT_EQ(pieces, soundtrack);

    // A loop handed over as a temporary is kept, not referred to after it is gone.
    LoopedSound ramp(std::vector<int16_t>{1, 2, 3, 4, 5, 6, 7, 8, 9, 10});
    const std::vector<int16_t> other(10, -1);  // likely to take the temporary's memory
    pieces.clear();
    ramp.next(7, pieces);
    EXPECT_EQ(pieces, (std::vector<int16_t>{1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 1, 2, 3, 4}));
    // A loop without a sample cannot be repeated.
    EXPECT_THROW(LoopedSound(std::vector<int16_t>{}), FatalError);
    EXPECT_THROW(makeSoundtrack({}, 1), FatalError);
}

TEST(CaptureSoundtrack, WavFileHoldsTheSamplesBehindAPlainHeader) {
    const Scratch scratch("capture-wav");
    const std::vector<int16_t> samples = {1, -1, 32767, -32768, 256, 0};
    ASSERT_EQ(writeWav(scratch.path + "/sound.wav", samples), "");
    // 16-bit PCM, 2 channels, 44 100 frames of 4 bytes a second; then the
    // samples, little-endian.
    const std::string header(
        "RIFF\x30\0\0\0WAVEfmt \x10\0\0\0\x01\0\x02\0\x44\xac\0\0\x10\xb1\x02\0\x04\0\x10\0"
        "data\x0c\0\0\0",
        44);
    EXPECT_EQ(readFile(scratch.path + "/sound.wav"),
              header + std::string("\x01\0\xff\xff\xff\x7f\0\x80\0\x01\0\0", 12));
    EXPECT_NE(writeWav(scratch.path + "/missing/sound.wav", samples), "");
}

TEST(CaptureOutputs, TargetsNeedTheirDirectoryAndForceToReplace) {
    const Scratch scratch("capture-targets");
    const std::string in = scratch.path + "/";
    EXPECT_EQ(checkTarget(in + "new.mp4", false, false), "");
    EXPECT_EQ(checkTarget(in + "none/new.mp4", false, false),
              "cannot write " + in + "none/new.mp4: the directory " + in + "none does not exist");
    touch(in + "file");
    EXPECT_EQ(checkTarget(in + "file/new.mp4", false, false),
              "cannot write " + in + "file/new.mp4: " + in + "file is not a directory");

    EXPECT_EQ(checkTarget(in + "file", false, false),
              in + "file exists already; use --force to replace it");
    EXPECT_EQ(checkTarget(in + "file", false, true), "");
    EXPECT_NE(checkTarget(scratch.path, false, true), "")
        << "a directory is not replaced by a file";
    EXPECT_NE(checkTarget(in + "file", true, true), "") << "nor a file by frames";

    // An earlier capture may be replaced, a directory with other files not.
    const std::string frames = in + "frames";
    ASSERT_EQ(mkdir(frames.c_str(), 0777), 0);
    touch(frames + "/frame-000000.png");
    touch(frames + "/frame-1234567.png");
    touch(frames + "/soundtrack.wav");
    EXPECT_NE(checkTarget(frames, true, false), "");
    EXPECT_EQ(checkTarget(frames, true, true), "");
    // Other names, names almost like a frame's, or a frame's name on a
    // directory, are someone else's.
    for (const std::string name :
         {"notes.txt", "frame-00000x.png", "frame-0000001.png", "frame-000002.png"}) {
        const std::string path = frames + "/" + name;
        if (name == "frame-000002.png") {
            ASSERT_EQ(mkdir(path.c_str(), 0777), 0);
        } else {
            touch(path);
        }
        EXPECT_EQ(
            checkTarget(frames, true, true),
            frames + " holds other files than captured frames (" + name + "); it is not replaced");
        std::remove(path.c_str());
    }
    // A symbolic link, dangling or to an earlier capture, is neither followed nor replaced.
    ASSERT_EQ(symlink("nowhere", (in + "dangling").c_str()), 0);
    ASSERT_EQ(symlink("frames", (in + "link").c_str()), 0);
    for (const bool force : {false, true}) {
        for (const std::string link : {"dangling", "link"}) {
            EXPECT_EQ(
                checkTarget(in + link, link == "link", force),
                in + link + " is a symbolic link, which a capture neither follows nor replaces");
        }
    }
    EXPECT_EQ(parentDirectory("out.mp4"), ".");
    EXPECT_EQ(parentDirectory("/out.mp4"), "/");
    EXPECT_EQ(parentDirectory("a/b/frames/"), "a/b");
}

TEST(CaptureOutputs, StagedOutputsAppearOnlyWhenCommitted) {
    const Scratch scratch("capture-staged");
    const std::string& directory = scratch.path;
    const std::string file = directory + "/clip.mp4";
    const std::string frames = directory + "/frames";
    std::string stagedFile;
    std::string stagedFrames;
    {
        StagedOutput clip(file, false);
        StagedOutput shots(frames, true);
        ASSERT_EQ(clip.create(), "");
        ASSERT_EQ(shots.create(), "");
        stagedFile = clip.stagedPath();
        stagedFrames = shots.stagedPath();
        EXPECT_EQ(stagedFile.rfind(directory + "/.clip.mp4.partial-", 0), 0u) << stagedFile;
        EXPECT_TRUE(exists(stagedFile));
        touch(stagedFrames + "/" + frameFileName(7));
        EXPECT_FALSE(exists(file));
        EXPECT_FALSE(exists(frames));
    }  // neither committed: both vanish
    EXPECT_FALSE(exists(stagedFile));
    EXPECT_FALSE(exists(stagedFrames));

    // A committed directory replaces the earlier capture it was checked against,
    // unless someone has put a file of their own there in the meantime.
    ASSERT_EQ(mkdir(frames.c_str(), 0777), 0);
    touch(frames + "/frame-000099.png");
    {
        StagedOutput meanwhile(frames, true);
        ASSERT_EQ(meanwhile.create(), "");
        touch(frames + "/notes.txt");
        EXPECT_NE(meanwhile.commit(), "");
        EXPECT_TRUE(exists(frames + "/frame-000099.png") && exists(frames + "/notes.txt"));
        std::remove((frames + "/notes.txt").c_str());
    }
    StagedOutput shots(frames, true);
    ASSERT_EQ(shots.create(), "");
    touch(shots.stagedPath() + "/" + frameFileName(0));
    ASSERT_EQ(shots.commit(), "");
    EXPECT_TRUE(exists(frames + "/frame-000000.png"));
    EXPECT_FALSE(exists(frames + "/frame-000099.png"));
    EXPECT_EQ(shots.byteSize(), 1);
    EXPECT_EQ(entries(directory), std::vector<std::string>{"frames"}) << "nothing left aside";

    // When the finished directory cannot be moved into place, the earlier
    // capture stays where it was. Here the staged directory has gone (someone
    // removed it) by the time it is moved, so the move fails with ENOENT, for
    // root as for anyone, after the earlier capture has had to make way.
    touch(frames + "/frame-000001.png");
    touch(frames + "/soundtrack.wav");
    {
        StagedOutput vanished(frames, true);
        ASSERT_EQ(vanished.create(), "");
        ASSERT_EQ(rmdir(vanished.stagedPath().c_str()), 0);
        const std::string error = vanished.commit();
        EXPECT_EQ(error, "cannot move the finished " + frames + " into place: " +
                             std::strerror(ENOENT) + "; the earlier " + frames + " is kept");
    }
    EXPECT_EQ(entries(directory), std::vector<std::string>{"frames"});
    EXPECT_EQ(entries(frames),
              (std::vector<std::string>{"frame-000000.png", "frame-000001.png", "soundtrack.wav"}));
}

TEST(CaptureProgress, TheLineShowsTheFiguresAndABarThatFillsWithTheStages) {
    const Progress progress(stderr, false, 60, 6);
    EXPECT_EQ(progress.line(120, 1983, 1.0, 0, "greeting"),
              "120 frames  1.983 s  120.0 fps  2.00x  [------------------------] greeting");
    EXPECT_EQ(progress.line(3000, 49983, 25.0, 2, "asteroids"),
              "3000 frames  49.983 s  120.0 fps  2.00x  [#########---------------] asteroids");
    EXPECT_EQ(progress.line(60, 983, 2.0, 5, "ended"),
              "60 frames  0.983 s  30.0 fps  0.50x  [########################] ended");
    EXPECT_EQ(formatBytes(999), "999 bytes");
    EXPECT_EQ(formatBytes(12345), "12 kB");
    EXPECT_EQ(formatBytes(10362131), "10.4 MB");
    EXPECT_EQ(formatBytes(24000000000), "24.00 GB");
}
