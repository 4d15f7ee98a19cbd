#pragma once

#include <SDL.h>

#include <cstdint>

#include "jet-beam.h"
#include "sprite.h"

inline constexpr int32_t rymdskeppTextureWidth = 64;
inline constexpr int32_t rymdskeppTextureHeight = 64;
// The exhaust's spawn point relative to the ship's top-left corner.
inline constexpr int32_t rymdskeppJetBeamOffsetX = 24;
inline constexpr int32_t rymdskeppJetBeamOffsetY = 48;
inline constexpr int64_t rymdskeppJetBeamWidth = 10;
inline constexpr int64_t rymdskeppJetBeamHeight = 16;
inline constexpr int64_t rymdskeppJetBeamYellowParticles = 20;
inline constexpr int64_t rymdskeppJetBeamOrangeParticles = 40;

// The spaceship image, decoded once.
SDL_Surface* loadRymdskepp();

// The spaceship with its exhaust streaming from it.
struct Rymdskepp {
    Sprite sprite;
    JetBeamParticleEffect jetBeam;
    int32_t x = 0;  // top-left corner
    int32_t y = 0;
    bool show = true;  // whether the ship and its exhaust are drawn

    // Moves the exhaust along to the ship, shown or not.
    void Update(float deltaTime);
    void Draw(SDL_Renderer* renderer);
};

// Shown, at (0, 0); the caller places it. The exhaust's first particles are
// made at the screen's top-left corner and restart at the ship as they expire.
Rymdskepp NewRymdskepp(SDL_Renderer* renderer);
