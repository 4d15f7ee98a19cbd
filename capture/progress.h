#pragma once

// What the person at the terminal sees while a capture runs: a progress line
// on standard error, redrawn in place on a terminal and written now and then
// otherwise, and the summary at the end.

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <string>

class Progress {
  public:
    // `stages` is the number of the script's stages; the bar is full when the
    // last one is reached.
    Progress(std::FILE* out, bool terminal, int32_t fps, int stages);
    Progress(const Progress&) = delete;
    Progress& operator=(const Progress&) = delete;
    ~Progress() { finishLine(); }

    // After each frame: how many frames are done, the demo time of the last
    // one, and the index and name of the script's stage it showed.
    void update(int64_t frames, int64_t demoTime, int stage, const char* stageName);
    // Ends the progress line, so that what follows starts on a line of its own.
    void finishLine();

    double wallSeconds() const;

    // The progress line itself, for the given figures.
    std::string line(int64_t frames, int64_t demoTime, double wallSeconds, int stage,
                     const char* stageName) const;

  private:
    using Clock = std::chrono::steady_clock;
    std::FILE* out_;
    bool terminal_;
    int32_t fps_;
    int stages_;
    Clock::time_point start_;
    Clock::time_point lastShown_;
    bool shown_ = false;
    size_t lastLength_ = 0;
};

// "12.3 MB", "640 kB", "512 bytes"
std::string formatBytes(int64_t bytes);
