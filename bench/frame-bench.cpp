// One frame pass of the demo's heaviest states on the software renderer -- a
// greeting line, the asteroid field in full flight, the explosion's first
// frame -- each beside the library work that such a frame cannot avoid
// (clear, present, the rotation, upload and copy of both logos and of every
// asteroid, one blended text render and upload, one colour call and one
// filled rectangle per particle). The ratio of the two is what our own code adds.
// Each runs at 1280 x 720, 1920 x 1080 and 3840 x 2160: the same 1080p picture
// drawn at two thirds, one and twice its size.

#include <SDL.h>
#include <SDL2_rotozoom.h>
#include <SDL_image.h>
#include <SDL_ttf.h>
#include <benchmark/benchmark.h>

#include <array>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <memory>
#include <string>

#include "frame-loop.h"
#include "picture.h"
#include "random.h"
#include "script.h"
#include "stage.h"

namespace {

// An output of the given size, the design picture chosen for it, and the
// scale that maps one onto the other (for the library's share).
struct Target {
    SDL_Surface* surface;
    SDL_Renderer* renderer;
    double scale;
    Target(int width, int height) {
        surface = SDL_CreateRGBSurfaceWithFormat(0, width, height, 32, SDL_PIXELFORMAT_ARGB8888);
        renderer = SDL_CreateSoftwareRenderer(surface);
        const PictureSize design = designSizeFor(width, height);
        screenWidth = design.width;
        screenHeight = design.height;
        scale = placePicture(design, width, height).scale;
    }
    ~Target() {
        SDL_DestroyRenderer(renderer);
        SDL_FreeSurface(surface);
    }
};

// A scene driven, with the real script, to the first pass of the given stage.
std::unique_ptr<Scene> sceneAt(SDL_Renderer* renderer, DemoStage stage) {
    running = true;
    seedRandom(1);
    auto scene = buildScene(renderer);
    while (running && demoStage(*scene) != stage) {
        framePass(*scene, renderer, 40.0f);
    }
    return scene;
}

// Rotates and zooms the image, uploads it, copies it centred on design (x, y),
// and releases it: what drawing one spinning logo or one asteroid costs the
// libraries.
void rotateUploadCopy(const Target& target, SDL_Surface* image, double angle, int x, int y) {
    SDL_Renderer* renderer = target.renderer;
    SDL_Surface* rotated = rotozoomSurface(image, angle, target.scale, 1);
    SDL_Texture* texture = SDL_CreateTextureFromSurface(renderer, rotated);
    const int cx = static_cast<int>(x * target.scale);
    const int cy = static_cast<int>(y * target.scale);
    SDL_Rect to{cx - rotated->w / 2, cy - rotated->h / 2, rotated->w, rotated->h};
    SDL_RenderCopy(renderer, texture, nullptr, &to);
    SDL_DestroyTexture(texture);
    SDL_FreeSurface(rotated);
}

void clearAndLogos(const Target& target, double angle) {
    SDL_SetRenderDrawColor(target.renderer, 0, 0, 0, 255);
    SDL_RenderClear(target.renderer);
    rotateUploadCopy(target, loadVimbel(), angle, 100, 100);
    rotateUploadCopy(target, loadVimbel(), -angle, screenWidth - 100, 100);
}

void BM_FrameGreeting(benchmark::State& state) {
    Target target(static_cast<int>(state.range(0)), static_cast<int>(state.range(1)));
    auto scene = sceneAt(target.renderer, DemoStage::Greeting);
    for (auto _ : state) {
        // Keep the line on screen at mid opacity, as during most of its fade.
        auto text = scene->currentText.get();
        text->state = FADING_IN;
        text->alpha = 128.0f;
        framePass(*scene, target.renderer, 16.0f);
    }
}

void BM_LibraryGreeting(benchmark::State& state) {
    Target target(static_cast<int>(state.range(0)), static_cast<int>(state.range(1)));
    TTF_Font* textFont = loadFont(static_cast<int>(96 * target.scale + 0.5));
    double angle = 0.0;
    for (auto _ : state) {
        angle += 3.2;
        clearAndLogos(target, angle);
        SDL_Surface* line = TTF_RenderUTF8_Blended(textFont, "Hej!", SDL_Color{203, 166, 247, 128});
        SDL_Texture* texture = SDL_CreateTextureFromSurface(target.renderer, line);
        SDL_Rect to{target.surface->w / 2 - line->w / 2, target.surface->h / 2 - line->h / 2,
                    line->w, line->h};
        SDL_RenderCopy(target.renderer, texture, nullptr, &to);
        SDL_DestroyTexture(texture);
        SDL_FreeSurface(line);
        SDL_RenderPresent(target.renderer);
    }
}

// Every asteroid of the field on screen, as in the middle of its flight.
void BM_FrameAsteroids(benchmark::State& state) {
    Target target(static_cast<int>(state.range(0)), static_cast<int>(state.range(1)));
    auto scene = sceneAt(target.renderer, DemoStage::Asteroids);
    auto field = scene->asteroidField.get();
    for (auto _ : state) {
        for (size_t i = 0; i < field->asteroids.size(); ++i) {
            field->asteroids[i].y = static_cast<float>(100 + (i * 97) % (screenHeight - 200));
        }
        framePass(*scene, target.renderer, 16.0f);
    }
    state.counters["asteroids"] = static_cast<double>(field->asteroids.size());
}

void BM_LibraryAsteroids(benchmark::State& state) {
    Target target(static_cast<int>(state.range(0)), static_cast<int>(state.range(1)));
    const int count = (screenWidth - 528) / 64;
    double angle = 0.0;
    for (auto _ : state) {
        angle += 3.2;
        clearAndLogos(target, angle);
        int drawn = 0;
        for (int i = 0; i < count; ++i) {
            const int column = 264 + 64 * i;
            if (column >= screenWidth / 2 - 64 && column <= screenWidth / 2 + 64) {
                continue;
            }
            const int y = 100 + (drawn++ * 97) % (screenHeight - 200);
            rotateUploadCopy(target, loadAsteroid(), 17.0 * i, column, y);
        }
        SDL_RenderPresent(target.renderer);
    }
}

// All 1750 explosion particles alive, as in the explosion's first frame.
void BM_FrameExplosion(benchmark::State& state) {
    Target target(static_cast<int>(state.range(0)), static_cast<int>(state.range(1)));
    auto scene = sceneAt(target.renderer, DemoStage::Explosion);
    auto explosion = scene->rymdskeppExplosion.get();
    for (auto _ : state) {
        for (auto* set : {&explosion->whiteParticles, &explosion->yellowParticles,
                          &explosion->orangeParticles}) {
            for (Particle& particle : *set) {
                particle.Reset();
            }
        }
        framePass(*scene, target.renderer, 16.0f);
    }
}

void BM_LibraryExplosion(benchmark::State& state) {
    Target target(static_cast<int>(state.range(0)), static_cast<int>(state.range(1)));
    double angle = 0.0;
    for (auto _ : state) {
        angle += 3.2;
        clearAndLogos(target, angle);
        const int side = static_cast<int>(8 * target.scale + 0.5);
        for (int i = 0; i < 1750; ++i) {
            const SDL_Rect square{target.surface->w / 2 - 16 + i % 32,
                                  target.surface->h / 2 - 16 + i / 64, side, side};
            SDL_SetRenderDrawColor(target.renderer, 255, static_cast<uint8_t>(160 + i % 96), 40,
                                   255);
            SDL_RenderFillRect(target.renderer, &square);
        }
        SDL_RenderPresent(target.renderer);
    }
}

#define VIMBEL_STATE_BENCHMARK(name) \
    BENCHMARK(name)                  \
        ->Args({1280, 720})          \
        ->Args({1920, 1080})         \
        ->Args({3840, 2160})         \
        ->Unit(benchmark::kMillisecond)
VIMBEL_STATE_BENCHMARK(BM_FrameGreeting);
VIMBEL_STATE_BENCHMARK(BM_LibraryGreeting);
VIMBEL_STATE_BENCHMARK(BM_FrameAsteroids);
VIMBEL_STATE_BENCHMARK(BM_LibraryAsteroids);
VIMBEL_STATE_BENCHMARK(BM_FrameExplosion);
VIMBEL_STATE_BENCHMARK(BM_LibraryExplosion);

// Prints the usual table, then frame cost / library cost per screen size.
class RatioReporter : public benchmark::ConsoleReporter {
  public:
    void ReportRuns(const std::vector<Run>& runs) override {
        ConsoleReporter::ReportRuns(runs);
        for (const auto& run : runs) {
            // Single runs, or the medians when repetitions are asked for.
            const bool median = run.run_type == Run::RT_Aggregate && run.aggregate_name == "median";
            if ((run.run_type != Run::RT_Iteration && !median) || run.error_occurred) {
                continue;
            }
            // BM_Frame<State>/<w>/<h> or BM_Library<State>/<w>/<h>.
            const std::string name = run.run_name.str();
            const auto slash = name.find('/');
            const std::string kind = name.substr(0, slash);
            const bool frame = kind.rfind("BM_Frame", 0) == 0;
            const std::string stage = kind.substr(frame ? 8 : 10);
            times_[stage + " at " + name.substr(slash + 1)][frame ? 0 : 1] =
                run.GetAdjustedRealTime();
        }
    }
    void Finalize() override {
        ConsoleReporter::Finalize();
        for (const auto& [where, pair] : times_) {
            if (pair[0] > 0.0 && pair[1] > 0.0) {
                std::printf("%s: frame %.3f ms / unavoidable library work %.3f ms = %.3f\n",
                            where.c_str(), pair[0], pair[1], pair[0] / pair[1]);
            }
        }
    }

  private:
    std::map<std::string, std::array<double, 2>> times_;
};

}  // namespace

int main(int argc, char** argv) {
    setenv("SDL_VIDEODRIVER", "dummy", 1);
    setenv("SDL_AUDIODRIVER", "dummy", 1);
    SDL_Init(SDL_INIT_VIDEO | SDL_INIT_TIMER);
    IMG_Init(IMG_INIT_PNG);
    TTF_Init();
    benchmark::Initialize(&argc, argv);
    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();
    releaseLoaders();
    TTF_Quit();
    IMG_Quit();
    SDL_Quit();
    return 0;
}
