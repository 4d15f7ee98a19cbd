#include "sprite.h"

#include <SDL2_rotozoom.h>

#include <utility>

#include "fatal.h"

namespace {

constexpr double rotateZoom = 1.0;
constexpr int rotateSmoothing = 1;  // SMOOTHING_ON

}  // namespace

Sprite NewSprite(SDL_Renderer* renderer, SDL_Surface* surface) {
    if (!surface) {
        fatal("a sprite needs an image, and none was given");
    }
    Sprite sprite;
    sprite.surface = surface;
    sprite.width = surface->w;
    sprite.height = surface->h;
    sprite.texture.reset(SDL_CreateTextureFromSurface(renderer, surface));
    if (!sprite.texture) {
        fatalSdl();
    }
    return sprite;
}

void Sprite::Draw(SDL_Renderer* renderer, int32_t x, int32_t y) {
    const SDL_Rect destination{x, y, width, height};
    SDL_RenderCopy(renderer, texture.get(), nullptr, &destination);
}

void Sprite::RotateAndDraw(SDL_Renderer* renderer, double angle, int32_t x, int32_t y) {
    // Every rotation starts from the untouched source image, so none accumulate.
    SDL_ClearError();
    SurfacePtr rotated(rotozoomSurface(surface, angle, rotateZoom, rotateSmoothing));
    if (!rotated) {
        const char* error = SDL_GetError();
        fatal(error && *error ? error : "the image could not be rotated");
    }
    width = rotated->w;
    height = rotated->h;

    texture.reset();
    TexturePtr created(SDL_CreateTextureFromSurface(renderer, rotated.get()));
    rotated.reset();
    if (!created) {
        fatalSdl();
    }
    texture = std::move(created);
    Draw(renderer, x, y);
}

void Sprite::RotateAndDrawCenter(SDL_Renderer* renderer, double angle, int32_t x, int32_t y) {
    // Centred by the size of the previous draw: exact from the second draw on
    // when the angle stays the same.
    RotateAndDraw(renderer, angle, x - width / 2, y - height / 2);
}
