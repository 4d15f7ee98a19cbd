// The frame loop in-process, in every stage of the story: a quit request, a
// ten-second stall and a flood of events, with a fixed seed and pass time.
// The dummy video driver saves every present as a BMP file while
// SDL_VIDEO_DUMMY_SAVE_FRAMES is set (it reads that at every present).

#include <SDL.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "demo-scene.h"
#include "scratch.h"

// Stages by name in test output.
static void PrintTo(DemoStage stage, std::ostream* out) {
    *out << demoStageName(stage);
}

namespace {

constexpr int32_t width = 1280;
constexpr int32_t height = 720;
constexpr float passTime = 40.0f;
constexpr auto allStages = {DemoStage::Greeting,  DemoStage::Entrance, DemoStage::Asteroids,
                            DemoStage::Explosion, DemoStage::Closing,  DemoStage::Ended};

// Presents made while it records land as BMP files in its own directory,
// which is the working directory meanwhile.
struct FrameRecorder {
    Scratch directory{"vimbel-frames"};
    std::filesystem::path previous = std::filesystem::current_path();

    FrameRecorder() { std::filesystem::current_path(directory.path); }
    ~FrameRecorder() {
        stop();
        std::filesystem::current_path(previous);
    }
    void start() { setenv("SDL_VIDEO_DUMMY_SAVE_FRAMES", "1", 1); }
    void stop() { unsetenv("SDL_VIDEO_DUMMY_SAVE_FRAMES"); }
};

// The whole demo on a dummy window, and what it has shown so far.
class DemoInProcess : public testing::Test {
  protected:
    ScreenSize size{width, height};
    SDL_Window* window = nullptr;
    SDL_Renderer* renderer = nullptr;
    std::unique_ptr<Scene> scene;
    // The demo's own loop over a clock that advances passTime per reading.
    uint32_t now = 5000;
    int clockReads = 0;
    std::unique_ptr<FrameLoop> loop;
    std::vector<DemoStage> stages;   // each stage as it was entered
    std::vector<std::string> lines;  // each text line as it was started
    const void* lastText = nullptr;
    RunningFlag flag;

    void SetUp() override {
        window = SDL_CreateWindow("demo", 0, 0, width, height, 0);
        ASSERT_TRUE(window) << SDL_GetError();
        renderer = SDL_CreateRenderer(window, -1, SDL_RENDERER_SOFTWARE);
        ASSERT_TRUE(renderer) << SDL_GetError();
        SDL_FlushEvents(SDL_FIRSTEVENT, SDL_LASTEVENT);
        seedRandom(20231209);
        scene = buildScene(renderer);
        loop = std::make_unique<FrameLoop>(*scene, renderer, [this] {
            ++clockReads;
            return now += static_cast<uint32_t>(passTime);
        });
        note();
    }
    void TearDown() override {
        loop.reset();
        scene.reset();
        SDL_DestroyRenderer(renderer);  // either may be null: SDL then does nothing
        SDL_DestroyWindow(window);
        SDL_FlushEvents(SDL_FIRSTEVENT, SDL_LASTEVENT);
    }

    // Records a stage or a text line that is new since the last look.
    void note() {
        const DemoStage stage = demoStage(*scene);
        if (stages.empty() || stages.back() != stage) {
            stages.push_back(stage);
        }
        const auto text = scene->currentText.get();
        if (text && text.get() != lastText) {
            lastText = text.get();
            lines.push_back(text->text.text);
        }
    }

    // Live passes (events, update, draw, present) while `more` holds and the
    // demo runs.
    template <typename More>
    void playWhile(More more) {
        while (running && more()) {
            loop->pass();
            note();
        }
    }
    // Until the given stage has been entered, and then `into` passes more.
    void playUntil(DemoStage stage, int into = 0) {
        playWhile([&] { return demoStage(*scene) != stage; });
        playWhile([&] { return into-- > 0; });
    }

    void expectTheWholeStoryOnce() {
        EXPECT_EQ(stages, std::vector<DemoStage>(allStages));
        EXPECT_EQ(lines, std::vector<std::string>(std::begin(demoLines), std::end(demoLines)));
    }
};

class InEveryStage : public DemoInProcess, public testing::WithParamInterface<DemoStage> {};
using QuitInEveryStage = InEveryStage;
using StallInEveryStage = InEveryStage;

bool allStarsRestarted(const Background& layer) {
    return std::all_of(layer.stars.begin(), layer.stars.end(),
                       [](const Star& star) { return star.y == -1.0f; });
}

}  // namespace

