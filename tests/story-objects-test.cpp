// The story's scene objects one by one: the exhaust, the ship and its
// entrance, the asteroid field and the explosion.

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <string>
#include <utility>
#include <vector>

#include "asteroid-field.h"
#include "canvas.h"
#include "explosion.h"
#include "jet-beam.h"
#include "random.h"
#include "rymdskepp.h"
#include "show-rymdskepp.h"

namespace {

std::array<int, 3> rgb(const SDL_Color& c) {
    return {c.r, c.g, c.b};
}

// A whole number from lowest to highest.
bool wholeIn(float value, float lowest, float highest) {
    return std::floor(value) == value && value >= lowest && value <= highest;
}

// One field of every particle of the set, in order.
std::vector<float> each(const std::vector<Particle>& set, float Particle::*field) {
    std::vector<float> values;
    for (const Particle& p : set) {
        values.push_back(p.*field);
    }
    return values;
}

}  // namespace

TEST(JetBeam, StartsInTheSpawnRectangleAndRestartsWhereTheShipIsNow) {
    seedRandom(3);
    auto beam = NewJetBeamParticleEffect(0.0f, 0.0f, 10, 16, 20, 40);
    ASSERT_EQ(beam.yellowParticles.size(), 20u);
    ASSERT_EQ(beam.orangeParticles.size(), 40u);
    for (const auto* set : {&beam.yellowParticles, &beam.orangeParticles}) {
        const float minLife = set == &beam.yellowParticles ? 50.0f : 100.0f;
        for (const Particle& p : *set) {
            EXPECT_TRUE(p.alive);
            EXPECT_TRUE(wholeIn(p.currentX, 0.0f, 9.0f));
            EXPECT_TRUE(wholeIn(p.currentY, 0.0f, 15.0f));
            EXPECT_TRUE(wholeIn(p.aliveTime, minLife, minLife + 49.0f));
            EXPECT_EQ(p.timeLeft, p.aliveTime);
            EXPECT_EQ(p.velocityX, 0.0f);
            EXPECT_EQ(p.velocityY, 0.2f);
        }
    }

    // One particle about to expire, one with time to spare.
    Particle& expiring = beam.yellowParticles[0];
    Particle& living = beam.orangeParticles[0];
    const Particle livingBefore = living;
    for (Particle& p : beam.yellowParticles) {
        p.timeLeft = std::max(p.timeLeft, 20.0f);
    }
    expiring.timeLeft = 10.0f;
    beam.Update(16.0f, 200.0f, 300.0f);
    EXPECT_TRUE(expiring.alive);
    EXPECT_TRUE(wholeIn(expiring.currentX, 200.0f, 209.0f));
    EXPECT_TRUE(wholeIn(expiring.currentY, 300.0f, 315.0f));
    EXPECT_EQ(expiring.timeLeft, expiring.aliveTime) << "its own life span, kept through restarts";
    EXPECT_EQ(living.currentX, livingBefore.currentX) << "falls straight down";
    EXPECT_EQ(living.currentY, livingBefore.currentY + 0.2f * 16.0f);
    EXPECT_EQ(living.originY, livingBefore.originY);

    // No time, no movement and no restart.
    const auto ys = each(beam.orangeParticles, &Particle::currentY);
    const auto originXs = each(beam.orangeParticles, &Particle::originX);
    beam.Update(0.0f, 500.0f, 500.0f);
    EXPECT_EQ(each(beam.orangeParticles, &Particle::currentY), ys);
    EXPECT_EQ(each(beam.orangeParticles, &Particle::originX), originXs);

    // Through many restarts every particle keeps the life span it was made with.
    const auto yellowSpans = each(beam.yellowParticles, &Particle::aliveTime);
    const auto orangeSpans = each(beam.orangeParticles, &Particle::aliveTime);
    for (int i = 0; i < 100; ++i) {
        beam.Update(16.0f, 200.0f, 300.0f);
    }
    EXPECT_EQ(each(beam.yellowParticles, &Particle::aliveTime), yellowSpans);
    EXPECT_EQ(each(beam.orangeParticles, &Particle::aliveTime), orangeSpans);

    // A one-pixel-wide rectangle puts every start exactly on the spawn x.
    auto narrow = NewJetBeamParticleEffect(7.0f, 0.0f, 1, 1, 0, 3);
    EXPECT_TRUE(narrow.yellowParticles.empty());
    EXPECT_EQ(each(narrow.orangeParticles, &Particle::currentX), std::vector<float>(3, 7.0f));
}

