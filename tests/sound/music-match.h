#pragma once

// Whether a recording holds the demo's music: the loop, at the right speed,
// without gaps. The recording's first whole second after its silent start is
// placed in the loop (coarsely on a decimated signal, then to the frame at the
// full rate); every following second must then correlate with the music where
// that placement says it is, give or take a few frames. A wrong speed smears
// every second against the music, a gap shifts what follows, noise or another
// piece matches nowhere.

#include <cstddef>
#include <string>
#include <vector>

// Interleaved stereo samples at 44100 Hz, full scale ±1.
using StereoSamples = std::vector<float>;

inline constexpr int matchRate = 44100;
// Normalised correlation above which a second of recording is the music.
inline constexpr double matchThreshold = 0.9;

// A WAV file converted to 44100 Hz stereo; empty if it cannot be read, with
// the reason in `error`.
StereoSamples loadWav(const std::string& path, std::string& error);

// Raw signed 16-bit little-endian stereo, as a sound server records it.
StereoSamples fromS16le(const std::string& bytes);

struct MusicMatch {
    // The frame of the loop at which the first stretch starts; -1 if the
    // recording never rises above silence or is shorter than one stretch.
    long offset = -1;
    // One normalised correlation per whole second of recording, in order.
    std::vector<double> correlations;
    // Runs of exact digital silence after the first sound: a sound server
    // fills in zeros where a player runs dry, which no music does. A failed
    // match with dropouts may be a starved machine rather than wrong music.
    size_t dropouts = 0;

    // At least `stretches` seconds, each of them above the threshold.
    bool holds(size_t stretches) const;
    // One line per second, for a failure message or a log.
    std::string describe() const;
};

MusicMatch matchLoopedMusic(const StereoSamples& music, const StereoSamples& recording);
