#pragma once

#include <SDL.h>

#include <cstdint>
#include <functional>
#include <vector>

#include "particle.h"

inline constexpr int64_t explosionParticleEffectWhiteParticles = 245;
inline constexpr int64_t explosionParticleEffectYellowParticles = 490;
inline constexpr int64_t explosionParticleEffectOrangeParticles = 1015;
inline constexpr int32_t explosionParticleEffectParticleWidth = 8;
inline constexpr int32_t explosionParticleEffectParticleHeight = 8;
inline constexpr uint8_t explosionParticleEffectWhiteParticleRed = 255;
inline constexpr uint8_t explosionParticleEffectWhiteParticleGreen = 255;
inline constexpr uint8_t explosionParticleEffectWhiteParticleBlue = 255;
inline constexpr uint8_t explosionParticleEffectYellowParticleRed = 255;
inline constexpr uint8_t explosionParticleEffectYellowParticleGreen = 255;
inline constexpr uint8_t explosionParticleEffectYellowParticleBlue = 155;
inline constexpr uint8_t explosionParticleEffectOrangeParticleRed = 255;
inline constexpr uint8_t explosionParticleEffectOrangeParticleGreen = 160;
inline constexpr uint8_t explosionParticleEffectOrangeParticleBlue = 40;
inline constexpr int64_t explosionParticleEffectWhiteParticleMinVelocity = -8;
inline constexpr int64_t explosionParticleEffectWhiteParticleMaxVelocity = 8;
inline constexpr int64_t explosionParticleEffectYellowParticleMinVelocity = -12;
inline constexpr int64_t explosionParticleEffectYellowParticleMaxVelocity = 12;
inline constexpr int64_t explosionParticleEffectOrangeParticleMinVelocity = -16;
inline constexpr int64_t explosionParticleEffectOrangeParticleMaxVelocity = 16;

// A one-shot burst of white, yellow and orange squares flying apart from a
// centre for 300 milliseconds. Every update after the last one has expired
// reports the end through onAfter.
struct ExplosionParticleEffect {
    std::vector<Particle> whiteParticles;
    std::vector<Particle> yellowParticles;
    std::vector<Particle> orangeParticles;
    bool allDead = false;  // what the latest update found
    std::function<void()> onAfter;

    // Moves the living particles. A particle that expires in this call still
    // counts as alive for it, so onAfter first runs in the following call.
    void Update(float deltaTime);
    // Orange, then yellow, then white on top; expired particles are not drawn.
    void Draw(SDL_Renderer* renderer);
};

ExplosionParticleEffect NewExplosionParticleEffect(float x, float y, std::function<void()> onAfter);
