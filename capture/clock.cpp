#include "clock.h"

int64_t frameTime(int64_t frame, int32_t fps) {
    return frame * 1000 / fps;
}

float frameDelta(int64_t frame, int32_t fps) {
    if (frame <= 0) {
        return 0.0f;
    }
    // The live loop reads 32-bit ticks and converts their difference.
    const auto current = static_cast<uint32_t>(frameTime(frame, fps));
    const auto previous = static_cast<uint32_t>(frameTime(frame - 1, fps));
    return static_cast<float>(current - previous);
}

int64_t frameAt(int64_t milliseconds, int32_t fps) {
    // floor(n * 1000 / fps) <= t  <=>  n * 1000 < (t + 1) * fps
    return ((milliseconds + 1) * fps - 1) / 1000;
}

int64_t framesBefore(int64_t milliseconds, int32_t fps) {
    // floor(n * 1000 / fps) < t  <=>  n * 1000 < t * fps
    return milliseconds <= 0 ? 0 : (milliseconds * fps + 999) / 1000;
}

int64_t samplesForFrames(int64_t frames, int32_t fps, int32_t sampleRate) {
    return (frames * sampleRate * 2 + fps) / (2 * static_cast<int64_t>(fps));
}
