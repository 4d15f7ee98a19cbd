#include "encoder.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "interrupt.h"
#include "soundtrack.h"

namespace {

// Room for a few frames in the pipe lets the encoder's reader run ahead of
// its encoding threads.
constexpr int videoPipeBytes = 1 << 20;

// Moves `fd` to `target` in the child; the copy stays open across exec.
void placeFd(int fd, int target) {
    if (fd == target) {
        fcntl(fd, F_SETFD, 0);
    } else {
        dup2(fd, target);
    }
}

}  // namespace

std::string findOnPath(const std::string& name) {
    const auto isExecutable = [](const std::string& path) {
        struct stat info {};
        return stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode) &&
               access(path.c_str(), X_OK) == 0;
    };
    if (name.find('/') != std::string::npos) {
        return isExecutable(name) ? name : std::string();
    }
    const char* path = std::getenv("PATH");
    std::string directories = path ? path : "/usr/local/bin:/usr/bin:/bin";
    size_t start = 0;
    for (;;) {
        const size_t colon = directories.find(':', start);
        std::string directory = directories.substr(start, colon - start);
        const std::string candidate = (directory.empty() ? "." : directory) + "/" + name;
        if (isExecutable(candidate)) {
            return candidate;
        }
        if (colon == std::string::npos) {
            return {};
        }
        start = colon + 1;
    }
}

std::vector<std::string> ffmpegArguments(const CaptureOptions& options, const std::string& file,
                                         const std::string& videoInput,
                                         const std::string& audioInput) {
    const std::string size = std::to_string(options.width) + "x" + std::to_string(options.height);
    const std::string crf = std::to_string(options.crf.value_or(defaultCrf(options.kind)));
    const std::string preset = options.preset.value_or(defaultPreset(options.kind));
    std::vector<std::string> arguments = {
        "-hide_banner", "-nostdin", "-loglevel", "error", "-y",
        // The frames: the surface's pixels as they lie in memory. Both inputs
        // are fully described, so ffmpeg need not read ahead to study them
        // (it opens them one after the other, and reading far ahead in one
        // would wait for data that follows what the other one waits for).
        "-f", "rawvideo", "-probesize", "32", "-analyzeduration", "0", "-pixel_format", "bgra",
        "-video_size", size, "-framerate", std::to_string(options.fps), "-thread_queue_size", "16",
        "-i", videoInput,
        // The soundtrack, a frame's worth at a time.
        "-f", "s16le", "-probesize", "32", "-analyzeduration", "0", "-sample_rate",
        std::to_string(soundtrackRate), "-channels", std::to_string(soundtrackChannels),
        "-thread_queue_size", "1024", "-i", audioInput, "-map", "0:v:0", "-map", "1:a:0",
        "-pix_fmt", "yuv420p"};
    if (options.kind == OutputKind::Webm) {
        arguments.insert(arguments.end(), {"-c:v", "libvpx-vp9", "-crf", crf, "-b:v", "0",
                                           "-deadline", preset, "-cpu-used", "4", "-row-mt", "1",
                                           "-c:a", "libopus", "-b:a", "160k", "-f", "webm"});
    } else {
        arguments.insert(arguments.end(), {"-c:v", "libx264", "-preset", preset, "-crf", crf,
                                           "-c:a", "aac", "-b:a", "192k"});
        if (options.kind == OutputKind::Mp4) {
            // The index goes first, so that players can start before the end arrives.
            arguments.insert(arguments.end(), {"-movflags", "+faststart", "-f", "mp4"});
        } else {
            arguments.insert(arguments.end(), {"-f", "matroska"});
        }
    }
    arguments.push_back(file);
    return arguments;
}

FfmpegProcess::~FfmpegProcess() {
    kill();
    if (errors_) {
        std::fclose(errors_);
    }
}

std::string FfmpegProcess::start(const std::string& executable,
                                 const std::vector<std::string>& arguments) {
    errors_ = std::tmpfile();
    if (!errors_) {
        return std::string("cannot make a file for ffmpeg's messages: ") + std::strerror(errno);
    }
    int video[2];
    int audio[2];
    if (pipe2(video, O_CLOEXEC) != 0) {
        return std::string("cannot make a pipe: ") + std::strerror(errno);
    }
    if (pipe2(audio, O_CLOEXEC) != 0) {
        const int error = errno;
        close(video[0]);
        close(video[1]);
        return std::string("cannot make a pipe: ") + std::strerror(error);
    }
    fcntl(video[1], F_SETPIPE_SZ, videoPipeBytes);

    std::vector<std::string> strings = {executable};
    strings.insert(strings.end(), arguments.begin(), arguments.end());
    std::vector<char*> argv;
    for (auto& s : strings) {
        argv.push_back(s.data());
    }
    argv.push_back(nullptr);
    const int errorFd = fileno(errors_);

    const pid_t pid = fork();
    if (pid == 0) {
        setpgid(0, 0);
        placeFd(errorFd, STDERR_FILENO);
        placeFd(video[0], STDIN_FILENO);
        placeFd(audio[0], 3);
        const int devNull = open("/dev/null", O_WRONLY);
        if (devNull >= 0) {
            dup2(devNull, STDOUT_FILENO);
        }
        execv(executable.c_str(), argv.data());
        const char* message = "cannot start ffmpeg\n";
        ssize_t ignored = ::write(STDERR_FILENO, message, std::strlen(message));
        (void)ignored;
        _exit(127);
    }
    const int forkError = errno;
    close(video[0]);
    close(audio[0]);
    if (pid < 0) {
        close(video[1]);
        close(audio[1]);
        return std::string("cannot start ffmpeg: ") + std::strerror(forkError);
    }
    pid_ = pid;
    videoFd_ = video[1];
    audioFd_ = audio[1];
    fcntl(videoFd_, F_SETFL, O_NONBLOCK);
    fcntl(audioFd_, F_SETFL, O_NONBLOCK);
    return {};
}

