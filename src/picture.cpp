#include "picture.h"

#include <algorithm>
#include <cmath>

int32_t screenWidth = 0;
int32_t screenHeight = 0;
Placement picture;

PictureSize designSizeFor(int32_t outputWidth, int32_t outputHeight) {
    double aspect = 16.0 / 9.0;
    if (outputWidth > 0 && outputHeight > 0) {
        aspect = std::clamp(static_cast<double>(outputWidth) / outputHeight, narrowestAspect,
                            widestAspect);
    }
    return {static_cast<int32_t>(std::lround(designHeight * aspect)), designHeight};
}

Placement placePicture(PictureSize design, int32_t outputWidth, int32_t outputHeight) {
    Placement placement;
    if (design.width <= 0 || design.height <= 0 || outputWidth <= 0 || outputHeight <= 0) {
        placement.area = {0, 0, std::max(outputWidth, 0), std::max(outputHeight, 0)};
        return placement;
    }
    placement.scale = std::min(static_cast<double>(outputWidth) / design.width,
                               static_cast<double>(outputHeight) / design.height);
    // Within a pixel of filling a side, it fills it: no one-pixel bar.
    const int32_t width =
        std::min(outputWidth, static_cast<int32_t>(std::lround(design.width * placement.scale)));
    const int32_t height =
        std::min(outputHeight, static_cast<int32_t>(std::lround(design.height * placement.scale)));
    placement.area = {(outputWidth - width) / 2, (outputHeight - height) / 2, width, height};
    return placement;
}

void beginPicture(SDL_Renderer* renderer) {
    int width = 0;
    int height = 0;
    if (SDL_GetRendererOutputSize(renderer, &width, &height) != 0) {
        width = screenWidth;
        height = screenHeight;
    }
    picture = placePicture({screenWidth, screenHeight}, width, height);
    // The renderer's viewport is reset when its window changes size; set
    // afresh only when it differs.
    SDL_Rect viewport;
    SDL_RenderGetViewport(renderer, &viewport);
    if (!SDL_RectEquals(&viewport, &picture.area)) {
        SDL_RenderSetViewport(renderer, &picture.area);
    }
}

SDL_Rect toOutput(const SDL_Rect& design) {
    const int32_t x = toOutput(static_cast<double>(design.x));
    const int32_t y = toOutput(static_cast<double>(design.y));
    const int32_t right = toOutput(static_cast<double>(design.x) + design.w);
    const int32_t bottom = toOutput(static_cast<double>(design.y) + design.h);
    return {x, y, std::max(1, right - x), std::max(1, bottom - y)};
}
