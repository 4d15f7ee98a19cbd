#include "explosion.h"

#include <utility>

#include "random.h"

namespace {

constexpr float explosionLifeSpan = 300.0f;
constexpr float explosionSpread = 16.0f;
constexpr float velocityDivisor = 100.0f;

float randomPosition(int64_t min, int64_t max) {
    return static_cast<float>(RandomNumber(min, max));
}

// Hundredths of a pixel per millisecond.
float randomVelocity(int64_t min, int64_t max) {
    return static_cast<float>(RandomNumber(min, max)) / velocityDivisor;
}

// A square whose top-left corner lies within the spread around the centre.
Particle newParticle(float x, float y) {
    Particle particle;
    particle.alive = true;
    particle.originX = particle.currentX = randomPosition(
        static_cast<int64_t>(x - explosionSpread), static_cast<int64_t>(x + explosionSpread));
    particle.originY = particle.currentY = randomPosition(
        static_cast<int64_t>(y - explosionSpread), static_cast<int64_t>(y + explosionSpread));
    return particle;
}

// The part the three sets share: four draws, in the order position x,
// position y, velocity x, velocity y.
Particle newColouredParticle(float x, float y, uint8_t red, uint8_t green, uint8_t blue,
                             int64_t minVelocity, int64_t maxVelocity) {
    Particle particle = newParticle(x, y);
    particle.rectangle.w = explosionParticleEffectParticleWidth;
    particle.rectangle.h = explosionParticleEffectParticleHeight;
    particle.aliveTime = particle.timeLeft = explosionLifeSpan;
    particle.red = red;
    particle.green = green;
    particle.blue = blue;
    particle.velocityX = randomVelocity(minVelocity, maxVelocity);
    particle.velocityY = randomVelocity(minVelocity, maxVelocity);
    return particle;
}

Particle newWhiteParticle(float x, float y) {
    return newColouredParticle(
        x, y, explosionParticleEffectWhiteParticleRed, explosionParticleEffectWhiteParticleGreen,
        explosionParticleEffectWhiteParticleBlue, explosionParticleEffectWhiteParticleMinVelocity,
        explosionParticleEffectWhiteParticleMaxVelocity);
}

Particle newYellowParticle(float x, float y) {
    return newColouredParticle(
        x, y, explosionParticleEffectYellowParticleRed, explosionParticleEffectYellowParticleGreen,
        explosionParticleEffectYellowParticleBlue, explosionParticleEffectYellowParticleMinVelocity,
        explosionParticleEffectYellowParticleMaxVelocity);
}

Particle newOrangeParticle(float x, float y) {
    return newColouredParticle(
        x, y, explosionParticleEffectOrangeParticleRed, explosionParticleEffectOrangeParticleGreen,
        explosionParticleEffectOrangeParticleBlue, explosionParticleEffectOrangeParticleMinVelocity,
        explosionParticleEffectOrangeParticleMaxVelocity);
}

}  // namespace

ExplosionParticleEffect NewExplosionParticleEffect(float x, float y,
                                                   std::function<void()> onAfter) {
    ExplosionParticleEffect effect;
    effect.allDead = false;
    effect.onAfter = std::move(onAfter);
    effect.whiteParticles.reserve(explosionParticleEffectWhiteParticles);
    effect.yellowParticles.reserve(explosionParticleEffectYellowParticles);
    effect.orangeParticles.reserve(explosionParticleEffectOrangeParticles);
    for (int64_t i = 0; i < explosionParticleEffectWhiteParticles; ++i) {
        effect.whiteParticles.push_back(newWhiteParticle(x, y));
    }
    for (int64_t i = 0; i < explosionParticleEffectYellowParticles; ++i) {
        effect.yellowParticles.push_back(newYellowParticle(x, y));
    }
    for (int64_t i = 0; i < explosionParticleEffectOrangeParticles; ++i) {
        effect.orangeParticles.push_back(newOrangeParticle(x, y));
    }
    return effect;
}

void ExplosionParticleEffect::Update(float deltaTime) {
    allDead = true;
    for (auto* particles : {&whiteParticles, &yellowParticles, &orangeParticles}) {
        for (Particle& particle : *particles) {
            if (particle.IsAlive()) {
                allDead = false;
                particle.Update(deltaTime);
            }
        }
    }
    // The callback may discard this effect (its owner keeps it alive until
    // this call has returned); nothing of it is touched afterwards.
    if (allDead && onAfter) {
        onAfter();
    }
}

void ExplosionParticleEffect::Draw(SDL_Renderer* renderer) {
    for (auto* particles : {&orangeParticles, &yellowParticles, &whiteParticles}) {
        for (Particle& particle : *particles) {
            if (particle.IsAlive()) {
                particle.Draw(renderer);
            }
        }
    }
}
