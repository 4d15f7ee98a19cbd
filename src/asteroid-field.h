#pragma once

#include <SDL.h>

#include <cstdint>
#include <functional>
#include <vector>

#include "sprite.h"

// The asteroid image, decoded once and shared by every asteroid.
SDL_Surface* loadAsteroid();

// One asteroid falling straight down at a fixed angle.
struct Asteroid {
    float startX = 0.0f;
    float startY = 0.0f;
    float x = 0.0f;  // centre
    float y = 0.0f;
    float angle = 0.0f;  // degrees, fixed
    float speed = 0.0f;  // pixels per millisecond
    Sprite sprite;       // its own, over the shared image
    int64_t resets = 0;  // how many more times it goes back to its start
    bool dead = false;

    void Update(float deltaTime);
    // Rotated and centred on its position.
    void Draw(SDL_Renderer* renderer);
};

Asteroid NewAsteroid(SDL_Renderer* renderer, float x, float y, float speed, float angle);

// A row of asteroids, one per 64-pixel column, leaving a free lane around the
// screen's horizontal centre. Reports once, through onDead, when the last one
// has fallen out at the bottom.
struct AsteroidField {
    std::vector<Asteroid> asteroids;  // in column order, left to right
    bool allDead = false;
    std::function<void()> onDead;

    void Update(float deltaTime);
    void Draw(SDL_Renderer* renderer);
};

AsteroidField NewAsteroidField(SDL_Renderer* renderer, std::function<void()> onDead);
