// The comparison the sound-server tests rest on: the looped music matches
// itself wherever a recording of it begins; the music 3 % fast, the music with
// a gap, and noise do not.

#include <gtest/gtest.h>

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
// `offset` on at `speed` times its rate, as a sound server records it (16-bit);
// with `gapAt`, the music stops there for a moment and goes on after it.
constexpr size_t gapFrames = 2048;
StereoSamples recorded(size_t offset, double seconds, double speed, size_t gapAt = 0) {
    const StereoSamples& m = music();
    const size_t loop = m.size() / 2;
    std::string bytes(matchRate / 4 * 4, '\0');
    const auto frames = static_cast<size_t>(seconds * matchRate);
    for (size_t i = 0; i < frames; ++i) {
        const bool inGap = gapAt > 0 && i >= gapAt && i < gapAt + gapFrames;
        const size_t played = gapAt > 0 && i >= gapAt + gapFrames ? i - gapFrames : i;
        const double position = static_cast<double>(offset) + static_cast<double>(played) * speed;
        const auto whole = static_cast<size_t>(position);
        const double fraction = position - static_cast<double>(whole);
        for (size_t c = 0; c < 2; ++c) {
            const double value = m[2 * (whole % loop) + c] * (1 - fraction) +
                                 m[2 * ((whole + 1) % loop) + c] * fraction;
            const auto sample = static_cast<int16_t>(inGap ? 0 : std::lround(value * 32767));
            bytes += static_cast<char>(sample & 0xff);
            bytes += static_cast<char>((sample >> 8) & 0xff);
        }
    }
    return fromS16le(bytes);
}

}  // namespace

TEST(MusicMatch, TheLoopedMusicMatchesWhereverTheRecordingBegins) {
    for (const size_t offset : {size_t{0}, size_t{12345}, size_t{150000}}) {
        const MusicMatch match = matchLoopedMusic(music(), recorded(offset, 4.5, 1.0));
        EXPECT_TRUE(match.holds(4)) << "from frame " << offset << "\n" << match.describe();
        EXPECT_EQ(match.offset, static_cast<long>(offset));
        EXPECT_EQ(match.dropouts, 0u);
    }
}

TEST(MusicMatch, TheMusicTooFastOrWithAGapAndNoiseDoNotMatch) {
    const MusicMatch fast = matchLoopedMusic(music(), recorded(5000, 4.5, 1.03));
    EXPECT_FALSE(fast.holds(1)) << "3 % fast\n" << fast.describe();

    // An underrun of two chunks half a second into the third second.
    const MusicMatch gap =
        matchLoopedMusic(music(), recorded(5000, 4.5, 1.0, 2 * matchRate + 22050));
    EXPECT_FALSE(gap.holds(1)) << "with a gap\n" << gap.describe();
    EXPECT_EQ(gap.dropouts, 1u);
    EXPECT_EQ(fast.dropouts, 0u);

    std::mt19937 generator(19);
    std::normal_distribution<float> normal(0.0f, 0.2f);
    StereoSamples noise(2 * 4 * matchRate);
    for (float& sample : noise) {
        sample = normal(generator);
    }
    const MusicMatch noisy = matchLoopedMusic(music(), noise);
    EXPECT_FALSE(noisy.holds(1)) << "noise\n" << noisy.describe();

    const MusicMatch silent = matchLoopedMusic(music(), StereoSamples(2 * 4 * matchRate));
    EXPECT_EQ(silent.offset, -1);
    EXPECT_FALSE(silent.holds(0));
}
