#include <gtest/gtest.h>

#include <array>

#include "background.h"
#include "canvas.h"
#include "random.h"

namespace {

// The canvas reaches two pixels past the screen, so draws just off screen show.
struct StarScene : testing::Test {
    ScreenSize size{100, 720};
    Canvas canvas{102, 722};

    Star starAt(float x, float y) {
        Star star = NewStar(1, 1, 0.2f);
        star.x = x;
        star.y = y;
        return star;
    }
    bool drawsAnything(Star star) {
        canvas.clear();
        star.Draw(canvas.renderer);
        return canvas.litPixels() > 0;
    }
};

}  // namespace

TEST_F(StarScene, StartsAtARandomColumnThenRowWithinTheScreen) {
    seedRandom(5);
    const Star star = NewStar(3, 2, 0.3f);
    seedRandom(5);
    const auto x = static_cast<float>(RandomNumber(0, 100));
    const auto y = static_cast<float>(RandomNumber(0, 720));
    EXPECT_EQ(star.x, x);
    EXPECT_EQ(star.y, y);
    EXPECT_EQ(star.velocity, 0.3f);
    EXPECT_EQ(star.rectangle.w, 3);
    EXPECT_EQ(star.rectangle.h, 2);
}

TEST_F(StarScene, WrapsOnlyPastTheBottomAndShowsAgainFromRowZero) {
    Star star = starAt(40.0f, 719.5f);
    star.Update(5.0f);  // 720.5: past the bottom
    EXPECT_EQ(star.y, -1.0f);
    EXPECT_GE(star.x, 0.0f);
    EXPECT_LT(star.x, 100.0f);
    EXPECT_EQ(star.x, static_cast<float>(static_cast<int>(star.x)));
    EXPECT_FALSE(drawsAnything(star));

    star.Update(5.0f);
    EXPECT_EQ(star.y, 0.0f);
    canvas.clear();
    star.Draw(canvas.renderer);
    EXPECT_FALSE(canvas.isBlack(static_cast<int>(star.x), 0));
    EXPECT_EQ(canvas.litPixels(), 1);

    // Landing exactly on the bottom edge is neither a wrap nor hidden.
    Star edge = starAt(10.0f, 719.0f);
    edge.Update(5.0f);
    EXPECT_EQ(edge.y, 720.0f);
    EXPECT_EQ(edge.x, 10.0f);
    canvas.clear();
    edge.Draw(canvas.renderer);
    EXPECT_FALSE(canvas.isBlack(10, 720));
}

TEST_F(StarScene, IsDrawnOnlyWithinTheScreenBoundsInclusiveInWhiteOfItsSize) {
    EXPECT_TRUE(drawsAnything(starAt(100.0f, 720.0f)));
    EXPECT_FALSE(canvas.isBlack(100, 720));
    EXPECT_TRUE(drawsAnything(starAt(0.0f, 0.0f)));
    // Just outside: truncation would have put these on the edge rows and columns.
    EXPECT_FALSE(drawsAnything(starAt(-0.5f, 10.0f)));
    EXPECT_FALSE(drawsAnything(starAt(10.0f, -0.5f)));
    EXPECT_FALSE(drawsAnything(starAt(100.5f, 10.0f)));
    EXPECT_FALSE(drawsAnything(starAt(10.0f, 720.5f)));

    // A hidden star leaves the draw colour alone; a drawn one sets it white.
    std::array<uint8_t, 4> rgba{};
    canvas.clear();
    SDL_SetRenderDrawColor(canvas.renderer, 200, 10, 10, 255);
    starAt(-3.0f, 5.0f).Draw(canvas.renderer);
    SDL_GetRenderDrawColor(canvas.renderer, &rgba[0], &rgba[1], &rgba[2], &rgba[3]);
    EXPECT_EQ(rgba, (std::array<uint8_t, 4>{200, 10, 10, 255}));

    Star big = NewStar(3, 2, 0.2f);
    big.x = 5.9f;
    big.y = 7.2f;
    big.Draw(canvas.renderer);
    const SDL_Color c = canvas.pixel(7, 8);
    EXPECT_EQ((std::array<int, 3>{c.r, c.g, c.b}), (std::array<int, 3>{255, 255, 255}));
    EXPECT_EQ(canvas.litPixels(), 6);
    EXPECT_TRUE(canvas.isBlack(8, 8));
}

TEST_F(StarScene, ALongFrameRestartsEveryStarAtTheTopNotAtTheRemainder) {
    seedRandom(42);
    Background layer = NewBackground(50, 1, 1, 0.2f);
    ASSERT_EQ(layer.stars.size(), 50u);
    layer.Update(0.0f);
    layer.Draw(canvas.renderer);
    EXPECT_GT(canvas.litPixels(), 0);
    for (const Star& star : layer.stars) {
        EXPECT_GE(star.y, 0.0f);
        EXPECT_LT(star.y, 720.0f);
    }

    layer.Update(10000.0f);
    for (const Star& star : layer.stars) {
        EXPECT_EQ(star.y, -1.0f);
        EXPECT_GE(star.x, 0.0f);
        EXPECT_LT(star.x, 100.0f);
    }
    canvas.clear();
    layer.Draw(canvas.renderer);
    EXPECT_EQ(canvas.litPixels(), 0);

    Background empty = NewBackground(0, 1, 1, 0.2f);
    empty.Update(16.0f);
    empty.Draw(canvas.renderer);
    EXPECT_TRUE(empty.stars.empty());
}
