#pragma once

#include <SDL.h>

#include <cstdint>

#include "handles.h"

// An image held as a texture, drawn plain or rotated, in design pixels on the
// picture. The texture is made at the picture's scale from the source image,
// so it is as sharp as the output. A rotated draw replaces the texture and the
// size with those of the rotated image's bounding box.
struct Sprite {
    SDL_Surface* surface = nullptr;  // borrowed from the loader's cache
    TexturePtr texture;
    int32_t width = 0;  // design pixels
    int32_t height = 0;
    double textureZoom = 1.0;  // output pixels per source pixel in the texture
    int32_t textureWidth = 0;  // output pixels
    int32_t textureHeight = 0;

    // Copies the whole texture with its top-left corner at (x, y). A texture
    // made at another scale is first made afresh, unrotated, from the source.
    void Draw(SDL_Renderer* renderer, int32_t x, int32_t y);
    int32_t Width() const { return width; }
    int32_t Height() const { return height; }
    // Rotates the source image by angle degrees and zooms it to the picture's
    // scale in one smoothed step, and draws the rotated image's bounding box
    // with its top-left corner at (x, y).
    void RotateAndDraw(SDL_Renderer* renderer, double angle, int32_t x, int32_t y);
    // The same, centred on (x, y) by the size held before this draw.
    void RotateAndDrawCenter(SDL_Renderer* renderer, double angle, int32_t x, int32_t y);
};

Sprite NewSprite(SDL_Renderer* renderer, SDL_Surface* surface);

// The size in design pixels of the source rotated by angle degrees, as drawn
// one output pixel per design pixel.
void rotatedSize(const SDL_Surface* surface, double angle, int32_t& width, int32_t& height);