TEST(JetBeam, YellowSquaresLieOverOrangeOnes) {
    Canvas canvas(32, 32);
    seedRandom(4);
    auto beam = NewJetBeamParticleEffect(10.0f, 10.0f, 1, 1, 1, 1);
    beam.Draw(canvas.renderer);
    EXPECT_EQ(rgb(canvas.pixel(13, 13)), (std::array<int, 3>{255, 255, 115}));
    EXPECT_EQ(canvas.litPixels(), 64) << "one 8 by 8 square over the other";
    beam.yellowParticles.clear();
    canvas.clear();
    beam.Draw(canvas.renderer);
    EXPECT_EQ(rgb(canvas.pixel(13, 13)), (std::array<int, 3>{255, 160, 40}));
}

TEST(Rymdskepp, DrawsTheExhaustUnderTheShipOnlyWhileShownAndAlwaysMovesIt) {
    Canvas canvas(200, 200);
    seedRandom(5);
    Rymdskepp ship = NewRymdskepp(canvas.renderer);
    EXPECT_TRUE(ship.show);
    EXPECT_EQ(ship.sprite.Width(), 64);
    ship.x = 60;
    ship.y = 40;
    // The first particles were made at the screen's top-left corner.
    for (const Particle& p : ship.jetBeam.orangeParticles) {
        EXPECT_LT(p.currentX, 10.0f);
    }
    ship.Update(150.0f);  // every first particle has expired and restarted at the ship
    for (const Particle& p : ship.jetBeam.orangeParticles) {
        EXPECT_TRUE(p.currentX >= 84.0f && p.currentX <= 93.0f);
        EXPECT_TRUE(p.currentY >= 88.0f && p.currentY <= 103.0f);
    }
    ship.Draw(canvas.renderer);
    EXPECT_GT(canvas.litPixels(), 500);
    EXPECT_TRUE(canvas.isBlack(5, 5));

    canvas.clear();
    ship.show = false;
    ship.Update(150.0f);
    ship.Draw(canvas.renderer);
    EXPECT_EQ(canvas.litPixels(), 0);
}

TEST(ShowRymdskepp, WaitsThenRisesToTheMiddleStopsOnceAndIsNeverClamped) {
    ScreenSize size(1280, 720);
    Rymdskepp ship;
    int stops = 0;
    auto entrance = NewShowRymdskepp(&ship, 0.2f, [&] { ++stops; });
    EXPECT_EQ(entrance.y, 784.0f);
    entrance.Update(10000.0f);
    EXPECT_EQ(entrance.y, 784.0f) << "nothing moves before it is started";
    entrance.SetShow(true);
    entrance.Update(0.0f);
    EXPECT_EQ(entrance.y, 784.0f);
    EXPECT_FALSE(entrance.stop);

    // Ten-millisecond frames land exactly on the middle, which counts.
    for (int i = 0; i < 211; ++i) {
        entrance.Update(10.0f);
    }
    EXPECT_EQ(stops, 0);
    entrance.Update(10.0f);
    EXPECT_EQ(entrance.y, 360.0f);
    EXPECT_EQ(ship.y, 360);
    EXPECT_EQ(stops, 1);
    entrance.Update(10.0f);
    EXPECT_EQ(ship.y, 360);
    EXPECT_EQ(stops, 1);

    // Not snapped: 360.5 - 1 stops at 359.5, and the ship's y is truncated.
    auto overshoot = NewShowRymdskepp(&ship, 0.2f, [&] { ++stops; });
    overshoot.SetShow(true);
    overshoot.y = 360.5f;
    overshoot.Update(5.0f);
    EXPECT_EQ(ship.y, 359);
    EXPECT_EQ(stops, 2);

    // One very long frame jumps far above the screen.
    auto stall = NewShowRymdskepp(&ship, 0.2f, {});
    stall.SetShow(true);
    stall.Update(10000.0f);
    EXPECT_TRUE(stall.stop);
    EXPECT_EQ(ship.y, -1216);
}

