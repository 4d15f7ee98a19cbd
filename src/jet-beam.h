#pragma once

#include <SDL.h>

#include <cstdint>
#include <vector>

#include "particle.h"

inline constexpr int32_t jetBeamParticleEffectParticleWidth = 8;
inline constexpr int32_t jetBeamParticleEffectParticleHeight = 8;
inline constexpr uint8_t jetBeamParticleEffectYellowParticleRed = 255;
inline constexpr uint8_t jetBeamParticleEffectYellowParticleGreen = 255;
inline constexpr uint8_t jetBeamParticleEffectYellowParticleBlue = 115;
inline constexpr uint8_t jetBeamParticleEffectOrangeParticleRed = 255;
inline constexpr uint8_t jetBeamParticleEffectOrangeParticleGreen = 160;
inline constexpr uint8_t jetBeamParticleEffectOrangeParticleBlue = 40;

// A continuous exhaust: yellow and orange squares start in a small spawn
// rectangle, fall straight down and start again in the spawn rectangle of the
// moment as soon as they expire. The particles are made once and reused.
struct JetBeamParticleEffect {
    float originX = 0.0f;  // places only the particles the constructor makes
    float originY = 0.0f;
    int64_t effectWidth = 0;  // a particle starts at spawn x + 0 ... effectWidth - 1
    int64_t effectHeight = 0;
    std::vector<Particle> yellowParticles;
    std::vector<Particle> orangeParticles;

    // Ages and moves every particle; those that expire restart at once in the
    // spawn rectangle whose top-left corner is (x, y).
    void Update(float deltaTime, float x, float y);
    // Orange first, so the yellow squares lie on top.
    void Draw(SDL_Renderer* renderer);

    Particle newYellowParticle(float x, float y) const;
    Particle newOrangeParticle(float x, float y) const;
    Particle newParticle(float x, float y, float minAlive, float maxAlive, uint8_t red,
                         uint8_t green, uint8_t blue) const;
    void updateParticle(Particle& particle, float deltaTime, float x, float y) const;
};

JetBeamParticleEffect NewJetBeamParticleEffect(float x, float y, int64_t w, int64_t h,
                                               int64_t yellow, int64_t orange);
