#include "capture.h"

#include <SDL.h>
#include <SDL_image.h>
#include <unistd.h>

#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "clock.h"
#include "encoder.h"
#include "fatal.h"
#include "handles.h"
#include "interrupt.h"
#include "options.h"
#include "outputs.h"
#include "progress.h"
#include "session.h"
#include "soundtrack.h"
#include "stage.h"

namespace {

constexpr int exitFailure = 2;
constexpr int ffmpegLinesShown = 8;
constexpr int stageCount = static_cast<int>(DemoStage::Ended) + 1;

// A failure that ends the capture: its message, reported with the tool's name.
struct CaptureError {
    std::string message;
};

[[noreturn]] void fail(std::string message) {
    throw CaptureError{std::move(message)};
}

void report(const std::string& message) {
    std::fprintf(stderr, "vimbel-capture: %s\n", message.c_str());
}

// Frames are written as opaque RGB PNG files through one reused surface.
class PngWriter {
  public:
    PngWriter(int width, int height)
        : rgb_(SDL_CreateRGBSurfaceWithFormat(0, width, height, 24, SDL_PIXELFORMAT_RGB24)) {
        if (!rgb_) {
            fail(std::string("cannot make a surface: ") + SDL_GetError());
        }
    }
    void write(SDL_Surface* frame, const std::string& path) {
        // A copy, not a blend: what text blending left in the frame's alpha
        // channel must not mix in the previous frame.
        SDL_SetSurfaceBlendMode(frame, SDL_BLENDMODE_NONE);
        if (SDL_BlitSurface(frame, nullptr, rgb_.get(), nullptr) != 0 ||
            IMG_SavePNG(rgb_.get(), path.c_str()) != 0) {
            fail("cannot write " + path + ": " + SDL_GetError());
        }
    }

  private:
    SurfacePtr rgb_;
};

struct StageStart {
    const char* name;
    int64_t time = -1;  // demo time of the first frame showing it, -1: never
};

// Everything one capture holds, in the order it is given up: the encoder
// goes before the staged outputs it writes are removed.
class Capture {
  public:
    explicit Capture(const CaptureOptions& options) : options_(options) {}

    int run();

  private:
    void prepareOutputs();
    void renderFrames();
    void writeFrames(DemoSession& session);
    void finishOutputs();
    void printSummary() const;