// Columns every 64 pixels from 264 (as many as fit between margins of 264)
// but for those in the free lane around the middle (its ends included), each
// asteroid starting above the screen. At 1280 the lane runs from 576 to 704;
// at 1680 columns fall on both its ends, 776 and 904; at 591 no column fits,
// and the empty field reports at once.
TEST(AsteroidField, FillsTheColumnsOutsideTheCentreLaneAboveTheScreen) {
    struct Screen {
        int32_t width, height;
        size_t count;
    };
    Canvas canvas(64, 64);
    seedRandom(6);
    for (const Screen& s : {Screen{1280, 720, 9}, Screen{1680, 1050, 15}, Screen{1920, 1080, 19},
                            Screen{591, 400, 0}}) {
        SCOPED_TRACE(std::to_string(s.width) + "x" + std::to_string(s.height));
        ScreenSize size(s.width, s.height);
        int reports = 0;
        auto field = NewAsteroidField(canvas.renderer, [&] { ++reports; });
        EXPECT_EQ(field.asteroids.size(), s.count);
        const auto half = static_cast<float>(s.width / 2);
        float previous = 0.0f;
        for (const Asteroid& a : field.asteroids) {
            EXPECT_GT(a.x, std::exchange(previous, a.x)) << "in order, each once";
            EXPECT_TRUE(a.x < half - 64.0f || a.x > half + 64.0f) << a.x;
            EXPECT_EQ(std::fmod(a.x - 264.0f, 64.0f), 0.0f) << a.x;
            EXPECT_TRUE(wholeIn(a.y, static_cast<float>(-s.height), -65.0f)) << a.y;
            EXPECT_TRUE(a.speed >= 0.1f && a.speed <= 0.15f);
            EXPECT_TRUE(wholeIn(a.angle, 0.0f, 359.0f));
            EXPECT_EQ(a.resets, 0);
        }
        EXPECT_EQ(reports, 0);
        field.Update(0.0f);
        EXPECT_EQ(reports, s.count == 0 ? 1 : 0);
    }
}

TEST(AsteroidField, DrawsEachRotatedAndReportsOnceWhenTheLastHasFallenOut) {
    ScreenSize size(1280, 720);
    Canvas canvas(1280, 720);
    seedRandom(7);
    int reports = 0;
    auto field = NewAsteroidField(canvas.renderer, [&] { ++reports; });
    for (Asteroid& a : field.asteroids) {
        a.y = -200.0f;  // above the screen: rotated and drawn, clipped away
    }
    Asteroid& shown = field.asteroids[0];
    shown.y = 300.0f;
    shown.angle = 45.0f;
    field.Draw(canvas.renderer);
    field.Draw(canvas.renderer);
    // A 64-pixel image turned by 45 degrees spans about 91 pixels, centred on (264, 300).
    EXPECT_EQ(shown.sprite.Width(), shown.sprite.Height());
    EXPECT_GT(shown.sprite.Width(), 88);
    EXPECT_FALSE(canvas.isBlack(264, 300));
    EXPECT_TRUE(canvas.isBlack(264 + 47, 300));
    EXPECT_TRUE(canvas.isBlack(264 - 47, 300));
    EXPECT_EQ(shown.angle, 45.0f);

    // The line is at 752, tested before the move.
    for (Asteroid& a : field.asteroids) {
        a.y = 751.5f;
    }
    Asteroid& last = field.asteroids.back();
    last.y = 100.0f;
    field.Update(10.0f);  // still before the line: moved across it
    EXPECT_EQ(field.asteroids[0].y, 751.5f + field.asteroids[0].speed * 10.0f);
    field.Update(0.0f);  // past the line now: not moved, and dead
    EXPECT_TRUE(field.asteroids[0].dead);
    EXPECT_FALSE(last.dead);
    EXPECT_EQ(reports, 0);

    last.y = 752.0f;
    canvas.clear();
    field.Draw(canvas.renderer);
    EXPECT_EQ(canvas.litPixels(), 0) << "nothing at or past the line is drawn";
    field.Update(0.0f);
    EXPECT_TRUE(field.allDead);
    EXPECT_EQ(reports, 1);
    field.Update(16.0f);
    EXPECT_EQ(reports, 1);
}