bool FfmpegProcess::writeVideo(const void* data, size_t bytes) {
    return pump(static_cast<const uint8_t*>(data), bytes, false);
}

bool FfmpegProcess::writeAudio(const std::vector<int16_t>& samples) {
    const auto* bytes = reinterpret_cast<const uint8_t*>(samples.data());
    pendingAudio_.insert(pendingAudio_.end(), bytes, bytes + samples.size() * sizeof(int16_t));
    return pump(nullptr, 0, false);
}

// Both inputs are non-blocking: whichever ffmpeg reads next gets served, so
// it never waits for sound while the capture waits to hand it a frame.
bool FfmpegProcess::pump(const uint8_t* video, size_t videoBytes, bool drainAudio) {
    for (;;) {
        if (interruptSignal() != 0 || (videoFd_ < 0 && videoBytes > 0)) {
            return false;
        }
        bool progressed = false;
        if (videoBytes > 0) {
            const ssize_t written = ::write(videoFd_, video, videoBytes);
            if (written < 0 && errno != EAGAIN && errno != EINTR) {
                return false;
            }
            if (written > 0) {
                video += written;
                videoBytes -= static_cast<size_t>(written);
                progressed = true;
            }
        }
        if (audioSent_ < pendingAudio_.size()) {
            const ssize_t written = ::write(audioFd_, pendingAudio_.data() + audioSent_,
                                            pendingAudio_.size() - audioSent_);
            if (written < 0 && errno != EAGAIN && errno != EINTR) {
                return false;
            }
            if (written > 0) {
                audioSent_ += static_cast<size_t>(written);
                progressed = true;
            }
            if (audioSent_ == pendingAudio_.size()) {
                pendingAudio_.clear();
                audioSent_ = 0;
            }
        }
        const bool audioLeft = audioSent_ < pendingAudio_.size();
        if (videoBytes == 0 && (!drainAudio || !audioLeft)) {
            return true;
        }
        if (progressed) {
            continue;
        }
        pollfd fds[2] = {{videoFd_, static_cast<short>(videoBytes > 0 ? POLLOUT : 0), 0},
                         {audioFd_, static_cast<short>(audioLeft ? POLLOUT : 0), 0}};
        if (poll(fds, 2, -1) < 0 && errno != EINTR) {
            return false;
        }
        if ((fds[0].revents | fds[1].revents) & (POLLERR | POLLNVAL)) {
            return false;
        }
    }
}

void FfmpegProcess::closeInputs() {
    for (int* fd : {&videoFd_, &audioFd_}) {
        if (*fd >= 0) {
            close(*fd);
            *fd = -1;
        }
    }
}

bool FfmpegProcess::finish() {
    // The last frame is in; the rest of the sound follows before the end.
    if (videoFd_ >= 0) {
        close(videoFd_);
        videoFd_ = -1;
    }
    const bool delivered = audioFd_ >= 0 && pump(nullptr, 0, true);
    closeInputs();
    if (pid_ < 0) {
        return false;
    }
    int status = 0;
    while (waitpid(pid_, &status, 0) < 0) {
        if (errno != EINTR) {
            pid_ = -1;
            return false;
        }
        if (interruptSignal() != 0) {
            kill();
            return false;
        }
    }
    pid_ = -1;
    return delivered && WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

void FfmpegProcess::kill() {
    closeInputs();
    if (pid_ > 0) {
        ::kill(pid_, SIGKILL);
        int status = 0;
        while (waitpid(pid_, &status, 0) < 0 && errno == EINTR) {
        }
        pid_ = -1;
    }
}

std::string FfmpegProcess::lastLines(int count) const {
    if (!errors_) {
        return {};
    }
    std::fflush(errors_);
    std::rewind(errors_);
    std::vector<std::string> lines;
    std::string line;
    int c;
    while ((c = std::fgetc(errors_)) != EOF) {
        if (c == '\n' || c == '\r') {
            if (!line.empty()) {
                lines.push_back(line);
            }
            line.clear();
        } else {
            line += static_cast<char>(c);
        }
    }
    if (!line.empty()) {
        lines.push_back(line);
    }
    std::string text;
    const size_t first = lines.size() > static_cast<size_t>(count) ? lines.size() - count : 0;
    for (size_t i = first; i < lines.size(); ++i) {
        text += (text.empty() ? "" : "\n") + lines[i];
    }
    return text;
}