    const CaptureOptions& options_;
    std::vector<StagedOutput> shots_;
    std::unique_ptr<StagedOutput> output_;
    std::unique_ptr<FfmpegProcess> encoder_;
    std::string ffmpegPath_;
    std::vector<int16_t> loop_;
    int64_t frames_ = 0;
    int64_t frame_ = 0;  // the frame being drawn: the virtual clock's reading
    std::vector<bool> shotWritten_;
    std::vector<StageStart> stages_;
    double wallSeconds_ = 0;
};

void Capture::prepareOutputs() {
    if (isVideo(options_.kind)) {
        ffmpegPath_ = findOnPath("ffmpeg");
        if (ffmpegPath_.empty()) {
            fail(
                "ffmpeg was not found on the PATH. It encodes .mp4, .mkv and .webm files and "
                "comes with Debian's ffmpeg package (apt-get install ffmpeg); a directory as "
                "OUTPUT needs no encoder.");
        }
    }
    std::vector<std::string> names;
    for (const Screenshot& shot : options_.screenshots) {
        names.push_back(shot.path);
    }
    if (!options_.output.empty()) {
        names.push_back(options_.output);
    }
    for (size_t i = 0; i < names.size(); ++i) {
        for (size_t j = 0; j < i; ++j) {
            if (sameOutput(names[i], names[j])) {
                fail(names[i] + " is named twice as an output");
            }
        }
        const bool directory = i == options_.screenshots.size() && !isVideo(options_.kind);
        const std::string problem = checkTarget(names[i], directory, options_.force);
        if (!problem.empty()) {
            fail(problem);
        }
    }
    // Making the hidden files now proves every directory writable before
    // anything is drawn.
    for (const Screenshot& shot : options_.screenshots) {
        shots_.emplace_back(shot.path, false);
        if (std::string problem = shots_.back().create(); !problem.empty()) {
            fail(problem);
        }
    }
    shotWritten_.assign(options_.screenshots.size(), false);
    if (!options_.output.empty()) {
        output_ = std::make_unique<StagedOutput>(options_.output, !isVideo(options_.kind));
        if (std::string problem = output_->create(); !problem.empty()) {
            fail(problem);
        }
    }
}

void Capture::renderFrames() {
    SurfacePtr surface(SDL_CreateRGBSurfaceWithFormat(0, options_.width, options_.height, 32,
                                                      SDL_PIXELFORMAT_ARGB8888));
    if (!surface) {
        fail(std::string("cannot make a surface of that size: ") + SDL_GetError());
    }
    loop_ = decodeMusicLoop();
    if (isVideo(options_.kind)) {
        encoder_ = std::make_unique<FfmpegProcess>();
        const std::string problem =
            encoder_->start(ffmpegPath_, ffmpegArguments(options_, output_->stagedPath()));
        if (!problem.empty()) {
            fail(problem);
        }
    }

    // The story is laid out on the design picture for the output's shape and
    // drawn into the surface at the output's size, each frame at its fixed
    // demo time. An interrupt ends the loop as a quit request ends the demo's.
    frame_ = 0;
    SessionSettings settings;
    settings.target = std::move(surface);
    settings.seed = options_.seed;
    settings.ticks = [this] { return static_cast<uint32_t>(frameTime(frame_, options_.fps)); };
    settings.events = [] {
        if (interruptSignal() != 0) {
            running = false;
        }
    };
    auto session = startSession(std::move(settings));
    try {
        writeFrames(*session);
    } catch (...) {
        stopDemo(std::move(session));
        throw;
    }
    stopDemo(std::move(session));
}

void Capture::writeFrames(DemoSession& session) {
    // The frame after which the capture stops, whatever the script does.
    int64_t lastFrame = INT64_MAX;
    if (options_.until) {
        lastFrame = framesBefore(*options_.until, options_.fps) - 1;
    }
    if (options_.output.empty()) {
        lastFrame = 0;
        for (const Screenshot& shot : options_.screenshots) {
            lastFrame = std::max(lastFrame, frameAt(shot.time, options_.fps));
        }
    }
    stages_.clear();
    for (int i = 0; i < stageCount; ++i) {
        stages_.push_back({demoStageName(static_cast<DemoStage>(i))});
    }
    SDL_Surface* surface = session.target.get();
    const size_t frameBytes = static_cast<size_t>(surface->pitch) * options_.height;
    PngWriter png(options_.width, options_.height);
    LoopedSound sound(loop_);
    std::vector<int16_t> chunk;
    Progress progress(stderr, isatty(STDERR_FILENO) != 0, options_.fps, stageCount);

    // Writes the frame just drawn; false ends the capture.
    const auto writeFrame = [&]() -> bool {
        if (interruptSignal() != 0) {
            return false;
        }
        const int64_t n = frame_;
        const int64_t time = frameTime(n, options_.fps);
        const int stage = static_cast<int>(demoStage(*session.scene));
        if (stages_[stage].time < 0) {
            stages_[stage].time = time;
        }
        if (encoder_) {
            chunk.clear();
            sound.next(samplesForFrames(n + 1, options_.fps, soundtrackRate) -
                           samplesForFrames(n, options_.fps, soundtrackRate),
                       chunk);
            if (!encoder_->writeAudio(chunk) ||
                !encoder_->writeVideo(surface->pixels, frameBytes)) {
                if (interruptSignal() != 0) {
                    return false;
                }
                encoder_->finish();
                fail("ffmpeg stopped before the end of the capture:\n" +
                     encoder_->lastLines(ffmpegLinesShown));
            }
        } else if (output_) {
            png.write(surface, output_->stagedPath() + "/" + frameFileName(n));
        }
        for (size_t i = 0; i < options_.screenshots.size(); ++i) {
            if (frameAt(options_.screenshots[i].time, options_.fps) == n) {
                png.write(surface, shots_[i].stagedPath());
                shotWritten_[i] = true;
            }
        }
        frames_ = n + 1;
        progress.update(frames_, time, stage, stages_[stage].name);
        frame_ = n + 1;
        return n < lastFrame;
    };
    session.loop->run(writeFrame);
    progress.finishLine();
    wallSeconds_ = progress.wallSeconds();
}

void Capture::finishOutputs() {
    for (size_t i = 0; i < options_.screenshots.size(); ++i) {
        if (!shotWritten_[i]) {
            fail("the demo ended at " + formatSeconds(frameTime(frames_ - 1, options_.fps)) +
                 " s, before the screenshot at " + formatSeconds(options_.screenshots[i].time) +
                 " s; nothing was written");
        }
    }
    if (encoder_ && !encoder_->finish()) {
        if (interruptSignal() != 0) {
            return;
        }
        fail("ffmpeg failed:\n" + encoder_->lastLines(ffmpegLinesShown));
    }
    if (output_ && !isVideo(options_.kind)) {
        const auto samples =
            makeSoundtrack(loop_, samplesForFrames(frames_, options_.fps, soundtrackRate));
        const std::string path = output_->stagedPath() + "/" + soundtrackFileName;
        if (std::string problem = writeWav(path, samples); !problem.empty()) {
            fail("cannot write " + options_.output + "/" + soundtrackFileName + ": " + problem);
        }
    }
    if (interruptSignal() != 0) {
        return;
    }
    for (StagedOutput& shot : shots_) {
        if (std::string problem = shot.commit(); !problem.empty()) {
            fail(problem);
        }
    }
    if (output_) {
        if (std::string problem = output_->commit(); !problem.empty()) {
            fail(problem);
        }
    }
}

void Capture::printSummary() const {
    const double duration = static_cast<double>(frames_) / options_.fps;
    char figures[160];
    std::snprintf(figures, sizeof figures,
                  "%lld frames at %d fps, %.3f s of the demo in %.1f s (%.2fx real time)",
                  static_cast<long long>(frames_), options_.fps, duration, wallSeconds_,
                  wallSeconds_ > 0 ? duration / wallSeconds_ : 0.0);
    std::string written;
    if (output_) {
        written = output_->finalPath() + " (" + formatBytes(output_->byteSize()) + ")";
    }
    for (const StagedOutput& shot : shots_) {
        written += (written.empty() ? "" : ", ") + shot.finalPath();
    }
    std::fprintf(stderr, "vimbel-capture: wrote %s: %s\n", written.c_str(), figures);
    std::string stages;
    for (const StageStart& stage : stages_) {
        if (stage.time >= 0) {
            stages += std::string(stages.empty() ? "" : ", ") + stage.name + " " +
                      formatSeconds(stage.time) + " s";
        }
    }
    std::fprintf(stderr, "vimbel-capture: stages began at: %s\n", stages.c_str());
}

int Capture::run() {
    try {
        prepareOutputs();
        renderFrames();
        if (interruptSignal() == 0) {
            finishOutputs();
        }
    } catch (const CaptureError& error) {
        encoder_.reset();
        report(error.message);
        return exitFailure;
    } catch (const FatalError& error) {
        encoder_.reset();
        report(error.context().empty() ? error.what() : error.context() + ": " + error.what());
        return exitFailure;
    }
    if (const int signal = interruptSignal(); signal != 0) {
        encoder_.reset();
        report("interrupted; nothing was written");
        return 128 + signal;
    }
    printSummary();
    return 0;
}

}  // namespace

int captureMain(int argc, char** argv) {
    const ParsedOptions parsed =
        parseCaptureOptions(std::vector<std::string>(argv + 1, argv + argc));
    if (!parsed.ok()) {
        report(parsed.error);
        return exitFailure;
    }
    if (parsed.options.help || parsed.options.version) {
        std::fputs(parsed.options.help ? captureHelp().c_str() : captureVersion(), stdout);
        return 0;
    }
    catchInterrupts();
    return Capture(parsed.options).run();
}
