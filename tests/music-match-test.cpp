// The comparison the sound tests rest on, against recordings made from the
// real music: wherever a recording begins it is the music at its speed; a
// skip, a repeat, a jump far in the loop and a gap are each found near where
// they happened and leave the seconds after them matched; long stalls do not
// mislead the speed; 1 % fast, 0.6 % slow, another piece and noise fail.

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <random>
#include <string>

#include "music-match.h"

namespace {

const StereoSamples& music() {
    static const StereoSamples samples = [] {
        std::string error;
        StereoSamples loaded = loadWav(VIMBEL_SOURCE_DIR "/res/music.wav", error);
        EXPECT_FALSE(loaded.empty()) << error;
        return loaded;
    }();
    return samples;
}

// A quarter second of silence, then `seconds` of the looped music from frame
// `offset` on at `speed` times its rate, as a sound server records it
// (16-bit), with `jump` frames of the music skipped (heard again if negative)
// `at` frames in.
StereoSamples recorded(size_t offset, double seconds, double speed, size_t at = 0, long jump = 0) {
    const StereoSamples& m = music();
    const size_t loop = m.size() / 2;
    std::string bytes(matchRate / 4 * 4, '\0');
    for (size_t i = 0; i < static_cast<size_t>(seconds * matchRate); ++i) {
        const double played = static_cast<double>(i) + static_cast<double>(i >= at ? jump : 0);
        const double position = static_cast<double>(offset) + played * speed;
        const auto whole = static_cast<size_t>(position);
        const double fraction = position - static_cast<double>(whole);
        for (size_t c = 0; c < 2; ++c) {
            const double value = m[2 * (whole % loop) + c] * (1 - fraction) +
                                 m[2 * ((whole + 1) % loop) + c] * fraction;
            const auto sample = static_cast<int16_t>(std::lround(value * 32767));
            bytes += static_cast<char>(sample & 0xff);
            bytes += static_cast<char>((sample >> 8) & 0xff);
        }
    }
    return fromS16le(bytes);
}

// `frames` zeros inserted at frame `from`, where the stream ran dry; the music
// goes on after them where it stopped.
StereoSamples withGap(StereoSamples samples, long from, long frames) {
    samples.insert(samples.begin() + 2 * from, static_cast<size_t>(2 * frames), 0.0f);
    return samples;
}

constexpr double lead = 0.25;

}  // namespace

TEST(MusicMatch, TheLoopedMusicMatchesWhereverTheRecordingBegins) {
    for (const size_t offset : {size_t{0}, size_t{12345}, size_t{150000}}) {
        const MusicMatch match = matchLoopedMusic(music(), recorded(offset, 5.5, 1.0));
        EXPECT_TRUE(match.holds(5)) << "from frame " << offset << "\n" << match.describe();
        EXPECT_EQ(match.offset, static_cast<long>(offset));
        EXPECT_TRUE(match.glitches.empty()) << match.describe();
        EXPECT_NEAR(match.speed, 1.0, 1e-4);
    }
}

TEST(MusicMatch, EachGlitchIsFoundNearWhereItHappenedAndTheRestStillMatches) {
    struct Case {
        const char* name;
        long frames;
        Glitch::Kind kind;
    };
    // 2.6 s into the music (2.85 s into the recording).
    const size_t at = 2 * matchRate + matchRate * 6 / 10;
    for (const Case& c : {Case{"a skip of 0.3 s", 13230, Glitch::Kind::skip},
                          Case{"a repeat of 2048 frames", -2048, Glitch::Kind::repeat},
                          Case{"a jump of 1.6 s, far in the loop", 70000, Glitch::Kind::skip},
                          Case{"a gap of half a second", 22050, Glitch::Kind::gap}}) {
        const bool gap = c.kind == Glitch::Kind::gap;
        const StereoSamples played = recorded(5000, 6.5, 1.0, at, gap ? 0 : c.frames);
        const MusicMatch match = matchLoopedMusic(
            music(),
            gap ? withGap(played, matchRate / 4 + static_cast<long>(at), c.frames) : played);
        SCOPED_TRACE(testing::Message() << c.name << "\n" << match.describe());
        EXPECT_TRUE(match.holds(6));
        ASSERT_EQ(match.glitches.size(), 1u);
        EXPECT_EQ(match.glitches[0].kind, c.kind);
        EXPECT_NEAR(match.glitches[0].time, lead + 2.6, 0.05);
        EXPECT_GE(std::count_if(match.correlations.begin(), match.correlations.end(),
                                [](double r) { return r > matchThreshold; }),
                  5);
    }
    // Underruns as a busy machine makes them: the server plays half a second
    // of silence, then the music goes on where it stopped. Two are allowed in
    // a recording this short, a third is not.
    StereoSamples stuttering = recorded(5000, 5.5, 1.0);
    for (const double time : {0.9, 4.2, 6.0}) {
        stuttering = withGap(stuttering, static_cast<long>(time * matchRate), 22932);
        const MusicMatch stutter = matchLoopedMusic(music(), stuttering);
        SCOPED_TRACE(stutter.describe());
        EXPECT_TRUE(stutter.music);
        EXPECT_EQ(stutter.glitches.size(), time < 5 ? 1u + (time > 1) : 3u);
        EXPECT_EQ(stutter.holds(5), time < 5);
    }
    // Stalls of a second, longer than the music between them, mislead the
    // first estimate of the speed: the music is still found at its speed.
    StereoSamples stalled = recorded(5000, 2.0, 1.0);
    for (const double time : {2.05, 1.55, 1.05, 0.55}) {
        stalled = withGap(stalled, static_cast<long>(time * matchRate), matchRate);
    }
    const MusicMatch stall = matchLoopedMusic(music(), stalled);
    EXPECT_TRUE(stall.music && std::abs(stall.speed - 1) < 1e-4) << stall.describe();
}

TEST(MusicMatch, TheMusicOffItsSpeedAnotherPieceAndNoiseFail) {
    for (const double speed : {1.01, 0.994}) {
        const MusicMatch off = matchLoopedMusic(music(), recorded(5000, 5.5, speed));
        EXPECT_TRUE(off.music && off.glitches.empty() && !off.holds(5)) << off.describe();
        // To a frame or two over the run (the step between seconds alone
        // gives it to a frame a second, 2.3e-5): the drift refines it.
        EXPECT_NEAR(off.speed, speed, 1e-5) << off.describe();
    }

    // The same sounds backwards: another piece.
    StereoSamples backwards = recorded(5000, 5.5, 1.0);
    std::reverse(backwards.begin(), backwards.end());
    const MusicMatch other = matchLoopedMusic(music(), backwards);
    EXPECT_FALSE(other.music) << "another piece\n" << other.describe();

    std::mt19937 generator(19);
    std::normal_distribution<float> normal(0.0f, 0.2f);
    StereoSamples noise(2 * 4 * matchRate);
    for (float& sample : noise) {
        sample = normal(generator);
    }
    const MusicMatch noisy = matchLoopedMusic(music(), noise);
    EXPECT_FALSE(noisy.music) << "noise\n" << noisy.describe();
    EXPECT_EQ(noisy.failure(4), "not the music");

    const MusicMatch silent = matchLoopedMusic(music(), StereoSamples(2 * 4 * matchRate));
    EXPECT_EQ(silent.offset, -1);
    EXPECT_FALSE(silent.holds(0));
}
