#pragma once

// The loaders: each turns an embedded file into what the demo draws or plays
// (an image surface, the font, the music), decoding it on first use and
// keeping it for the rest of the session: the font and the music read their
// bytes through their streams while they live. releaseLoaders gives it all
// back; a call after that decodes afresh. Failures are fatal.

#include <SDL.h>
#include <SDL_mixer.h>
#include <SDL_ttf.h>

#include <cstddef>
#include <cstdint>
#include <vector>

// The size of the demo's text on the design picture, in points.
inline constexpr int textPointSize = 96;

// The music, decoded afresh on every call; the caller owns it. Its bytes and
// stream are kept until releaseLoaders.
Mix_Music* loadMusic();
// The logo image, decoded once and shared.
SDL_Surface* loadVimbel();
// The font at the design size of the text (96 points), opened once and shared
// by every text line.
TTF_Font* loadFont();
// The same font at another size in points over the same bytes: the text drawn
// at the picture's scale. One such size is kept open: asking for another
// closes the previous one, so its pointer is good only until the next call
// with another size.
TTF_Font* loadFont(int pointSize);
// The fonts open now: the design size's and the one scaled size, at most 2.
size_t openFontCount();

// Closes and frees everything the loaders keep: the fonts, the image surfaces
// of every image loader, their streams and bytes, and the sources of every
// music loaded. Nothing may use any of them afterwards: it runs after the scene
// and the music are freed and before SDL_ttf and SDL_image quit.
void releaseLoaders();

// The loaders' caches, null until first use and again after releaseLoaders.
extern std::vector<uint8_t>* vimbelAsset;
extern SDL_RWops* vimbelRWops;
extern SDL_Surface* vimbelSurface;
extern std::vector<uint8_t>* fontAsset;
extern SDL_RWops* fontRWops;
extern TTF_Font* font;  // at the design size
// The bytes and stream of the latest loadMusic call.
extern std::vector<uint8_t>* musicAsset;
extern SDL_RWops* musicRWops;

// The image loaders' shared path: on the first call the named asset's bytes,
// a stream over them and the decoded PNG go into the three given globals, which
// releaseLoaders frees and resets to null; every later call returns the cached
// surface at once. Failures are fatal and leave the globals as they were.
SDL_Surface* loadCachedImage(const char* name, std::vector<uint8_t>*& bytes, SDL_RWops*& rwops,
                             SDL_Surface*& surface);
