// One picture at every output size: the design size and placement each output
// gets, the same frames at every 16:9 size, today's frames at 1920 x 1080, the
// same story length on every shape, and the longest line inside the picture.

#include <gtest/gtest.h>
#include <zlib.h>

#include <algorithm>
#include <cmath>
#include <functional>
#include <map>
#include <string>
#include <tuple>
#include <vector>

#include "clock.h"
#include "demo-scene.h"

namespace {

constexpr int64_t seed = 20230805;  // the capture tool's own

// Plays the story as the capture tool does, on a canvas of the output's size
// and the design picture chosen for it, until it ends or `until` ms of demo
// time; `seen` is called with each frame and its time. Returns the time of
// the last frame.
int64_t play(int32_t width, int32_t height, int32_t fps, int64_t until,
             const std::function<void(const Canvas&, int64_t)>& seen = {}) {
    SceneOnCanvas demo(width, height, seed, designSizeFor(width, height));
    int64_t time = 0;
    for (int64_t n = 0; running && time < until; ++n) {
        time = frameTime(n, fps);
        framePass(*demo.scene, demo.canvas.renderer, frameDelta(n, fps));
        if (seen) {
            seen(demo.canvas, time);
        }
    }
    return time;
}

// The frame's colour channels, as a capture writes them.
uLong digest(const Canvas& canvas) {
    std::vector<uint8_t> rgb;
    rgb.reserve(static_cast<size_t>(canvas.surface->w) * canvas.surface->h * 3);
    for (int y = 0; y < canvas.surface->h; ++y) {
        for (int x = 0; x < canvas.surface->w; ++x) {
            const SDL_Color c = canvas.pixel(x, y);
            rgb.insert(rgb.end(), {c.r, c.g, c.b});
        }
    }
    return crc32(0L, rgb.data(), static_cast<uInt>(rgb.size()));
}

// The frame averaged down to 480 x 270, one grey level per cell.
std::vector<double> thumbnail(const Canvas& canvas) {
    constexpr int w = 480;
    constexpr int h = 270;
    std::vector<double> sum(w * h, 0.0);
    std::vector<int> count(w * h, 0);
    for (int y = 0; y < canvas.surface->h; ++y) {
        for (int x = 0; x < canvas.surface->w; ++x) {
            const SDL_Color c = canvas.pixel(x, y);
            const int cell = (y * h / canvas.surface->h) * w + x * w / canvas.surface->w;
            sum[cell] += (c.r + c.g + c.b) / 3.0;
            ++count[cell];
        }
    }
    for (size_t i = 0; i < sum.size(); ++i) {
        sum[i] /= count[i];
    }
    return sum;
}

// Greeting, the ship's entrance, the asteroids twice, the explosion, closing.
const std::vector<int64_t> moments = {2000, 14000, 20000, 30000, 37200, 40000};

}  // namespace

// Every output only chooses the design size and where the picture lands.
TEST(Picture, EachOutputGetsItsDesignSizeAndPlacement) {
    struct Entry {
        int32_t outputWidth, outputHeight;
        std::pair<int32_t, int32_t> design;
        double scale;
        std::tuple<int, int, int, int> area;
    };
    for (const Entry& e : std::vector<Entry>{
             {1920, 1080, {1920, 1080}, 1.0, {0, 0, 1920, 1080}},
             {1280, 720, {1920, 1080}, 2.0 / 3.0, {0, 0, 1280, 720}},
             {3840, 2160, {1920, 1080}, 2.0, {0, 0, 3840, 2160}},
             {7680, 4320, {1920, 1080}, 4.0, {0, 0, 7680, 4320}},
             {2560, 1600, {1728, 1080}, 1600.0 / 1080, {0, 0, 2560, 1600}},
             {800, 600, {1440, 1080}, 800.0 / 1440, {0, 0, 800, 600}},
             {1280, 1024, {1440, 1080}, 1280.0 / 1440, {0, 32, 1280, 960}},
             {3440, 1440, {2580, 1080}, 1440.0 / 1080, {0, 0, 3440, 1440}},
             {5120, 1440, {2592, 1080}, 1440.0 / 1080, {832, 0, 3456, 1440}},
             {1080, 2400, {1440, 1080}, 0.75, {0, 795, 1080, 810}},
             {64, 64, {1440, 1080}, 64.0 / 1440, {0, 8, 64, 48}},
             {0, 0, {1920, 1080}, 1.0, {0, 0, 0, 0}},
         }) {
        const std::string output =
            std::to_string(e.outputWidth) + "x" + std::to_string(e.outputHeight);
        const PictureSize design = designSizeFor(e.outputWidth, e.outputHeight);
        EXPECT_EQ(std::pair(design.width, design.height), e.design) << output;
        const Placement placed = placePicture(design, e.outputWidth, e.outputHeight);
        EXPECT_NEAR(placed.scale, e.scale, 1e-9) << output;
        const SDL_Rect& a = placed.area;
        EXPECT_EQ(std::tuple(a.x, a.y, a.w, a.h), e.area) << output;
    }
}

