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
// How far the speed may be off, as a share of the right one.
inline constexpr double speedTolerance = 0.005;
// Glitches allowed per minute of recording, or part of one: 2 in anything up
// to a minute (a five-second recording may hold two underruns), 4 up to two.
inline constexpr size_t glitchesPerMinute = 2;

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
    // Seconds from the start of the recording.
    double time;
    // Frames the music moved by (positive ahead), or the gap's length.
    long frames;
};

struct MusicMatch {
    // The frame of the loop at which the first second starts; -1 if the
    // recording never rises above silence or is shorter than one second.
    long offset = -1;
    // One normalised correlation per whole second of recording, in order, at
    // the place and speed found for it.
    std::vector<double> correlations;
    // Most seconds are the music somewhere in the loop.
    bool music = false;
    // Loop frames played per frame recorded, from the drift of the places
    // over the run with the glitches' steps taken out: 1 is right.
    double speed = 1.0;
    std::vector<Glitch> glitches;
    // Runs of exact digital silence after the first sound.
    size_t dropouts = 0;

    // Empty if at least `seconds` seconds were recorded and they are the
    // music at its speed with no more glitches than allowed; else the reason.
    std::string failure(size_t seconds) const;
    bool holds(size_t seconds) const { return failure(seconds).empty(); }
    // The verdict's figures, each glitch, and one line per second.
    std::string describe() const;
};

// Glitches allowed in a recording of so many seconds.
size_t allowedGlitches(size_t seconds);

MusicMatch matchLoopedMusic(const StereoSamples& music, const StereoSamples& recording);
