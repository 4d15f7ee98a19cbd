#pragma once

#include <SDL.h>
#include <SDL_ttf.h>

#include <cstdint>
#include <string>

#include "loaders.h"

// One line of text in one font and colour, drawn centred at a given opacity.
struct Text {
    TTF_Font* font = nullptr;  // borrowed from the loader's cache
    std::string text;          // UTF-8
    SDL_Color color{0, 0, 0, 0};

    // Rasterises the line blended at the given opacity, draws it centred on
    // (x, y) of the picture and releases it again. The colour keeps the last
    // opacity. At a scale other than 1 the line is set in the demo's font
    // (loadFont) at the scaled size, so it is as sharp as the output; that
    // font is not kept past the call.
    void DrawCenter(SDL_Renderer* renderer, int32_t x, int32_t y, uint8_t alpha);
};

Text NewText(TTF_Font* font, std::string text, SDL_Color color);
