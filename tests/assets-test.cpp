// The embedded media files, decoded through the same libraries the program
// uses, have the properties the program is built around.

#include <SDL_image.h>
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "bindata.h"
#include "canvas.h"
#include "main.h"

namespace {

SDL_Surface* decodedImage(const char* name) {
    // Like the loaders' own caches, these are kept until the process ends.
    struct Cached {
        std::vector<uint8_t>* bytes = nullptr;
        SDL_RWops* stream = nullptr;
        SDL_Surface* surface = nullptr;
    };
    static auto* cache = new std::map<std::string, Cached>;
    Cached& entry = (*cache)[name];
    return loadCachedImage(name, entry.bytes, entry.stream, entry.surface);
}

struct AlphaCount {
    int transparent = 0;
    int opaque = 0;
    int partial = 0;
};

AlphaCount countAlpha(SDL_Surface* surface) {
    const auto alpha = [surface](auto test) {
        return static_cast<int>(countPixels(surface, [&](SDL_Color c) { return test(c.a); }));
    };
    return {alpha([](int a) { return a == 0; }), alpha([](int a) { return a == 255; }),
            alpha([](int a) { return a > 0 && a < 255; })};
}

// Code points of a UTF-8 string.
std::vector<uint32_t> codePoints(const std::string& text) {
    std::vector<uint32_t> points;
    for (size_t i = 0; i < text.size();) {
        const auto c = static_cast<unsigned char>(text[i]);
        const int length = c < 0x80 ? 1 : c < 0xe0 ? 2 : c < 0xf0 ? 3 : 4;
        uint32_t point = length == 1 ? c : c & (0x7f >> length);
        for (int k = 1; k < length; ++k) {
            point = point << 6 | (static_cast<unsigned char>(text[i + k]) & 0x3f);
        }
        points.push_back(point);
        i += length;
    }
    return points;
}

uint32_t le32(const std::vector<uint8_t>& b, size_t at) {
    return b[at] | b[at + 1] << 8 | b[at + 2] << 16 | uint32_t(b[at + 3]) << 24;
}
uint16_t le16(const std::vector<uint8_t>& b, size_t at) {
    return static_cast<uint16_t>(b[at] | b[at + 1] << 8);
}

}  // namespace

// The logo's edges are anti-aliased; the sprites' alpha is all or nothing.
TEST(Assets, TheImagesHaveTheirSizesATransparentBackgroundAndTheirKindOfEdges) {
    struct Image {
        const char* name;
        int width;
        int height;
        bool softEdges;
    };
    for (const Image& want :
         {Image{"res/vimbel.png", 146, 175, true}, Image{"res/asteroid.png", 64, 64, false},
          Image{"res/rymdskepp.png", 64, 64, false}}) {
        SDL_Surface* image = decodedImage(want.name);
        EXPECT_EQ(image->w, want.width) << want.name;
        EXPECT_EQ(image->h, want.height) << want.name;
        EXPECT_TRUE(SDL_ISPIXELFORMAT_ALPHA(image->format->format)) << want.name;
        const auto alpha = countAlpha(image);
        EXPECT_GT(alpha.transparent, 0) << want.name;
        EXPECT_EQ(alpha.partial > 0, want.softEdges) << want.name;
        EXPECT_GT(alpha.opaque + alpha.partial, want.width * want.height / 5) << want.name;
    }
}

TEST(Assets, TheFontIsFixedWidthAndCoversEveryLineOfTheDemo) {
    TTF_Font* demoFont = loadFont();
    EXPECT_NE(TTF_FontFaceIsFixedWidth(demoFont), 0);
    EXPECT_EQ(TTF_FontFaces(demoFont), 1);
    for (const char* line : demoLines) {
        for (const uint32_t point : codePoints(line)) {
            EXPECT_NE(TTF_GlyphIsProvided32(demoFont, point), 0)
                << "U+" << std::hex << point << " in \"" << line << "\"";
        }
        int width = 0;
        int height = 0;
        EXPECT_EQ(TTF_SizeUTF8(demoFont, line, &width, &height), 0);
        EXPECT_GT(width, 0);
    }
    // One advance for every printable character.
    int first = -1;
    for (uint32_t point = 0x20; point < 0x7f; ++point) {
        int advance = 0;
        ASSERT_EQ(TTF_GlyphMetrics32(demoFont, point, nullptr, nullptr, nullptr, nullptr, &advance),
                  0);
        if (first < 0) {
            first = advance;
        }
        EXPECT_EQ(advance, first) << "U+" << std::hex << point;
    }
}

TEST(Assets, TheMusicIs24BitStereoPcmOfTheLoopsLength) {
    const auto wav = Asset("res/music.wav");
    ASSERT_TRUE(wav.ok());
    const auto& b = wav.value;
    ASSERT_GE(b.size(), 44u);
    EXPECT_EQ(std::string(b.begin(), b.begin() + 4), "RIFF");
    EXPECT_EQ(le32(b, 4), b.size() - 8);
    EXPECT_EQ(std::string(b.begin() + 8, b.begin() + 12), "WAVE");

    bool sawFormat = false;
    uint32_t dataSize = 0;
    for (size_t at = 12; at + 8 <= b.size();) {
        const std::string id(b.begin() + at, b.begin() + at + 4);
        const uint32_t size = le32(b, at + 4);
        if (id == "fmt ") {
            sawFormat = true;
            EXPECT_EQ(size, 16u);
            EXPECT_EQ(le16(b, at + 8), 1) << "plain PCM";
            EXPECT_EQ(le16(b, at + 10), 2) << "channels";
            EXPECT_EQ(le32(b, at + 12), 44100u);
            EXPECT_EQ(le32(b, at + 16), 264600u) << "bytes per second";
            EXPECT_EQ(le16(b, at + 20), 6) << "block align";
            EXPECT_EQ(le16(b, at + 22), 24) << "bits per sample";
        } else if (id == "data") {
            dataSize = size;
            EXPECT_LE(at + 8 + size, b.size());
        }
        at += 8 + size + (size & 1);
    }
    EXPECT_TRUE(sawFormat);
    EXPECT_EQ(dataSize, 906240u) << "151040 frames";
}
