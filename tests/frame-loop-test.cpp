#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "demo-scene.h"

namespace {

uint32_t rgbOf(SDL_Color c) {
    return uint32_t{c.r} << 16 | uint32_t{c.g} << 8 | c.b;
}

// An object whose update runs a callback and then still uses its own fields.
struct Probe {
    std::function<void()> onUpdate;
    std::vector<int> updates;
    void Update(float deltaTime) {
        onUpdate();
        updates.push_back(static_cast<int>(deltaTime));
    }
};

struct GreetingScene : testing::Test, SceneOnCanvas {
    GreetingScene() : SceneOnCanvas(1280, 720, 20230519) {}
};

}  // namespace

TEST(FrameLoop, TickDifferenceIsTheElapsedTimeAcrossTheWrap) {
    EXPECT_EQ(tickDelta(1000, 1016), 16.0f);
    EXPECT_EQ(tickDelta(500, 500), 0.0f);
    EXPECT_EQ(tickDelta(100, 2100), 2000.0f);
    EXPECT_EQ(tickDelta(0xfffffff0u, 0x00000010u), 32.0f);
    EXPECT_EQ(tickDelta(0xffffffffu, 0u), 1.0f);
}

TEST(FrameLoop, EscapeDownOrUpAndQuitEndTheLoopOtherEventsDoNot) {
    RunningFlag flag;
    SDL_FlushEvents(SDL_FIRSTEVENT, SDL_LASTEVENT);

    pushEvent(SDL_KEYDOWN, SDLK_a);
    pushEvent(SDL_KEYUP, SDLK_SPACE);
    pushEvent(SDL_MOUSEMOTION);
    pushEvent(SDL_MOUSEBUTTONDOWN);
    pushEvent(SDL_WINDOWEVENT);
    pushEvent(SDL_TEXTINPUT);
    handleEvents();
    EXPECT_TRUE(running);
    EXPECT_EQ(SDL_PollEvent(nullptr), 0) << "every pending event is consumed";

    for (const uint32_t type : {SDL_KEYDOWN, SDL_KEYUP}) {
        running = true;
        pushEvent(type, SDLK_ESCAPE);
        handleEvents();
        EXPECT_FALSE(running) << (type == SDL_KEYDOWN ? "Escape pressed" : "Escape released");
    }

    running = true;
    pushEvent(SDL_KEYDOWN, SDLK_b);
    pushEvent(SDL_QUIT);
    pushEvent(SDL_KEYDOWN, SDLK_c);
    handleEvents();
    EXPECT_FALSE(running);
    EXPECT_EQ(SDL_PollEvent(nullptr), 0);
}

TEST(FrameLoop, ACellKeepsItsObjectAliveUntilItsOwnUpdateReturns) {
    SceneCell<Probe> cell;
    std::weak_ptr<Probe> first;
    std::weak_ptr<Probe> second;
    {
        auto probe = std::make_shared<Probe>();
        first = probe;
        // Replaces itself in the cell from inside its own update.
        probe->onUpdate = [&cell, &second] {
            auto next = std::make_shared<Probe>();
            next->onUpdate = [&cell] { cell.clear(); };
            second = next;
            cell.set(next);
        };
        cell.set(std::move(probe));
    }
    updateCell(cell, 1.0f);  // would touch freed memory if the cell did not hold it
    EXPECT_TRUE(first.expired());
    ASSERT_FALSE(second.expired());
    EXPECT_TRUE(second.lock()->updates.empty());

    updateCell(cell, 2.0f);  // empties the cell from inside the update
    EXPECT_TRUE(cell.empty());
    EXPECT_TRUE(second.expired());
    updateCell(cell, 3.0f);  // an empty cell is skipped
}

TEST_F(GreetingScene, TheLogosSpinInTheTopCornersOverTheStars) {
    for (int pass = 0; pass < 3; ++pass) {
        framePass(*scene, canvas.renderer, 100.0f);
    }
    const int logoArea = 146 * 175;
    EXPECT_GT(canvas.litPixels(10, 10, 146, 175), logoArea / 4);
    const int rightEdge = 1280 - 10;
    EXPECT_GT(canvas.litPixels(rightEdge - 146, 10, 146, 175), logoArea / 4);
    // Nothing of the right logo reaches past its 10-pixel margin, bar stray stars.
    EXPECT_LT(canvas.litPixels(rightEdge, 10, 10, 175), 4);
    EXPECT_GT(scene->rightLogo.Width(), 146);
    // Stars below the logos; the greeting line is still nearly transparent.
    EXPECT_GT(canvas.litPixels(0, 200, 1280, 520), 20);

    // Placed by the width drawn in the previous frame: the same logo drawn
    // there alone gives the same pixels (without the stars).
    scene->background1.stars.clear();
    scene->background2.stars.clear();
    const int32_t previousWidth = scene->rightLogo.Width();
    framePass(*scene, canvas.renderer, 100.0f);
    ASSERT_NE(scene->rightLogo.Width(), previousWidth);
    Canvas alone(1280, 720);
    RotateAnimation logo = NewRotateAnimation(alone.renderer, loadVimbel(), 0.0);
    logo.angle = scene->rightLogo.angle;
    logo.Draw(alone.renderer, rightEdge - previousWidth, 10);
    int differing = 0;
    for (int y = 0; y < 220; ++y) {
        for (int x = 900; x < 1280; ++x) {
            differing += rgbOf(canvas.pixel(x, y)) != rgbOf(alone.pixel(x, y)) ? 1 : 0;
        }
    }
    EXPECT_EQ(differing, 0);
}

TEST_F(GreetingScene, TheFirstPassTakesNoTimeAndDrawsHejAtOpacity1) {
    // The clock reads 5000 before the loop and in its only pass.
    int reads = 0;
    FrameLoop(*scene, canvas.renderer, [&reads] {
        running = ++reads < 2;
        return 5000u;
    }).run();
    EXPECT_EQ(reads, 2);
    EXPECT_EQ(scene->currentText.get()->text.text, "Hej!");
    EXPECT_EQ(scene->currentText.get()->text.color.a, 1);
}

// The browser's pause: the first pass after the clock is restarted takes the
// time since the restart, not the time the page was hidden. The capture's
// afterPass ends the loop while the demo would still run.
TEST_F(GreetingScene, APassCountsFromTheRestartedClockAndAfterPassCanEndTheLoop) {
    uint32_t now = 1000;
    FrameLoop loop(*scene, canvas.renderer, [&now] { return now; });
    now = 1040;
    loop.pass();
    EXPECT_NEAR(scene->leftLogo.angle, 0.2 * 40, 1e-9);
    now = 61040;
    loop.restartClock();
    now = 61056;
    loop.pass();
    EXPECT_NEAR(scene->leftLogo.angle, 0.2 * (40 + 16), 1e-9);

    int passes = 0;
    loop.run([&passes] { return ++passes < 3; });
    EXPECT_EQ(passes, 3);
    EXPECT_TRUE(running);
}

TEST_F(GreetingScene, EveryFrameWithATextDrawsTwoJitterNumbersEvenWhenItIsFinished) {
    scene->currentText.get()->state = FADING_STOPPED;
    seedRandom(77);
    drawScene(*scene, canvas.renderer);
    const int64_t afterDraw = RandomNumber(0, 1'000'000'000);

    seedRandom(77);
    RandomNumber(-5, 5);
    RandomNumber(-5, 5);
    EXPECT_EQ(afterDraw, RandomNumber(0, 1'000'000'000));
}
