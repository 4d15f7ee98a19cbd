// The whole demo driven in-process, pass by pass, with a fixed seed and a
// fixed elapsed time, on a software canvas.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "demo-scene.h"

namespace {

struct Size {
    int32_t width;
    int32_t height;
    float deltaTime;
};

class WholeStory : public testing::TestWithParam<Size>, public SceneOnCanvas {
  protected:
    WholeStory() : SceneOnCanvas(GetParam().width, GetParam().height, 20231208) {}
};

}  // namespace

TEST_P(WholeStory, EveryStageInOrderThenTheDemoEndsByItself) {
    const auto [width, height, dt] = GetParam();
    Rymdskepp& ship = scene->rymdskepp;

    // Parked, centred, wholly below the screen; its entrance waits.
    EXPECT_EQ(ship.x, width / 2 - 32);
    EXPECT_EQ(ship.y, height + 64);
    EXPECT_TRUE(ship.show);
    EXPECT_EQ(demoStage(*scene), DemoStage::Greeting);

    // Everything that happened on the way, pass by pass.
    std::vector<DemoStage> stages{demoStage(*scene)};
    std::vector<std::string> lines{scene->currentText.get()->text.text};
    int passes = 0;
    int entranceStartPass = -1;
    int explosionPass = -1;
    float explosionCentreY = 0.0f;
    std::shared_ptr<ExplosionParticleEffect> explosion;
    std::shared_ptr<AsteroidField> field;

    while (running && passes < 20000) {
        const auto textBefore = scene->currentText.get();
        const int32_t shipYBefore = ship.y;
        framePass(*scene, canvas.renderer, dt);
        ++passes;
        const DemoStage stage = demoStage(*scene);
        const auto text = scene->currentText.get();
        if (text != textBefore) {
            lines.push_back(text->text.text);
            if (text->text.text == "Slut!") {
                // Started from the explosion's update: updated once, then drawn.
                EXPECT_EQ(text->alpha, 1.0f + dt * 0.2f);
                EXPECT_GT(text->text.color.a, 1);
            } else {
                // Started from the previous line's update: drawn once first.
                EXPECT_EQ(text->alpha, 1.0f);
                EXPECT_EQ(text->text.color.a, 1);
            }
        }
        if (stage == stages.back()) {
            if (stage == DemoStage::Greeting) {
                EXPECT_EQ(ship.y, height + 64) << "the ship waits below the screen";
            }
            if (stage == DemoStage::Entrance && passes == entranceStartPass + 1) {
                EXPECT_LT(ship.y, shipYBefore) << "the rise starts in the next pass";
            }
            continue;
        }
        stages.push_back(stage);
        switch (stage) {
            case DemoStage::Entrance:
                // "...som exploderade." ended in this pass; the entrance,
                // updated earlier in the pass, has not moved yet.
                entranceStartPass = passes;
                EXPECT_EQ(text->state, FADING_STOPPED);
                EXPECT_EQ(text->text.text, "...som exploderade.");
                EXPECT_EQ(ship.y, height + 64);
                break;
            case DemoStage::Asteroids: {
                EXPECT_LE(ship.y, height / 2);
                EXPECT_GT(static_cast<float>(ship.y),
                          static_cast<float>(height / 2) - dt * 0.2f - 1.0f);
                field = scene->asteroidField.get();
                ASSERT_TRUE(field);
                ASSERT_FALSE(field->asteroids.empty());
                EXPECT_TRUE(scene->showRymdskeppAnim.empty());
                for (const Asteroid& asteroid : field->asteroids) {
                    // Made in this pass after the field's own slot: not yet moved.
                    EXPECT_EQ(asteroid.y, asteroid.startY);
                }
                framePass(*scene, canvas.renderer, dt);
                ++passes;
                for (const Asteroid& asteroid : field->asteroids) {
                    EXPECT_GT(asteroid.y, asteroid.startY) << "first moved in the following pass";
                }
                break;
            }
            case DemoStage::Explosion: {
                explosionPass = passes;
                EXPECT_TRUE(field->allDead);
                EXPECT_FALSE(ship.show);
                explosion = scene->rymdskeppExplosion.get();
                ASSERT_TRUE(explosion);
                // Centred on the ship's middle, and updated in this same pass.
                const auto centreX = static_cast<float>(width / 2);
                explosionCentreY = static_cast<float>(ship.y + 32);
                EXPECT_LE(explosionCentreY, static_cast<float>(height / 2 + 32));
                EXPECT_TRUE(allParticles(*explosion, [&](const Particle& p) {
                    return p.originX >= centreX - 16.0f && p.originX <= centreX + 15.0f &&
                           p.originY >= explosionCentreY - 16.0f &&
                           p.originY <= explosionCentreY + 15.0f && p.timeLeft == 300.0f - dt;
                }));
                break;
            }
            case DemoStage::Closing: {
                ASSERT_TRUE(explosion);
                // Expired in the update in which the summed time reached 300,
                // reported in the one after.
                const int expiresAfter = static_cast<int>((300.0f + dt - 1.0f) / dt);
                EXPECT_EQ(passes - explosionPass, expiresAfter);
                EXPECT_TRUE(explosion->allDead);
                EXPECT_TRUE(scene->rymdskeppExplosion.empty());
                EXPECT_EQ(text->text.text, "Slut!");
                break;
            }
            default:
                break;
        }
    }

    EXPECT_FALSE(running) << "the demo did not end by itself";
    EXPECT_EQ(stages, (std::vector<DemoStage>{DemoStage::Greeting, DemoStage::Entrance,
                                              DemoStage::Asteroids, DemoStage::Explosion,
                                              DemoStage::Closing, DemoStage::Ended}));
    EXPECT_EQ(lines, (std::vector<std::string>{"Hej!", "Välkommen...", "...till mitt demo...",
                                               "...om ett rymdskepp...", "...som exploderade.",
                                               "Slut!", "Hej då!", "Nej vänta!", "Glöm inte...",
                                               "...att rösta!", demoLines[10]}));
    // Nothing left running: the cells the script empties are empty, the ship
    // is hidden, and the field has reported.
    EXPECT_TRUE(scene->showRymdskeppAnim.empty());
    EXPECT_TRUE(scene->rymdskeppExplosion.empty());
    EXPECT_FALSE(ship.show);
    EXPECT_TRUE(scene->asteroidField.get()->allDead);
    EXPECT_EQ(scene->currentText.get()->state, FADING_STOPPED);
    const float seconds = static_cast<float>(passes) * dt / 1000.0f;
    EXPECT_GT(seconds, 30.0f);
    EXPECT_LT(seconds, 55.0f);
}

INSTANTIATE_TEST_SUITE_P(Sizes, WholeStory,
                         testing::Values(Size{1920, 1080, 16.0f}, Size{1280, 720, 40.0f}),
                         [](const testing::TestParamInfo<Size>& size) {
                             return std::to_string(size.param.width) + "x" +
                                    std::to_string(size.param.height);
                         });
