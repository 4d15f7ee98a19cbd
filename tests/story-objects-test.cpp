// The story's scene objects one by one: the exhaust, the ship and its
// entrance, the asteroid field and the explosion.

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>

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

bool whole(float value) {
    return std::floor(value) == value;
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
            EXPECT_TRUE(whole(p.currentX) && p.currentX >= 0.0f && p.currentX <= 9.0f);
            EXPECT_TRUE(whole(p.currentY) && p.currentY >= 0.0f && p.currentY <= 15.0f);
            EXPECT_TRUE(whole(p.aliveTime) && p.aliveTime >= minLife &&
                        p.aliveTime <= minLife + 49.0f);
            EXPECT_EQ(p.timeLeft, p.aliveTime);
            EXPECT_EQ(p.velocityX, 0.0f);
            EXPECT_EQ(p.velocityY, 0.2f);
        }
    }

    // One particle about to expire, one with time to spare.
    Particle& expiring = beam.yellowParticles[0];
    Particle& living = beam.orangeParticles[0];
    const float livingX = living.currentX;
    const float livingY = living.currentY;
    const float livingOriginY = living.originY;
    for (Particle& p : beam.yellowParticles) {
        p.timeLeft = std::max(p.timeLeft, 20.0f);
    }
    expiring.timeLeft = 10.0f;
    beam.Update(16.0f, 200.0f, 300.0f);
    EXPECT_TRUE(expiring.alive);
    EXPECT_TRUE(expiring.currentX >= 200.0f && expiring.currentX <= 209.0f &&
                whole(expiring.currentX));
    EXPECT_TRUE(expiring.currentY >= 300.0f && expiring.currentY <= 315.0f &&
                whole(expiring.currentY));
    EXPECT_EQ(expiring.timeLeft, expiring.aliveTime) << "its own life span, kept through restarts";
    EXPECT_EQ(living.currentX, livingX) << "falls straight down";
    EXPECT_EQ(living.currentY, livingY + 0.2f * 16.0f);
    EXPECT_EQ(living.originY, livingOriginY);

    // No time, no movement and no restart.
    const auto before = beam.orangeParticles;
    beam.Update(0.0f, 500.0f, 500.0f);
    for (size_t i = 0; i < before.size(); ++i) {
        EXPECT_EQ(beam.orangeParticles[i].currentY, before[i].currentY);
        EXPECT_EQ(beam.orangeParticles[i].originX, before[i].originX);
    }

    // Through many restarts every particle keeps the life span it was made with.
    const auto lifeSpans = [&beam] {
        std::vector<float> spans;
        for (const auto* set : {&beam.yellowParticles, &beam.orangeParticles}) {
            for (const Particle& p : *set) {
                spans.push_back(p.aliveTime);
            }
        }
        return spans;
    };
    const std::vector<float> spans = lifeSpans();
    for (int i = 0; i < 100; ++i) {
        beam.Update(16.0f, 200.0f, 300.0f);
    }
    EXPECT_EQ(lifeSpans(), spans);

    // A one-pixel-wide rectangle puts every start exactly on the spawn x.
    auto narrow = NewJetBeamParticleEffect(7.0f, 0.0f, 1, 1, 0, 3);
    EXPECT_TRUE(narrow.yellowParticles.empty());
    for (const Particle& p : narrow.orangeParticles) {
        EXPECT_EQ(p.currentX, 7.0f);
    }
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

TEST(AsteroidField, LeavesTheCentreFreeAndReportsOnceWhenTheLastHasFallenOut) {
    ScreenSize size(1280, 720);
    Canvas canvas(1280, 720);
    seedRandom(6);
    int reports = 0;
    auto field = NewAsteroidField(canvas.renderer, [&] { ++reports; });
    std::vector<float> columns;
    for (const Asteroid& a : field.asteroids) {
        columns.push_back(a.x);
        EXPECT_TRUE(a.y >= -720.0f && a.y <= -65.0f && whole(a.y));
        EXPECT_TRUE(a.speed >= 0.1f && a.speed <= 0.15f);
        EXPECT_TRUE(a.angle >= 0.0f && a.angle <= 359.0f && whole(a.angle));
        EXPECT_EQ(a.resets, 0);
    }
    // Eleven columns; 584 and 648 lie in the free lane from 576 to 704.
    EXPECT_EQ(columns, (std::vector<float>{264, 328, 392, 456, 520, 712, 776, 840, 904}));

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

    // 1680 pixels wide: the lane runs from 776 to 904, and columns fall on both ends.
    ScreenSize wide(1680, 1050);
    columns.clear();
    for (const Asteroid& a : NewAsteroidField(canvas.renderer, {}).asteroids) {
        columns.push_back(a.x);
    }
    EXPECT_EQ(columns.size(), 15u);
    for (const float free : {776.0f, 840.0f, 904.0f}) {
        EXPECT_EQ(std::count(columns.begin(), columns.end(), free), 0) << free;
    }
}

TEST(AsteroidField, OnANarrowScreenItIsEmptyAndReportsOnItsFirstUpdate) {
    ScreenSize size(591, 400);
    Canvas canvas(591, 400);
    int reports = 0;
    auto field = NewAsteroidField(canvas.renderer, [&] { ++reports; });
    EXPECT_TRUE(field.asteroids.empty());
    EXPECT_EQ(reports, 0);
    field.Update(0.0f);
    EXPECT_EQ(reports, 1);
}

TEST(AsteroidField, EachAsteroidIsDrawnRotatedAtItsOwnFixedAngleCentredOnItsPosition) {
    ScreenSize size(1280, 720);
    Canvas canvas(1280, 720);
    seedRandom(7);
    auto field = NewAsteroidField(canvas.renderer, {});
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
}

TEST(Explosion, ThreeSetsAroundTheCentreThatExpireTogetherAndReportOneUpdateLater) {
    seedRandom(8);
    int reports = 0;
    auto effect = NewExplosionParticleEffect(100.0f, 100.0f, [&] { ++reports; });
    ASSERT_EQ(effect.whiteParticles.size(), 245u);
    ASSERT_EQ(effect.yellowParticles.size(), 490u);
    ASSERT_EQ(effect.orangeParticles.size(), 1015u);
    EXPECT_FALSE(effect.allDead);
    const std::array<const std::vector<Particle>*, 3> sets{
        &effect.whiteParticles, &effect.yellowParticles, &effect.orangeParticles};
    const std::array<int, 3> limits{8, 12, 16};
    bool sawTopVelocity = false;
    for (size_t s = 0; s < sets.size(); ++s) {
        for (const Particle& p : *sets[s]) {
            EXPECT_TRUE(p.alive);
            EXPECT_TRUE(whole(p.currentX) && p.currentX >= 84.0f && p.currentX <= 115.0f);
            EXPECT_TRUE(whole(p.currentY) && p.currentY >= 84.0f && p.currentY <= 115.0f);
            EXPECT_EQ(p.timeLeft, 300.0f);
            for (const float v : {p.velocityX, p.velocityY}) {
                const float hundredths = std::round(v * 100.0f);
                EXPECT_GE(hundredths, static_cast<float>(-limits[s]));
                EXPECT_LE(hundredths, static_cast<float>(limits[s] - 1));
                sawTopVelocity = sawTopVelocity || hundredths == static_cast<float>(limits[s] - 1);
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
