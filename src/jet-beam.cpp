#include "jet-beam.h"

#include "random.h"

namespace {

constexpr float jetBeamFallSpeed = 0.2f;  // pixels per millisecond, straight down

// A whole-pixel offset into a spawn rectangle side of the given length.
float spawnOffset(int64_t length) {
    return static_cast<float>(RandomNumber(0, length));
}

}  // namespace

JetBeamParticleEffect NewJetBeamParticleEffect(float x, float y, int64_t w, int64_t h,
                                               int64_t yellow, int64_t orange) {
    JetBeamParticleEffect effect;
    effect.originX = x;
    effect.originY = y;
    effect.effectWidth = w;
    effect.effectHeight = h;
    for (int64_t i = 1; i <= yellow; ++i) {
        effect.yellowParticles.push_back(effect.newYellowParticle(effect.originX, effect.originY));
    }
    for (int64_t i = 1; i <= orange; ++i) {
        effect.orangeParticles.push_back(effect.newOrangeParticle(effect.originX, effect.originY));
    }
    return effect;
}

Particle JetBeamParticleEffect::newYellowParticle(float x, float y) const {
    return newParticle(x, y, 50.0f, 100.0f, jetBeamParticleEffectYellowParticleRed,
                       jetBeamParticleEffectYellowParticleGreen,
                       jetBeamParticleEffectYellowParticleBlue);
}

Particle JetBeamParticleEffect::newOrangeParticle(float x, float y) const {
    return newParticle(x, y, 100.0f, 150.0f, jetBeamParticleEffectOrangeParticleRed,
                       jetBeamParticleEffectOrangeParticleGreen,
                       jetBeamParticleEffectOrangeParticleBlue);
}

Particle JetBeamParticleEffect::newParticle(float x, float y, float minAlive, float maxAlive,
                                            uint8_t red, uint8_t green, uint8_t blue) const {
    // Three draws, always in this order: x offset, y offset, life span.
    const float particleX = x + spawnOffset(effectWidth);
    const float particleY = y + spawnOffset(effectHeight);
    const auto lifeSpans = static_cast<int64_t>(maxAlive - minAlive);
    const float aliveTime = minAlive + static_cast<float>(RandomNumber(0, lifeSpans));

    Particle particle;
    particle.rectangle =
        SDL_Rect{0, 0, jetBeamParticleEffectParticleWidth, jetBeamParticleEffectParticleHeight};
    particle.alive = true;
    particle.aliveTime = aliveTime;
    particle.timeLeft = aliveTime;
    particle.red = red;
    particle.green = green;
    particle.blue = blue;
    particle.originX = particle.currentX = particleX;
    particle.originY = particle.currentY = particleY;
    particle.velocityX = 0.0f;
    particle.velocityY = jetBeamFallSpeed;
    return particle;
}

void JetBeamParticleEffect::updateParticle(Particle& particle, float deltaTime, float x,
                                           float y) const {
    particle.Update(deltaTime);
    if (!particle.IsAlive()) {
        // Restarts where the exhaust is now, keeping its own life span.
        particle.originX = x + spawnOffset(effectWidth);
        particle.originY = y + spawnOffset(effectHeight);
        particle.Reset();
    }
}

void JetBeamParticleEffect::Update(float deltaTime, float x, float y) {
    for (Particle& particle : yellowParticles) {
        updateParticle(particle, deltaTime, x, y);
    }
    for (Particle& particle : orangeParticles) {
        updateParticle(particle, deltaTime, x, y);
    }
}

void JetBeamParticleEffect::Draw(SDL_Renderer* renderer) {
    for (Particle& particle : orangeParticles) {
        particle.Draw(renderer);
    }
    for (Particle& particle : yellowParticles) {
        particle.Draw(renderer);
    }
}
