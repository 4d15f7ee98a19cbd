#include "loaders.h"

#include <SDL_image.h>

#include <memory>
#include <utility>

#include "bindata.h"
#include "fatal.h"
#include "handles.h"

// What the loaders decode stays for the rest of the session: the font and the
// music keep reading their bytes through their streams, so the bytes and the
// streams go only in releaseLoaders, after whatever reads them. No destructor
// here runs at exit: shutdown releases everything while the libraries are
// still up.

std::vector<uint8_t>* vimbelAsset = nullptr;
SDL_RWops* vimbelRWops = nullptr;
SDL_Surface* vimbelSurface = nullptr;

std::vector<uint8_t>* fontAsset = nullptr;
SDL_RWops* fontRWops = nullptr;
TTF_Font* font = nullptr;

// Every music load gets its own bytes and stream, which its music object reads
// while it plays; all of them are kept until released, the latest one named by
// the globals.
struct MusicSource {
    std::vector<uint8_t> bytes;
    SDL_RWops* rwops = nullptr;
};
namespace {
std::vector<MusicSource*>* musicSources = new std::vector<MusicSource*>;
}  // namespace
std::vector<uint8_t>* musicAsset = nullptr;
SDL_RWops* musicRWops = nullptr;

namespace {

std::vector<uint8_t> assetOrFatal(const char* name) {
    auto bytes = Asset(name);
    if (!bytes.ok()) {
        fatal(*bytes.error);
    }
    return std::move(bytes.value);
}

RWopsPtr streamOrFatal(std::vector<uint8_t>& bytes) {
    RWopsPtr rwops(SDL_RWFromMem(bytes.data(), static_cast<int>(bytes.size())));
    if (!rwops) {
        fatalSdl();
    }
    return rwops;
}

// The globals of every image cache filled so far, for releaseLoaders.
struct ImageCache {
    std::vector<uint8_t>** bytes;
    SDL_RWops** rwops;
    SDL_Surface** surface;
};
std::vector<ImageCache>* imageCaches = new std::vector<ImageCache>;

}  // namespace

SDL_Surface* loadCachedImage(const char* name, std::vector<uint8_t>*& bytes, SDL_RWops*& rwops,
                             SDL_Surface*& surface) {
    if (surface) {
        return surface;
    }
    auto decoded = std::make_unique<std::vector<uint8_t>>(assetOrFatal(name));
    RWopsPtr stream = streamOrFatal(*decoded);
    SurfacePtr image(IMG_LoadPNG_RW(stream.get()));
    if (!image) {
        fatal(IMG_GetError());
    }
    bytes = decoded.release();
    rwops = stream.release();
    surface = image.release();
    imageCaches->push_back({&bytes, &rwops, &surface});
    return surface;
}

SDL_Surface* loadVimbel() {
    return loadCachedImage("res/vimbel.png", vimbelAsset, vimbelRWops, vimbelSurface);
}

TTF_Font* loadFont() {
    if (font) {
        return font;
    }
    auto bytes = std::make_unique<std::vector<uint8_t>>(assetOrFatal("res/font.ttf"));
    RWopsPtr stream = streamOrFatal(*bytes);
    TTF_Font* opened = TTF_OpenFontIndexRW(stream.get(), 0, textPointSize, 0);
    if (!opened) {
        fatal(TTF_GetError());
    }
    fontAsset = bytes.release();
    fontRWops = stream.release();
    font = opened;
    return font;
}

namespace {
// The font at the one other size kept open, with its own stream over the
// shared bytes: a font reads through its stream while it lives, and each keeps
// its own position. The font is declared first, so it closes before its stream.
struct ScaledFont {
    int pointSize = 0;
    FontPtr font;
    RWopsPtr rwops;
};
ScaledFont* scaledFont = new ScaledFont;
}  // namespace

// A new size replaces the previous one: the picture's scale changes only when
// the output is resized, and a resized browser canvas would otherwise gather
// one open font per size it has ever had.
TTF_Font* loadFont(int pointSize) {
    if (pointSize == textPointSize) {
        return loadFont();
    }
    if (scaledFont->font && scaledFont->pointSize == pointSize) {
        return scaledFont->font.get();
    }
    loadFont();
    RWopsPtr stream = streamOrFatal(*fontAsset);
    FontPtr sized(TTF_OpenFontIndexRW(stream.get(), 0, pointSize, 0));
    if (!sized) {
        fatal(TTF_GetError());
    }
    *scaledFont = ScaledFont{pointSize, std::move(sized), std::move(stream)};
    return scaledFont->font.get();
}

size_t openFontCount() {
    return (font ? 1 : 0) + (scaledFont->font ? 1 : 0);
}

Mix_Music* loadMusic() {
    auto* source = new MusicSource{assetOrFatal("res/music.wav"), nullptr};
    musicSources->push_back(source);
    musicAsset = &source->bytes;
    source->rwops = musicRWops = streamOrFatal(source->bytes).release();
    Mix_Music* music = Mix_LoadMUSType_RW(musicRWops, MUS_WAV, 0);
    if (!music) {
        fatalSdl();
    }
    return music;
}

namespace {
// Closes a kept stream, if any, and forgets it.
void closeStream(SDL_RWops*& rwops) {
    if (rwops) {
        SDL_RWclose(rwops);
        rwops = nullptr;
    }
}
}  // namespace

void releaseLoaders() {
    // Each font before the stream it reads, each stream before its bytes.
    *scaledFont = ScaledFont{};
    if (font) {
        TTF_CloseFont(font);
        font = nullptr;
    }
    closeStream(fontRWops);
    delete fontAsset;
    fontAsset = nullptr;

    for (const ImageCache& cache : *imageCaches) {
        SDL_FreeSurface(*cache.surface);
        *cache.surface = nullptr;
        closeStream(*cache.rwops);
        delete *cache.bytes;
        *cache.bytes = nullptr;
    }
    imageCaches->clear();

    for (MusicSource* source : *musicSources) {
        closeStream(source->rwops);
        delete source;
    }
    musicSources->clear();
    musicAsset = nullptr;
    musicRWops = nullptr;
}
