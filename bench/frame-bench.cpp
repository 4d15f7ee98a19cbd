// One frame pass of the greeting scene on the software renderer, beside the
// library work that such a frame cannot avoid (clear, the two logo rotations
// and uploads, one 96-point blended text render and upload, present). The
// ratio of the two is what our own code adds.

#include <SDL.h>
#include <SDL2_rotozoom.h>
#include <SDL_image.h>
#include <SDL_ttf.h>
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <map>
#include <memory>
#include <string>

#include "globals.h"
#include "main.h"
#include "random.h"

namespace {

struct Target {
    SDL_Surface* surface;
    SDL_Renderer* renderer;
    Target(int width, int height) {
        surface = SDL_CreateRGBSurfaceWithFormat(0, width, height, 32, SDL_PIXELFORMAT_ARGB8888);
        renderer = SDL_CreateSoftwareRenderer(surface);
        screenWidth = width;
        screenHeight = height;
    }
    ~Target() {
        SDL_DestroyRenderer(renderer);
        SDL_FreeSurface(surface);
    }
};

void BM_FramePass(benchmark::State& state) {
    Target target(static_cast<int>(state.range(0)), static_cast<int>(state.range(1)));
    seedRandom(1);
    auto scene = buildScene(target.renderer);
    for (auto _ : state) {
        // Keep the line on screen at mid opacity, as during most of its fade.
        auto text = scene->currentText.get();
        text->state = FADING_IN;
        text->alpha = 128.0f;
        framePass(*scene, target.renderer, 16.0f);
    }
}

void BM_LibraryWork(benchmark::State& state) {
    Target target(static_cast<int>(state.range(0)), static_cast<int>(state.range(1)));
    SDL_Surface* logo = loadVimbel();
    TTF_Font* textFont = loadFont();
    double angle = 0.0;
    const auto rotateAndUpload = [&](double degrees, int x) {
        SDL_Surface* rotated = rotozoomSurface(logo, degrees, 1.0, 1);
        SDL_Texture* texture = SDL_CreateTextureFromSurface(target.renderer, rotated);
        SDL_Rect to{x, 10, rotated->w, rotated->h};
        SDL_RenderCopy(target.renderer, texture, nullptr, &to);
        SDL_DestroyTexture(texture);
        SDL_FreeSurface(rotated);
    };
    for (auto _ : state) {
        angle += 3.2;
        SDL_SetRenderDrawColor(target.renderer, 0, 0, 0, 255);
        SDL_RenderClear(target.renderer);
        rotateAndUpload(angle, 10);
        rotateAndUpload(-angle, screenWidth - 200);
        SDL_Surface* line = TTF_RenderUTF8_Blended(textFont, "Hej!", SDL_Color{203, 166, 247, 128});
        SDL_Texture* texture = SDL_CreateTextureFromSurface(target.renderer, line);
        SDL_Rect to{screenWidth / 2 - line->w / 2, screenHeight / 2 - line->h / 2, line->w,
                    line->h};
        SDL_RenderCopy(target.renderer, texture, nullptr, &to);
        SDL_DestroyTexture(texture);
        SDL_FreeSurface(line);
        SDL_RenderPresent(target.renderer);
    }
}

BENCHMARK(BM_FramePass)->Args({1280, 720})->Args({1920, 1080})->Unit(benchmark::kMillisecond);
BENCHMARK(BM_LibraryWork)->Args({1280, 720})->Args({1920, 1080})->Unit(benchmark::kMillisecond);

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
            const std::string name = run.run_name.str();
            const auto slash = name.find('/');
            times_[name.substr(slash + 1)][name.substr(0, slash)] = run.GetAdjustedRealTime();
        }
    }
    void Finalize() override {
        ConsoleReporter::Finalize();
        for (const auto& [size, byName] : times_) {
            const auto frame = byName.find("BM_FramePass");
            const auto library = byName.find("BM_LibraryWork");
            if (frame != byName.end() && library != byName.end()) {
                std::printf("frame / unavoidable library work at %s: %.3f\n", size.c_str(),
                            frame->second / library->second);
            }
        }
    }

  private:
    std::map<std::string, std::map<std::string, double>> times_;
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
    TTF_Quit();
    IMG_Quit();
    SDL_Quit();
    return 0;
}
