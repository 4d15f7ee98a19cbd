#pragma once

// The capture's soundtrack: the embedded music loop, repeated from the first
// frame without a gap and cut to the length of the video.

#include <cstdint>
#include <string>
#include <vector>

// The format the demo asks the audio device for: 44 100 Hz, signed 16-bit,
// stereo; samples are interleaved left, right.
inline constexpr int32_t soundtrackRate = 44100;
inline constexpr int32_t soundtrackChannels = 2;

// The embedded music decoded and converted through SDL to the soundtrack's
// format: one pass of the loop. Failures are fatal.
std::vector<int16_t> decodeMusicLoop();

// Hands out the loop over and over, a stretch at a time, from its first sample.
// It keeps its own copy of the loop; a loop without a sample is fatal.
class LoopedSound {
  public:
    explicit LoopedSound(std::vector<int16_t> loop);

    // Appends the next `frames` sample frames (left and right) to `out`.
    void next(int64_t frames, std::vector<int16_t>& out);

  private:
    std::vector<int16_t> loop_;
    size_t position_ = 0;  // in samples, always at a frame boundary
};

// The first `frames` sample frames of the endlessly repeated loop.
std::vector<int16_t> makeSoundtrack(const std::vector<int16_t>& loop, int64_t frames);

// Writes the samples as a 16-bit stereo PCM WAV file at the soundtrack's
// rate. Returns an empty string or what went wrong.
std::string writeWav(const std::string& path, const std::vector<int16_t>& samples);