TEST(Explosion, ThreeSetsAroundTheCentreThatExpireTogetherAndReportOneUpdateLater) {
    seedRandom(8);
    int reports = 0;
    auto effect = NewExplosionParticleEffect(100.0f, 100.0f, [&] { ++reports; });
    ASSERT_EQ(effect.whiteParticles.size(), 245u);
    ASSERT_EQ(effect.yellowParticles.size(), 490u);
    ASSERT_EQ(effect.orangeParticles.size(), 1015u);
    EXPECT_FALSE(effect.allDead);
    bool sawTopVelocity = false;
    for (const auto& [set, limit] :
         {std::pair{&effect.whiteParticles, 8}, std::pair{&effect.yellowParticles, 12},
          std::pair{&effect.orangeParticles, 16}}) {
        for (const Particle& p : *set) {
            EXPECT_TRUE(p.alive);
            EXPECT_TRUE(wholeIn(p.currentX, 84.0f, 115.0f));
            EXPECT_TRUE(wholeIn(p.currentY, 84.0f, 115.0f));
            EXPECT_EQ(p.timeLeft, 300.0f);
            for (const float v : {p.velocityX, p.velocityY}) {
                const float hundredths = std::round(v * 100.0f);
                EXPECT_GE(hundredths, static_cast<float>(-limit));
                EXPECT_LE(hundredths, static_cast<float>(limit - 1));
                sawTopVelocity = sawTopVelocity || hundredths == static_cast<float>(limit - 1);
            }
        }
    }
    EXPECT_TRUE(sawTopVelocity);

    effect.Update(299.0f);
    effect.Update(1.0f);  // every particle expires here, still counted alive
    EXPECT_FALSE(effect.whiteParticles[0].alive);
    EXPECT_EQ(reports, 0);
    effect.Update(0.0f);
    EXPECT_EQ(reports, 1);
    effect.Update(0.0f);
    EXPECT_EQ(reports, 2) << "every further update reports again";

    // A white particle with velocity (0.07, -0.08), three updates of 100.
    auto moving = NewExplosionParticleEffect(50.0f, 50.0f, {});
    Particle& p = moving.whiteParticles[0];
    p.velocityX = 0.07f;
    p.velocityY = -0.08f;
    const float startX = p.currentX;
    const float startY = p.currentY;
    for (int i = 0; i < 3; ++i) {
        moving.Update(100.0f);
    }
    EXPECT_FALSE(p.alive);
    EXPECT_NEAR(p.currentX - startX, 14.0f, 1e-4f);
    EXPECT_NEAR(p.currentY - startY, -16.0f, 1e-4f);
    // Without onAfter an expired effect does nothing more (an empty call would end the program).
    EXPECT_NO_THROW(moving.Update(0.0f));
}

TEST(Explosion, WhiteOverYellowOverOrangeInEightPixelSquaresAndNothingOnceDead) {
    Canvas canvas(64, 64);
    seedRandom(9);
    auto effect = NewExplosionParticleEffect(30.0f, 30.0f, {});
    const std::pair<std::vector<Particle>*, std::array<int, 3>> layers[] = {
        {&effect.whiteParticles, {255, 255, 255}},
        {&effect.yellowParticles, {255, 255, 155}},
        {&effect.orangeParticles, {255, 160, 40}}};
    for (const auto& [set, colour] : layers) {
        for (Particle& p : *set) {
            p.currentX = p.currentY = 20.0f;
        }
    }
    // Each layer in turn is on top, until it dies.
    for (const auto& [set, colour] : layers) {
        canvas.clear();
        effect.Draw(canvas.renderer);
        EXPECT_EQ(rgb(canvas.pixel(20, 20)), colour);
        EXPECT_EQ(rgb(canvas.pixel(27, 27)), colour);
        EXPECT_TRUE(canvas.isBlack(28, 20));
        EXPECT_EQ(canvas.litPixels(), 64);
        for (Particle& p : *set) {
            p.alive = false;
        }
    }
    canvas.clear();
    effect.Draw(canvas.renderer);
    EXPECT_EQ(canvas.litPixels(), 0);
}