// The frames of 1920 x 1080 as they were before the picture was scaled, and
// the same moments at other 16:9 sizes, scaled to one size, show the same.
TEST(Picture, EverySixteenByNineSizeShowsTheFramesOf1080p) {
    constexpr int32_t fps = 10;
    // CRC-32 of the RGB pixels of the 1920 x 1080 captures at 10 fps.
    const std::map<int64_t, uLong> stored = {{2000, 0x52c56f54},  {14000, 0xd3ee6a32},
                                             {20000, 0x76e018fc}, {30000, 0x390c4dd1},
                                             {37200, 0xb4116ae5}, {40000, 0xfe8bd2fb}};
    std::map<int64_t, std::vector<double>> reference;
    play(1920, 1080, fps, moments.back(), [&](const Canvas& canvas, int64_t time) {
        if (std::find(moments.begin(), moments.end(), time) != moments.end()) {
            EXPECT_EQ(digest(canvas), stored.at(time)) << "1920x1080 at " << time << " ms";
            reference[time] = thumbnail(canvas);
        }
    });
    ASSERT_EQ(reference.size(), moments.size());
    // Edges are rasterised afresh at each size, and a star is never less than
    // a pixel, so a smaller output differs more; a line set at the wrong size
    // differs by half as much again.
    for (const auto& [width, height, tolerance] :
         {std::tuple{1280, 720, 0.2}, std::tuple{3840, 2160, 0.12}}) {
        play(width, height, fps, moments.back(), [&](const Canvas& canvas, int64_t time) {
            if (!reference.count(time)) {
                return;
            }
            const std::vector<double> seen = thumbnail(canvas);
            double difference = 0.0;
            double lit = 0.0;
            for (size_t i = 0; i < seen.size(); ++i) {
                difference += std::abs(seen[i] - reference[time][i]);
                lit += reference[time][i];
            }
            EXPECT_LT(difference / lit, tolerance) << width << "x" << height << " at " << time;
        });
    }
}

// On the capture's clock the story ends within 3 % of 1920 x 1080's (played
// on an output of 16:9) at the given sizes, each drawn at its own size.
void expectTheSameLength(int32_t fps, std::pair<int, int> party1080p,
                         std::vector<std::pair<int, int>> sizes) {
    constexpr int64_t limit = 120000;
    const auto reference =
        static_cast<double>(play(party1080p.first, party1080p.second, fps, limit));
    ASSERT_LT(reference, limit) << "the story did not end";
    for (const auto& [width, height] : sizes) {
        const auto end = static_cast<double>(play(width, height, fps, limit));
        EXPECT_NEAR(end / reference, 1.0, 0.03)
            << width << "x" << height << " ends at " << end << " ms, 1080p at " << reference;
    }
}

// The shapes other than 16:9 have pictures of other widths, with more or fewer
// asteroids; at the capture's usual rate their story ends when 1080p's does.
// The output's size only scales the picture (as the 16:9 sizes below show at
// full size), so each shape is played here on a small output of its own shape:
// 1920 x 1080 as 640 x 360, 1280 x 1024 as 640 x 512, 3440 x 1440 as 860 x 360.
TEST(Picture, TheStoryLastsAsLongOnEveryShape) {
    for (const auto& [large, small] : {std::pair{std::pair{1920, 1080}, std::pair{640, 360}},
                                       std::pair{std::pair{1280, 1024}, std::pair{640, 512}},
                                       std::pair{std::pair{3440, 1440}, std::pair{860, 360}}}) {
        const PictureSize a = designSizeFor(large.first, large.second);
        const PictureSize b = designSizeFor(small.first, small.second);
        ASSERT_EQ(a.width, b.width) << large.first << "x" << large.second;
        ASSERT_EQ(a.height, b.height);
    }
    expectTheSameLength(30, {640, 360}, {{800, 600}, {640, 512}, {860, 360}});
}

// Every 16:9 size plays the same story (here at a low rate, to be quick).
TEST(Picture, TheStoryLastsAsLongOnEverySixteenByNineSize) {
    expectTheSameLength(2, {1920, 1080}, {{1280, 720}, {7680, 4320}});
}

// The longest line, at either end of its jitter, stays inside the picture
// with a margin of a fortieth of its width on the narrowest and the widest
// shapes.
TEST(Picture, TheLongestLineStaysInsideThePictureWithAMargin) {
    const auto advance = [](const char* line) {
        int w = 0;
        EXPECT_EQ(TTF_SizeUTF8(loadFont(), line, &w, nullptr), 0) << TTF_GetError();
        return w;
    };
    const char* longest =
        *std::max_element(std::begin(demoLines), std::end(demoLines),
                          [&](auto a, auto b) { return advance(a) < advance(b); });
    const int designWidth = advance(longest);
    for (const auto& [width, height] : {std::pair{800, 600}, std::pair{3440, 1440}}) {
        Canvas canvas(width, height);
        const PictureSize design = designSizeFor(width, height);
        ScreenSize size(design.width, design.height);
        beginPicture(canvas.renderer);
        Text text = NewText(loadFont(), longest, SDL_Color{255, 255, 255, 255});
        for (const int64_t jitter : {textJitterMin, textJitterMax}) {
            text.DrawCenter(canvas.renderer, design.width / 2 + static_cast<int32_t>(jitter),
                            design.height / 2, 255);
        }
        const SDL_Rect lit = canvas.litBounds();
        const int left = lit.x;
        const int right = lit.x + lit.w - 1;
        const int margin = width / 40;
        EXPECT_GE(left, margin) << longest << " at " << width << "x" << height;
        EXPECT_LT(right, width - margin) << longest << " at " << width << "x" << height;
        // The ink is a few per cent narrower than the line's advance.
        const double drawn = (designWidth + textJitterMax - textJitterMin) * picture.scale;
        EXPECT_NEAR(right + 1 - left, drawn, drawn * 0.08) << "drawn at the picture's scale";
        picture = Placement{};
    }
}
