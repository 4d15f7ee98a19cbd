#pragma once

#include <SDL.h>

#include <cstdint>

// One filled, opaque square with a life span, a start point, a current
// position and a constant velocity. Driven by the particle effects.
struct Particle {
    SDL_Rect rectangle{0, 0, 0, 0};
    bool alive = false;
    float aliveTime = 0.0f;
    float timeLeft = 0.0f;
    uint8_t red = 0;
    uint8_t green = 0;
    uint8_t blue = 0;
    float originX = 0.0f;
    float originY = 0.0f;
    float currentX = 0.0f;
    float currentY = 0.0f;
    float velocityX = 0.0f;
    float velocityY = 0.0f;

    bool IsAlive() const { return alive; }
    // Ages the particle; it dies, without moving, when its time runs out.
    void Update(float deltaTime);
    // Alive again at its origin with its full life span.
    void Reset();
    // Fills its square at the truncated current position, alive or not,
    // scaled to the picture.
    void Draw(SDL_Renderer* renderer);
};
