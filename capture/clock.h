#pragma once

// The capture's virtual clock: frame n shows the demo at a fixed instant, so
// every run takes the same steps whatever the machine's speed.

#include <cstdint>

// The demo time of frame n in whole milliseconds: floor(n * 1000 / fps).
int64_t frameTime(int64_t frame, int32_t fps);

// The deltaTime frame n's update gets: the whole milliseconds since the
// previous frame's time, 0 for the first frame.
float frameDelta(int64_t frame, int32_t fps);

// The frame on screen at the given demo time: the last one whose time is at
// or before it.
int64_t frameAt(int64_t milliseconds, int32_t fps);

// How many frames lie before the given demo time (the length of a capture cut
// there): every frame whose time is earlier.
int64_t framesBefore(int64_t milliseconds, int32_t fps);

// The audio sample frames (at the given rate) that make up the first `frames`
// video frames: frames / fps seconds, rounded to the nearest sample.
int64_t samplesForFrames(int64_t frames, int32_t fps, int32_t sampleRate);
