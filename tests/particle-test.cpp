#include <gtest/gtest.h>

#include <array>
#include <set>
#include <tuple>

#include "canvas.h"
#include "color.h"
#include "particle.h"
#include "random.h"

namespace {

Particle liveParticle() {
    Particle p;
    p.rectangle = SDL_Rect{0, 0, 8, 8};
    p.alive = true;
    p.aliveTime = 10.0f;
    p.timeLeft = 10.0f;
    p.red = 250;
    p.green = 179;
    p.blue = 135;
    p.originX = 3.0f;
    p.originY = 5.0f;
    p.currentX = 3.0f;
    p.currentY = 5.0f;
    p.velocityX = -0.1f;
    p.velocityY = 0.2f;
    return p;
}

}  // namespace

TEST(Particle, MovesWhileAliveAndDiesInPlaceWhenItsTimeReachesZero) {
    Particle p = liveParticle();
    p.Update(4.0f);
    EXPECT_TRUE(p.IsAlive());
    EXPECT_EQ(p.timeLeft, 6.0f);
    EXPECT_EQ(p.currentX, 3.0f + -0.1f * 4.0f);
    EXPECT_EQ(p.currentY, 5.0f + 0.2f * 4.0f);

    // Exactly zero time left is death, and the dying step does not move it.
    Particle q = liveParticle();
    q.Update(10.0f);
    EXPECT_FALSE(q.IsAlive());
    EXPECT_EQ(q.timeLeft, 0.0f);
    EXPECT_EQ(q.currentX, 3.0f);
    EXPECT_EQ(q.currentY, 5.0f);

    // A dead particle ages no further.
    q.Update(7.0f);
    EXPECT_FALSE(q.IsAlive());
    EXPECT_EQ(q.timeLeft, 0.0f);
    EXPECT_EQ(q.currentY, 5.0f);

    // Reset brings it back at its origin with its own life span, nothing else changed.
    q.originX = 40.0f;
    q.currentY = 99.0f;
    q.Reset();
    EXPECT_TRUE(q.IsAlive());
    EXPECT_EQ(q.timeLeft, 10.0f);
    EXPECT_EQ(q.aliveTime, 10.0f);
    EXPECT_EQ(q.currentX, 40.0f);
    EXPECT_EQ(q.currentY, 5.0f);
    EXPECT_EQ(q.velocityY, 0.2f);
    EXPECT_EQ(q.red, 250);
}

TEST(Particle, FillsItsSquareAtThePositionTruncatedTowardZeroAliveOrDead) {
    Canvas canvas(40, 20);
    Particle p = liveParticle();
    p.alive = false;
    p.currentX = 12.99f;
    p.currentY = -3.7f;
    p.Draw(canvas.renderer);
    EXPECT_EQ(p.rectangle.x, 12);
    EXPECT_EQ(p.rectangle.y, -3);
    // Rows -3..4 and columns 12..19 are filled.
    const SDL_Color c = canvas.pixel(12, 0);
    EXPECT_EQ(std::tie(c.r, c.g, c.b), std::make_tuple(250, 179, 135));
    EXPECT_FALSE(canvas.isBlack(19, 4));
    EXPECT_TRUE(canvas.isBlack(11, 0));
    EXPECT_TRUE(canvas.isBlack(20, 4));
    EXPECT_TRUE(canvas.isBlack(12, 5));
    EXPECT_EQ(canvas.litPixels(), 8 * 5);
    // The renderer is left in the particle's colour, opaque.
    std::array<uint8_t, 4> rgba{};
    SDL_GetRenderDrawColor(canvas.renderer, &rgba[0], &rgba[1], &rgba[2], &rgba[3]);
    EXPECT_EQ(rgba, (std::array<uint8_t, 4>{250, 179, 135, 255}));

    // -0.5 truncates to 0, not down to -1: column 7 is the square's last.
    canvas.clear();
    p.currentX = -0.5f;
    p.currentY = 0.0f;
    p.Draw(canvas.renderer);
    EXPECT_FALSE(canvas.isBlack(7, 0));
    EXPECT_TRUE(canvas.isBlack(8, 0));
}

TEST(Random, StaysInsideTheHalfOpenRange) {
    seedRandom(1234);
    bool sawMin = false;
    for (int i = 0; i < 2000; ++i) {
        EXPECT_EQ(RandomNumber(0, 1), 0);
        const int64_t n = RandomNumber(-5, 5);
        ASSERT_GE(n, -5);
        ASSERT_LT(n, 5);
        sawMin = sawMin || n == -5;
        const int64_t m = RandomNumber(100, 150);
        ASSERT_GE(m, 100);
        ASSERT_LT(m, 150);
    }
    EXPECT_TRUE(sawMin);
}

TEST(Color, EachOfTheElevenOpaqueColoursComesUpAboutEquallyFromOneDraw) {
    // One colour takes exactly one draw, the index of the same draw.
    seedRandom(99);
    const SDL_Color first = GetRandomColor();
    const int64_t next = RandomNumber(0, 1'000'000);
    seedRandom(99);
    const SDL_Color expected = colors[RandomNumber(0, colorCount)];
    EXPECT_EQ(std::tie(first.r, first.g, first.b), std::tie(expected.r, expected.g, expected.b));
    EXPECT_EQ(next, RandomNumber(0, 1'000'000));

    seedRandom(20230519);
    constexpr int draws = 11000;
    std::array<int, colorCount> counts{};
    for (int i = 0; i < draws; ++i) {
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
    for (int index = 0; index < colorCount; ++index) {
        // Expected 1000 each; the standard deviation is about 30.
        EXPECT_NEAR(counts[static_cast<size_t>(index)], draws / colorCount, 150) << index;
    }
    std::set<std::tuple<int, int, int>> distinct;
    for (const SDL_Color& c : colors) {
        distinct.emplace(c.r, c.g, c.b);
    }
    EXPECT_EQ(distinct.size(), static_cast<size_t>(colorCount));
}
