#pragma once

// Owners for the SDL family's handles: each frees its handle with the
// library's own function. Borrowed handles stay plain pointers.

#include <SDL.h>
#include <SDL_ttf.h>

#include <memory>

struct WindowDeleter {
    void operator()(SDL_Window* window) const { SDL_DestroyWindow(window); }
};
using WindowPtr = std::unique_ptr<SDL_Window, WindowDeleter>;

struct RendererDeleter {
    void operator()(SDL_Renderer* renderer) const { SDL_DestroyRenderer(renderer); }
};
using RendererPtr = std::unique_ptr<SDL_Renderer, RendererDeleter>;

struct TextureDeleter {
    void operator()(SDL_Texture* texture) const { SDL_DestroyTexture(texture); }
};
using TexturePtr = std::unique_ptr<SDL_Texture, TextureDeleter>;

struct SurfaceDeleter {
    void operator()(SDL_Surface* surface) const { SDL_FreeSurface(surface); }
};
using SurfacePtr = std::unique_ptr<SDL_Surface, SurfaceDeleter>;

struct RWopsCloser {
    void operator()(SDL_RWops* rwops) const { SDL_RWclose(rwops); }
};
using RWopsPtr = std::unique_ptr<SDL_RWops, RWopsCloser>;

struct FontCloser {
    void operator()(TTF_Font* opened) const { TTF_CloseFont(opened); }
};
using FontPtr = std::unique_ptr<TTF_Font, FontCloser>;
