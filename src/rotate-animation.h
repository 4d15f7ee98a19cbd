#pragma once

#include "sprite.h"

// A sprite spinning at a constant signed angular speed.
struct RotateAnimation {
    Sprite sprite;
    double angle = 0.0;  // degrees
    double speed = 0.0;  // degrees per millisecond

    void Update(float deltaTime);
    // Draws the rotated image with its bounding box's top-left corner at (x, y).
    void Draw(SDL_Renderer* renderer, int32_t x, int32_t y);
    // The width of the image drawn last.
    int32_t Width() const { return sprite.Width(); }
};

RotateAnimation NewRotateAnimation(SDL_Renderer* renderer, SDL_Surface* surface, double speed);
