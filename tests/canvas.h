#pragma once

// A software renderer drawing into a plain surface, so that tests can draw
// with the real SDL calls and read the pixels back.

#include <SDL.h>
#include <gtest/gtest.h>

#include <cstdint>
#include <string>

#include "globals.h"

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
        if (renderer) {
            SDL_DestroyRenderer(renderer);
        }
        SDL_FreeSurface(surface);
    }
    Canvas(const Canvas&) = delete;
    Canvas& operator=(const Canvas&) = delete;

    void clear() {
        SDL_SetRenderDrawColor(renderer, 0, 0, 0, 255);
        SDL_RenderClear(renderer);
    }

    SDL_Color pixel(int x, int y) const {
        const auto* row = static_cast<const uint8_t*>(surface->pixels) + y * surface->pitch;
        const uint32_t value = reinterpret_cast<const uint32_t*>(row)[x];
        SDL_Color c;
        SDL_GetRGBA(value, surface->format, &c.r, &c.g, &c.b, &c.a);
        return c;
    }

    bool isBlack(int x, int y) const {
        const SDL_Color c = pixel(x, y);
        return c.r == 0 && c.g == 0 && c.b == 0;
    }

    // Number of pixels that are not black.
    int litPixels() const {
        int count = 0;
        for (int y = 0; y < surface->h; ++y) {
            for (int x = 0; x < surface->w; ++x) {
                count += isBlack(x, y) ? 0 : 1;
            }
        }
        return count;
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

// Pixels of a BMP file (a frame that SDL saved) that are not black, or -1 if
// it cannot be read.
inline long litPixelsInBmp(const std::string& path) {
    SDL_Surface* frame = SDL_LoadBMP(path.c_str());
    SDL_Surface* argb =
        frame ? SDL_ConvertSurfaceFormat(frame, SDL_PIXELFORMAT_ARGB8888, 0) : nullptr;
    SDL_FreeSurface(frame);
    if (!argb) {
        return -1;
    }
    long lit = 0;
    for (int y = 0; y < argb->h; ++y) {
        const auto* row = reinterpret_cast<const uint32_t*>(
            static_cast<const uint8_t*>(argb->pixels) + y * argb->pitch);
        for (int x = 0; x < argb->w; ++x) {
            lit += (row[x] & 0x00ffffffu) != 0 ? 1 : 0;
        }
    }
    SDL_FreeSurface(argb);
    return lit;
}
