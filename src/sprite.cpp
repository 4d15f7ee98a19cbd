#include "sprite.h"

#include <SDL2_rotozoom.h>

#include <cmath>
#include <utility>

#include "fatal.h"
#include "picture.h"

namespace {

constexpr int rotateSmoothing = 1;  // SMOOTHING_ON
// Below this many degrees rotozoomSurface only zooms, keeping the source's size.
constexpr double rotateLimit = 0.001;

// Replaces the sprite's texture with one made from the given image.
void takeTexture(SDL_Renderer* renderer, Sprite& sprite, SDL_Surface* image, double zoom) {
    sprite.texture.reset();
    TexturePtr created(SDL_CreateTextureFromSurface(renderer, image));
    if (!created) {
        fatalSdl();
    }
    sprite.texture = std::move(created);
    sprite.textureZoom = zoom;
    sprite.textureWidth = image->w;
    sprite.textureHeight = image->h;
}

// The source rotated and zoomed in one smoothed step; fatal on failure.
SurfacePtr rotozoom(SDL_Surface* surface, double angle, double zoom) {
    SDL_ClearError();
    SurfacePtr image(rotozoomSurface(surface, angle, zoom, rotateSmoothing));
    if (!image) {
        const char* error = SDL_GetError();
        fatal(error && *error ? error : "the image could not be rotated");
    }
    return image;
}

}  // namespace

void rotatedSize(const SDL_Surface* surface, double angle, int32_t& width, int32_t& height) {
    if (std::fabs(angle) <= rotateLimit) {
        width = surface->w;
        height = surface->h;
        return;
    }
    int w = 0;
    int h = 0;
    rotozoomSurfaceSize(surface->w, surface->h, angle, 1.0, &w, &h);
    width = w;
    height = h;
}

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
    sprite.textureZoom = 1.0;
    sprite.textureWidth = surface->w;
    sprite.textureHeight = surface->h;
    return sprite;
}

void Sprite::Draw(SDL_Renderer* renderer, int32_t x, int32_t y) {
    if (textureZoom != picture.scale && surface) {
        // Made once per scale from the source, never blown up from a texture.
        if (picture.scale == 1.0) {
            takeTexture(renderer, *this, surface, 1.0);
        } else {
            takeTexture(renderer, *this, rotozoom(surface, 0.0, picture.scale).get(),
                        picture.scale);
        }
        width = surface->w;
        height = surface->h;
    }
    const SDL_Rect destination{toOutput(x), toOutput(y), textureWidth, textureHeight};
    SDL_RenderCopy(renderer, texture.get(), nullptr, &destination);
}

void Sprite::RotateAndDraw(SDL_Renderer* renderer, double angle, int32_t x, int32_t y) {
    if (!surface) {
        fatal("the image could not be rotated: the sprite has none");
    }
    // Every rotation starts from the untouched source image, so none accumulate.
    SurfacePtr rotated = rotozoom(surface, angle, picture.scale);
    rotatedSize(surface, angle, width, height);
    takeTexture(renderer, *this, rotated.get(), picture.scale);
    rotated.reset();
    Draw(renderer, x, y);
}

void Sprite::RotateAndDrawCenter(SDL_Renderer* renderer, double angle, int32_t x, int32_t y) {
    // Centred by the size of the previous draw: exact from the second draw on
    // when the angle stays the same.
    RotateAndDraw(renderer, angle, x - width / 2, y - height / 2);
}
