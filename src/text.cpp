#include "text.h"

#include <algorithm>
#include <cmath>
#include <utility>

#include "fatal.h"
#include "loaders.h"
#include "picture.h"
#include "sprite.h"

Text NewText(TTF_Font* lineFont, std::string text, SDL_Color color) {
    return Text{lineFont, std::move(text), color};
}

void Text::DrawCenter(SDL_Renderer* renderer, int32_t x, int32_t y, uint8_t alpha) {
    // The opacity reaches the pixels only through the blended rendering.
    color.a = alpha;
    // Declared before the texture, so the texture is destroyed first. The
    // scaled font is used at once and not kept: asking for another size
    // closes it.
    TTF_Font* drawn = font;
    if (picture.scale != 1.0) {
        const auto size = std::lround(textPointSize * picture.scale);
        drawn = loadFont(static_cast<int>(std::max(1L, size)));
    }
    SurfacePtr surface(TTF_RenderUTF8_Blended(drawn, text.c_str(), color));
    if (!surface) {
        fatal(TTF_GetError());
    }
    TexturePtr texture(SDL_CreateTextureFromSurface(renderer, surface.get()));
    if (!texture) {
        fatalSdl();
    }
    const int32_t w = surface->w;
    const int32_t h = surface->h;
    const SDL_Rect destination{toOutput(x) - w / 2, toOutput(y) - h / 2, w, h};
    SDL_RenderCopy(renderer, texture.get(), nullptr, &destination);
    texture.reset();
    surface.reset();
}
