// The embedded media files, decoded by the program's own loaders, have the
// properties the program is built around.

#include <gtest/gtest.h>

#include <string>

#include "asteroid-field.h"
#include "bindata.h"
#include "canvas.h"
#include "loaders.h"
#include "rymdskepp.h"
#include "script.h"

namespace {

long withAlpha(SDL_Surface* surface, int low, int high) {
    return countPixels(surface, [&](SDL_Color c) { return c.a >= low && c.a <= high; });
}

// The little-endian number of the given bytes at `at`.
uint32_t le(const std::vector<uint8_t>& b, size_t at, int bytes = 4) {
    uint32_t value = 0;
    for (int i = bytes - 1; i >= 0; --i) {
        value = value << 8 | b[at + i];
    }
    return value;
}

}  // namespace

// The logo's edges are anti-aliased; the sprites' alpha is all or nothing.
TEST(Assets, TheImagesHaveTheirSizesATransparentBackgroundAndTheirKindOfEdges) {
    struct Image {
        SDL_Surface* (*load)();
        const char* name;
        int width;
        int height;
        bool softEdges;
    };
    for (const Image& want :
         {Image{loadVimbel, "logo", 146, 175, true}, Image{loadAsteroid, "asteroid", 64, 64, false},
          Image{loadRymdskepp, "ship", 64, 64, false}}) {
        SCOPED_TRACE(want.name);
        SDL_Surface* image = want.load();
        ASSERT_NE(image, nullptr);
        EXPECT_EQ(image->w, want.width);
        EXPECT_EQ(image->h, want.height);
        EXPECT_TRUE(SDL_ISPIXELFORMAT_ALPHA(image->format->format));
        EXPECT_GT(withAlpha(image, 0, 0), 0);
        EXPECT_EQ(withAlpha(image, 1, 254) > 0, want.softEdges);
        EXPECT_GT(withAlpha(image, 1, 255), want.width * want.height / 5);
    }
}

TEST(Assets, TheFontIsFixedWidthAndCoversEveryLineOfTheDemo) {
    TTF_Font* demoFont = loadFont();
    EXPECT_NE(TTF_FontFaceIsFixedWidth(demoFont), 0);
    EXPECT_EQ(TTF_FontFaces(demoFont), 1);
    for (const char* line : demoLines) {
        auto* points = reinterpret_cast<Uint32*>(
            SDL_iconv_string("UTF-32LE", "UTF-8", line, SDL_strlen(line) + 1));
        ASSERT_NE(points, nullptr) << line;
        for (const Uint32* point = points; *point; ++point) {
            EXPECT_NE(TTF_GlyphIsProvided32(demoFont, *point), 0)
                << "U+" << std::hex << *point << " in \"" << line << "\"";
        }
        SDL_free(points);
    }
    // One advance, that of the space, for every printable character.
    int space = 0;
    for (uint32_t point = 0x20; point < 0x7f; ++point) {
        int advance = 0;
        ASSERT_EQ(TTF_GlyphMetrics32(demoFont, point, nullptr, nullptr, nullptr, nullptr, &advance),
                  0);
        space = point == 0x20 ? advance : space;
        EXPECT_EQ(advance, space) << "U+" << std::hex << point;
    }
}

TEST(Assets, TheMusicIs24BitStereoPcmOfTheLoopsLength) {
    const auto wav = Asset("res/music.wav");
    ASSERT_TRUE(wav.ok());
    const auto& b = wav.value;
    ASSERT_GE(b.size(), 44u);
    EXPECT_EQ(std::string(b.begin(), b.begin() + 4), "RIFF");
    EXPECT_EQ(le(b, 4), b.size() - 8);
    EXPECT_EQ(std::string(b.begin() + 8, b.begin() + 12), "WAVE");

    bool sawFormat = false;
    uint32_t dataSize = 0;
    for (size_t at = 12; at + 8 <= b.size();) {
        const std::string id(b.begin() + at, b.begin() + at + 4);
        const uint32_t size = le(b, at + 4);
        if (id == "fmt ") {
            sawFormat = true;
            EXPECT_EQ(size, 16u);
            EXPECT_EQ(le(b, at + 8, 2), 1u) << "plain PCM";
            EXPECT_EQ(le(b, at + 10, 2), 2u) << "channels";
            EXPECT_EQ(le(b, at + 12), 44100u);
            EXPECT_EQ(le(b, at + 16), 264600u) << "bytes per second";
            EXPECT_EQ(le(b, at + 20, 2), 6u) << "block align";
            EXPECT_EQ(le(b, at + 22, 2), 24u) << "bits per sample";
        } else if (id == "data") {
            dataSize = size;
            EXPECT_LE(at + 8 + size, b.size());
        }
        at += 8 + size + (size & 1);
    }
    EXPECT_TRUE(sawFormat);
    EXPECT_EQ(dataSize, 906240u) << "151040 frames";
}
