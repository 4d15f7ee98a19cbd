#pragma once

// The video encoder: an ffmpeg process reading raw frames on its standard
// input and the soundtrack on a second pipe, so that it encodes while the
// next frame is drawn.

#include <sys/types.h>

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "options.h"

// The full path of an executable found on PATH, or an empty string.
std::string findOnPath(const std::string& name);

// ffmpeg's arguments (without the program name) for the options' video file:
// raw BGRA frames of the options' size and rate from `videoInput`, raw
// 44.1 kHz 16-bit stereo from `audioInput`, written to `file` in the format of
// the options' output kind whatever the file's name.
std::vector<std::string> ffmpegArguments(const CaptureOptions& options, const std::string& file,
                                         const std::string& videoInput = "pipe:0",
                                         const std::string& audioInput = "pipe:3");

class FfmpegProcess {
  public:
    FfmpegProcess() = default;
    FfmpegProcess(const FfmpegProcess&) = delete;
    FfmpegProcess& operator=(const FfmpegProcess&) = delete;
    // Kills a process that is still running.
    ~FfmpegProcess();

    // Starts the executable with the arguments; an empty string or what failed.
    // It runs in its own process group, so a Ctrl-C at the terminal reaches
    // only the capture, which then stops it.
    std::string start(const std::string& executable, const std::vector<std::string>& arguments);

    // Hand over a frame or a stretch of sound; false when the encoder stopped
    // reading or the capture was interrupted. Sound is kept until ffmpeg takes
    // it, so a frame can go in while the sound waits, and the other way round.
    bool writeVideo(const void* data, size_t bytes);
    bool writeAudio(const std::vector<int16_t>& samples);

    // Closes both inputs and waits for the end; true when ffmpeg exited with 0.
    bool finish();
    // Stops the process at once and waits for it.
    void kill();

    // The last lines ffmpeg wrote on its standard error, joined by newlines.
    std::string lastLines(int count) const;

  private:
    bool pump(const uint8_t* video, size_t videoBytes, bool drainAudio);
    void closeInputs();

    pid_t pid_ = -1;
    int videoFd_ = -1;
    int audioFd_ = -1;
    std::FILE* errors_ = nullptr;
    std::vector<uint8_t> pendingAudio_;  // handed over, not yet taken by ffmpeg
    size_t audioSent_ = 0;
};
