#pragma once

// A software renderer drawing into a plain surface, so that tests can draw
// with the real SDL calls and read the pixels back.

#include <SDL.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <string>

#include "picture.h"
#include "picture.h"

// A pixel of a surface of 32 bits a pixel.
inline SDL_Color pixelOf(const SDL_Surface* surface, int x, int y) {
    const auto* row = static_cast<const uint8_t*>(surface->pixels) + y * surface->pitch;
    SDL_Color c;
    SDL_GetRGBA(reinterpret_cast<const uint32_t*>(row)[x], surface->format, &c.r, &c.g, &c.b, &c.a);
    return c;
}

struct Canvas {
    SDL_Surface* surface = nullptr;
    SDL_Renderer* renderer = nullptr;

    Canvas(int width, int height) {
        surface = SDL_CreateRGBSurfaceWithFormat(0, width, height, 32, SDL_PIXELFORMAT_ARGB8888);
        renderer = surface ? SDL_CreateSoftwareRenderer(surface) : nullptr;
        if (!renderer) {
            ADD_FAILURE() << "software renderer: " << SDL_GetError();
        }
        clear();
    }
    ~Canvas() {
        SDL_DestroyRenderer(renderer);  // either may be null: SDL then does nothing
        SDL_FreeSurface(surface);
    }
    Canvas(const Canvas&) = delete;
    Canvas& operator=(const Canvas&) = delete;

    void clear() {
        SDL_SetRenderDrawColor(renderer, 0, 0, 0, 255);
        SDL_RenderClear(renderer);
    }

    SDL_Color pixel(int x, int y) const { return pixelOf(surface, x, y); }

    bool isBlack(int x, int y) const {
        const SDL_Color c = pixel(x, y);
        return (c.r | c.g | c.b) == 0;
    }

    // Pixels that are not black, in the given area or everywhere.
    long litPixels(int x = 0, int y = 0, int w = 0, int h = 0) const;

    // The smallest rectangle that holds every pixel that is not black.
    SDL_Rect litBounds() const {
        int left = surface->w, top = surface->h, right = -1, bottom = -1;
        for (int y = 0; y < surface->h; ++y) {
            for (int x = 0; x < surface->w; ++x) {
                if (!isBlack(x, y)) {
                    left = std::min(left, x);
                    right = std::max(right, x);
                    top = std::min(top, y);
                    bottom = std::max(bottom, y);
                }
            }
        }
        return {left, top, right - left + 1, bottom - top + 1};
    }
};

// Sets the screen size globals for the duration of a test.
struct ScreenSize {
    int32_t oldWidth = screenWidth;
    int32_t oldHeight = screenHeight;
    ScreenSize(int32_t width, int32_t height) {
        screenWidth = width;
        screenHeight = height;
    }
    ~ScreenSize() {
        screenWidth = oldWidth;
        screenHeight = oldHeight;
    }
};

// Read back from an output of the given size, a scene the demo has drawn
// lights at least this many pixels. On the 1920 x 1080 picture the two logos
// alone light some 29 000; stars and a line of text, all else there is at the
// start, some 5 000. Everything scales with the picture's area.
inline long sceneDrawnPixels(int outputWidth, int outputHeight) {
    const double scale =
        placePicture(designSizeFor(outputWidth, outputHeight), outputWidth, outputHeight).scale;
    return static_cast<long>(20000 * scale * scale);
}

// The pixels of a surface, in any format, within `area` (all of it if none)
// for which `test` holds; -1 if there is no surface.
template <typename Test>
long countPixels(SDL_Surface* surface, Test test, const SDL_Rect* area = nullptr) {
    SDL_Surface* argb =
        surface ? SDL_ConvertSurfaceFormat(surface, SDL_PIXELFORMAT_ARGB8888, 0) : nullptr;
    if (!argb) {
        return -1;
    }
    SDL_Rect clip{0, 0, argb->w, argb->h};
    if (area && !SDL_IntersectRect(area, &clip, &clip)) {
        clip = {};
    }
    long count = 0;
    for (int y = clip.y; y < clip.y + clip.h; ++y) {
        for (int x = clip.x; x < clip.x + clip.w; ++x) {
            count += test(pixelOf(argb, x, y)) ? 1 : 0;
        }
    }
    SDL_FreeSurface(argb);
    return count;
}

// Those that are not black.
inline long litPixels(SDL_Surface* surface, const SDL_Rect* area = nullptr) {
    return countPixels(
        surface, [](SDL_Color c) { return (c.r | c.g | c.b) != 0; }, area);
}

inline long Canvas::litPixels(int x, int y, int w, int h) const {
    const SDL_Rect area{x, y, w, h};
    return ::litPixels(surface, w > 0 ? &area : nullptr);
}

// Whether a saved frame shows the drawn scene (the logos at least).
inline testing::AssertionResult sceneDrawnInBmp(const std::string& path) {
    SDL_Surface* frame = SDL_LoadBMP(path.c_str());
    if (!frame) {
        return testing::AssertionFailure() << path << ": " << SDL_GetError();
    }
    const long least = sceneDrawnPixels(frame->w, frame->h);
    const long lit = litPixels(frame);
    SDL_FreeSurface(frame);
    return lit > least ? testing::AssertionSuccess()
                       : testing::AssertionFailure()
                             << path << " lights " << lit << " pixels, not over " << least;
}
