#include <gtest/gtest.h>

#include <array>

#include "canvas.h"
#include "color.h"
#include "particle.h"
#include "random.h"

TEST(Particle, MovesWhileAliveDiesInPlaceAtZeroAndResetsToItsOrigin) {
    Particle p;
    p.alive = true;
    p.aliveTime = p.timeLeft = 10.0f;
    p.originY = p.currentY = 5.0f;
    p.velocityY = 0.2f;
    Particle q = p;

    p.Update(4.0f);
    EXPECT_EQ(p.timeLeft, 6.0f);
    EXPECT_EQ(p.currentY, 5.0f + 0.2f * 4.0f);

    q.Update(10.0f);  // exactly zero left: dead, and the dying step does not move it
    q.Update(3.0f);   // a dead particle ages no further
    EXPECT_FALSE(q.IsAlive());
    EXPECT_EQ(q.timeLeft, 0.0f);
    EXPECT_EQ(q.currentY, 5.0f);

    q.originY = 40.0f;
    q.Reset();
    EXPECT_TRUE(q.IsAlive());
    EXPECT_EQ(q.timeLeft, 10.0f);
    EXPECT_EQ(q.currentY, 40.0f);
}

TEST(Particle, FillsItsSquareAtThePositionTruncatedTowardZeroAliveOrDead) {
    Canvas canvas(40, 20);
    Particle p;
    p.rectangle = SDL_Rect{0, 0, 8, 8};
    p.red = 250;
    p.green = 179;
    p.blue = 135;
    p.currentX = 12.99f;
    p.currentY = -3.7f;
    p.Draw(canvas.renderer);  // rows -3..4, columns 12..19
    const SDL_Color c = canvas.pixel(12, 0);
    EXPECT_EQ((std::array<int, 3>{c.r, c.g, c.b}), (std::array<int, 3>{250, 179, 135}));
    EXPECT_FALSE(canvas.isBlack(19, 4));
    EXPECT_EQ(canvas.litPixels(), 8 * 5);

    canvas.clear();
    p.currentX = -0.5f;  // 0, not -1: column 7 is the square's last
    p.currentY = 0.0f;
    p.Draw(canvas.renderer);
    EXPECT_FALSE(canvas.isBlack(7, 0));
    EXPECT_TRUE(canvas.isBlack(8, 0));
}

TEST(Random, NumbersStayInTheHalfOpenRangeAndColoursComeUpEvenly) {
    seedRandom(1234);
    for (int i = 0; i < 2000; ++i) {
        ASSERT_EQ(RandomNumber(0, 1), 0);
        const int64_t n = RandomNumber(-5, 5);
        ASSERT_TRUE(n >= -5 && n < 5) << n;
        const int64_t m = RandomNumber(100, 150);
        ASSERT_TRUE(m >= 100 && m < 150) << m;
    }

    seedRandom(20230519);
    std::array<int, colorCount> counts{};
    for (int i = 0; i < 1000 * colorCount; ++i) {
        const SDL_Color c = GetRandomColor();
        ASSERT_EQ(c.a, 255);
        int index = 0;
        while (index < colorCount &&
               (colors[index].r != c.r || colors[index].g != c.g || colors[index].b != c.b)) {
            ++index;
        }
        ASSERT_LT(index, colorCount) << "not a colour of the table";
        ++counts[static_cast<size_t>(index)];
    }
    for (const int count : counts) {
        EXPECT_NEAR(count, 1000, 150);  // the standard deviation is about 30
    }
}
