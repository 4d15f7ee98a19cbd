#pragma once

// Whether a recording holds the demo's music: the loop, at its speed, with
// few glitches. The recording is cut into whole seconds from its first sound
// on. The first second that is the music is placed anywhere in the loop; each
// other second is placed again near where its neighbour predicts it (within
// 100 ms, anywhere in the loop if not found there), so that one skip or
// repeat moves the seconds after it without spoiling them. The places drift
// as the speed is off; they step where the stream skips, repeats or pauses.
// Noise or another piece matches nowhere.

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

struct Glitch {
    // skip: the music jumps ahead; repeat: it goes back; gap: the recording
    // holds exact digital silence (a sound server fills in zeros where a
    // player runs dry, which no music does); noise: a stretch that is not the
    // music although the music goes on around it as before.
    enum class Kind { skip, repeat, gap, noise };
    Kind kind;
    double time;  // seconds from the start of the recording
    long frames;  // frames the music moved by (positive ahead), or the gap's length
};

struct MusicMatch {
    // The frame of the loop at which the first second starts; -1 if the
    // recording never rises above silence or is shorter than one second.
    long offset = -1;
    // One normalised correlation per whole second, at the place and speed
    // found for it.
    std::vector<double> correlations;
    bool music = false;  // most seconds are the music somewhere in the loop
    // Loop frames played per frame recorded, from the drift of the places
    // over the run with the glitches' steps taken out: 1 is right.
    double speed = 1.0;
    std::vector<Glitch> glitches;
    size_t dropouts = 0;  // runs of exact digital silence after the first sound

    // Empty if at least `seconds` seconds were recorded and they are the
    // music at its speed (within 0.5 %) with at most 2 glitches a minute or
    // part of one; else the reason.
    std::string failure(size_t seconds) const;
    bool holds(size_t seconds) const { return failure(seconds).empty(); }
    // The verdict's figures, each glitch, and one line per second.
    std::string describe() const;
};

MusicMatch matchLoopedMusic(const StereoSamples& music, const StereoSamples& recording);
