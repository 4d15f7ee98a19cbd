#pragma once

#include <SDL.h>

#include <cstdint>
#include <vector>

// One falling star; it restarts just above the top edge in a new column when
// it has passed the bottom edge.
struct Star {
    SDL_Rect rectangle{0, 0, 0, 0};
    float x = 0.0f;
    float y = 0.0f;
    float velocity = 0.0f;  // pixels per millisecond

    void Update(float deltaTime);
    void Draw(SDL_Renderer* renderer);
};

// At a random position on the screen.
Star NewStar(int32_t width, int32_t height, float velocity);

// One layer of the starfield: stars of one size and one speed.
struct Background {
    std::vector<Star> stars;

    void Update(float deltaTime);
    void Draw(SDL_Renderer* renderer);
};

Background NewBackground(uint32_t numberOfStars, int32_t starWidth, int32_t starHeight,
                         float starVelocity);
