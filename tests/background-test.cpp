#include <gtest/gtest.h>

#include "background.h"
#include "canvas.h"
#include "random.h"

namespace {

// The canvas reaches past the screen, so that draws just off screen show.
struct StarScene : testing::Test {
    ScreenSize size{100, 720};
    Canvas canvas{102, 722};

    long litAfterDrawing(float x, float y) {
        Star star = NewStar(1, 1, 0.2f);
        star.x = x;
        star.y = y;
        canvas.clear();
        star.Draw(canvas.renderer);
        return canvas.litPixels();
    }
};

}  // namespace

TEST_F(StarScene, WrapsOnlyPastTheBottomAndShowsAgainFromRowZero) {
    Star star = NewStar(1, 1, 0.2f);
    star.y = 719.5f;
    star.Update(5.0f);  // 720.5
    EXPECT_EQ(star.y, -1.0f);
    EXPECT_TRUE(star.x >= 0.0f && star.x < 100.0f);
    star.Update(5.0f);
    EXPECT_EQ(star.y, 0.0f);
    star.Draw(canvas.renderer);
    EXPECT_FALSE(canvas.isBlack(static_cast<int>(star.x), 0));

    star.x = 10.0f;
    star.y = 719.0f;
    star.Update(5.0f);  // lands exactly on the bottom edge: kept
    EXPECT_EQ(star.y, 720.0f);
    EXPECT_EQ(star.x, 10.0f);
}

TEST_F(StarScene, IsDrawnOnlyWithinTheScreenEdgesInclusive) {
    EXPECT_EQ(litAfterDrawing(100.0f, 720.0f), 1);
    EXPECT_FALSE(canvas.isBlack(100, 720));
    EXPECT_EQ(litAfterDrawing(0.0f, 0.0f), 1);
    // Truncated, these would land on the edges; they are outside and not drawn.
    EXPECT_EQ(litAfterDrawing(-0.5f, 10.0f), 0);
    EXPECT_EQ(litAfterDrawing(10.0f, -0.5f), 0);
    EXPECT_EQ(litAfterDrawing(100.5f, 10.0f), 0);
    EXPECT_EQ(litAfterDrawing(10.0f, 720.5f), 0);
}

TEST_F(StarScene, StartsOnScreenAndALongFrameRestartsEveryStarAtTheTop) {
    seedRandom(5);
    const Star star = NewStar(3, 2, 0.3f);
    seedRandom(5);
    EXPECT_EQ(star.x, static_cast<float>(RandomNumber(0, 100)));  // column first, then row
    EXPECT_EQ(star.y, static_cast<float>(RandomNumber(0, 720)));

    Background layer = NewBackground(50, 1, 1, 0.2f);
    ASSERT_EQ(layer.stars.size(), 50u);
    layer.Update(10000.0f);  // 2000 pixels: a single jump back, not the remainder
    for (const Star& s : layer.stars) {
        EXPECT_EQ(s.y, -1.0f);
        EXPECT_TRUE(s.x >= 0.0f && s.x < 100.0f);
    }
    layer.Draw(canvas.renderer);
    EXPECT_EQ(canvas.litPixels(), 0);
}