// The quit arrives through SDL's queue in the middle of a stage (for Ended: in
// the very pass in which the last line fades out and the script ends the
// demo). The demo's own loop runs over a clock that advances 40 ms per pass.
TEST_P(QuitInEveryStage, ThePassThatSeesItIsPresentedThenTheLoopEndsAndNoStepFollows) {
    const DemoStage stage = GetParam();
    if (stage == DemoStage::Ended) {  // until the last line ends in the coming pass
        playWhile([&] {
            const auto text = scene->currentText.get();
            return !(text && text->text.text == demoLines[std::size(demoLines) - 1] &&
                     text->state == FADING_OUT && text->alpha - text->speed * passTime <= 1.0f);
        });
    } else {
        playUntil(stage, 5);
    }
    ASSERT_TRUE(running);
    ASSERT_EQ(demoStage(*scene), stage == DemoStage::Ended ? DemoStage::Closing : stage);
    const auto textBefore = scene->currentText.get();

    FrameRecorder recorder;
    pushEvent(SDL_QUIT);
    recorder.start();
    clockReads = 0;
    loop->run();
    recorder.stop();
    note();

    // One reading for its single pass.
    EXPECT_EQ(clockReads, 1);
    EXPECT_FALSE(running);
    const auto frames = entries(recorder.directory.path);
    ASSERT_EQ(frames.size(), 1u) << "exactly that pass is presented";
    EXPECT_TRUE(sceneDrawnInBmp(recorder.directory.path + "/" + frames.front()))
        << "it shows the scene (the logos at least)";

    EXPECT_EQ(demoStage(*scene), stage);
    if (stage == DemoStage::Ended) {
        expectTheWholeStoryOnce();
    } else {
        EXPECT_EQ(scene->currentText.get(), textBefore) << "no text step ran";
    }
    if (stage == DemoStage::Asteroids || stage == DemoStage::Explosion) {
        EXPECT_EQ(lines.back(), "...som exploderade.") << "no closing line";
    }
}

INSTANTIATE_TEST_SUITE_P(Stages, QuitInEveryStage, testing::ValuesIn(allStages),
                         testing::PrintToStringParamName());

// A pass ten seconds after the previous one (the process was stopped, the
// machine slept) is passed on unclamped: every star falls past the bottom and
// restarts at the top, the ship's entrance jumps far past the middle, every
// explosion particle expires at once. The script still goes through every
// stage once, in order, and the demo ends by itself.
TEST_P(StallInEveryStage, ATenSecondPassLeavesTheStoryWhole) {
    const DemoStage stage = GetParam();
    playUntil(stage, 3);
    ASSERT_EQ(demoStage(*scene), stage);
    const auto entrance = scene->showRymdskeppAnim.get();  // kept alive past its cell
    const size_t linesBefore = lines.size();
    std::vector<std::pair<float, float>> before;  // each asteroid's height and speed
    if (const auto field = scene->asteroidField.get()) {
        for (const Asteroid& asteroid : field->asteroids) {
            before.emplace_back(asteroid.y, asteroid.speed);
        }
    }

    framePass(*scene, renderer, 10000.0f);
    note();

    EXPECT_TRUE(allStarsRestarted(scene->background1));
    EXPECT_TRUE(allStarsRestarted(scene->background2));
    EXPECT_LE(lines.size(), linesBefore + 1) << "at most the next line starts";
    switch (stage) {
        case DemoStage::Entrance:
            // 0.2 px/ms for 10 s: 2000 px up in one step, far above the top.
            ASSERT_TRUE(entrance);
            EXPECT_LT(entrance->y, -1000.0f);
            EXPECT_EQ(scene->rymdskepp.y, static_cast<int32_t>(entrance->y));
            EXPECT_EQ(demoStage(*scene), DemoStage::Asteroids);
            break;
        case DemoStage::Asteroids: {
            // Every asteroid still falling makes the whole 10-second step at
            // once (1000 to 1500 px); whether it then goes back to its start
            // or dies is decided in its next update, so the field goes on.
            ASSERT_EQ(demoStage(*scene), DemoStage::Asteroids);
            const auto& after = scene->asteroidField.get()->asteroids;
            ASSERT_EQ(after.size(), before.size());
            int jumped = 0;
            for (size_t i = 0; i < after.size(); ++i) {
                if (after[i].y != before[i].first) {
                    EXPECT_FLOAT_EQ(after[i].y, before[i].first + before[i].second * 10000.0f);
                    ++jumped;
                }
            }
            EXPECT_GT(jumped, 0);
            break;
        }
        case DemoStage::Explosion:
            // It reports on its next update, which ends it.
            ASSERT_EQ(demoStage(*scene), DemoStage::Explosion);
            EXPECT_TRUE(allParticles(*scene->rymdskeppExplosion.get(),
                                     [](const Particle& particle) { return !particle.IsAlive(); }));
            break;
        case DemoStage::Ended:
            EXPECT_FALSE(running);
            EXPECT_EQ(demoStage(*scene), DemoStage::Ended);
            break;
        default:
            break;
    }

    playUntil(DemoStage::Ended);
    EXPECT_FALSE(running);
    expectTheWholeStoryOnce();
}

INSTANTIATE_TEST_SUITE_P(Stages, StallInEveryStage, testing::ValuesIn(allStages),
                         testing::PrintToStringParamName());

// However many events are pending, one pass consumes them all; a quit request
// behind ten thousand other events still ends the loop after that pass.
TEST_F(DemoInProcess, TenThousandPendingEventsAreConsumedInOnePass) {
    playUntil(DemoStage::Entrance, 10);
    const uint32_t kinds[] = {SDL_MOUSEMOTION, SDL_KEYDOWN, SDL_KEYUP, SDL_WINDOWEVENT,
                              SDL_MOUSEBUTTONDOWN};
    for (const bool quit : {false, true}) {
        for (int i = 0; i < 10000; ++i) {
            pushEvent(quit && i == 9999 ? uint32_t{SDL_QUIT} : kinds[i % std::size(kinds)]);
        }
        ASSERT_EQ(SDL_PeepEvents(nullptr, 0, SDL_PEEKEVENT, SDL_FIRSTEVENT, SDL_LASTEVENT), 10000);
        loop->pass();
        EXPECT_EQ(SDL_PollEvent(nullptr), 0);
        EXPECT_EQ(running, !quit);
    }
}
