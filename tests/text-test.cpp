#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <tuple>

#include "canvas.h"
#include "fade-in-fade-out.h"
#include "fatal.h"
#include "loaders.h"
#include "scene.h"
#include "text.h"

namespace {

// Without a font nothing can be rasterised: these fades must never draw.
FaceInFadeOut fadeWithoutFont(std::function<void()> onStop) {
    return NewFadeInFadeOut(NewText(nullptr, "Hej!", SDL_Color{255, 255, 255, 255}), 0.2f,
                            std::move(onStop));
}

int brightestChannel(const Canvas& canvas) {
    int brightest = 0;
    countPixels(canvas.surface, [&](SDL_Color c) {
        brightest = std::max({brightest, int{c.r}, int{c.g}, int{c.b}});
        return false;
    });
    return brightest;
}

}  // namespace

TEST(FadeInFadeOut, TenMillisecondFramesTake127UpdatesEachWayAndStopOnce) {
    int stops = 0;
    FaceInFadeOut fade = fadeWithoutFont([&stops] { ++stops; });
    const auto updates = [&fade](int count) {
        for (int i = 0; i < count; ++i) {
            fade.Update(10.0f);
        }
    };
    updates(126);
    EXPECT_EQ(fade.state, FADING_IN);
    updates(1);
    EXPECT_EQ(fade.alpha, 255.0f);
    EXPECT_EQ(fade.state, FADING_OUT);
    updates(126);
    EXPECT_EQ(fade.alpha, 3.0f);
    EXPECT_EQ(stops, 0);
    updates(1);
    EXPECT_EQ(fade.alpha, 1.0f);
    EXPECT_EQ(fade.state, FADING_STOPPED);
    EXPECT_EQ(stops, 1);

    // Stopped is final: nothing changes and no second call.
    fade.Update(5000.0f);
    EXPECT_EQ(fade.alpha, 1.0f);
    EXPECT_EQ(stops, 1);
}

TEST(FadeInFadeOut, TheCallbackMayChangeOrReleaseTheFadeAndIsTheLastThingUpdateDoes) {
    // Whatever the callback leaves in the record stays there.
    auto fade = std::make_shared<FaceInFadeOut>(fadeWithoutFont({}));
    fade->state = FADING_OUT;
    FaceInFadeOut* raw = fade.get();
    fade->onStop = [raw] {
        raw->state = FADING_IN;
        raw->alpha = 100.0f;
    };
    fade->Update(10.0f);
    EXPECT_EQ(fade->state, FADING_IN);
    EXPECT_EQ(fade->alpha, 100.0f);

    // The callback drops the last two owners, as the script does when it
    // replaces the current text the frame loop holds, then uses its captures.
    // Under AddressSanitizer any later access to the record or the callback
    // fails; the record is allocated on its own (no make_shared), so it is
    // freed at once, not kept by the weak reference's control block.
    SceneCell<FaceInFadeOut> cell;
    std::shared_ptr<FaceInFadeOut> held(new FaceInFadeOut(fadeWithoutFont({})));
    std::weak_ptr<FaceInFadeOut> watch = held;
    bool called = false;
    held->state = FADING_OUT;
    held->onStop = [&cell, &held, &called] {
        cell.clear();
        held.reset();
        called = true;
    };
    cell.set(held);
    FaceInFadeOut* updating = held.get();
    updating->Update(10.0f);
    EXPECT_TRUE(called);
    EXPECT_TRUE(watch.expired());
}

TEST(Text, DrawsCentredWithTheOpacityInTheBlendedGlyphsAndKeepsIt) {
    TTF_Font* demoFont = loadFont();
    Canvas canvas(800, 300);
    Text text = NewText(demoFont, "Hej då!", SDL_Color{250, 179, 135, 255});
    int w = 0;
    int h = 0;
    ASSERT_EQ(TTF_SizeUTF8(demoFont, text.text.c_str(), &w, &h), 0);

    text.DrawCenter(canvas.renderer, 400, 150, 255);
    const int opaque = brightestChannel(canvas);
    EXPECT_GE(opaque, 240);
    // Lit exactly where the library's own rendering of the line lands with
    // its box centred on the point.
    Canvas expected(800, 300);
    SDL_Surface* line = TTF_RenderUTF8_Blended(demoFont, text.text.c_str(), text.color);
    SDL_Rect box{400 - w / 2, 150 - h / 2, w, h};
    SDL_BlitSurface(line, nullptr, expected.surface, &box);
    SDL_FreeSurface(line);
    const auto bounds = [](const Canvas& c) {
        const SDL_Rect r = c.litBounds();
        return std::tuple(r.x, r.y, r.w, r.h);
    };
    EXPECT_EQ(bounds(canvas), bounds(expected));

    canvas.clear();
    text.DrawCenter(canvas.renderer, 400, 150, 64);
    EXPECT_EQ(text.color.a, 64);
    EXPECT_NEAR(brightestChannel(canvas), opaque * 64 / 255, 4);

    // A line the font cannot render is fatal, with the library's own text.
    Text empty = NewText(demoFont, "", SDL_Color{255, 255, 255, 255});
    try {
        empty.DrawCenter(canvas.renderer, 25, 25, 255);
        ADD_FAILURE() << "no fatal error";
    } catch (const FatalError& error) {
        EXPECT_STREQ(error.what(), TTF_GetError());
    }
}

TEST(FadeInFadeOut, IsDrawnAtTheTruncatedLevelHeldAt255) {
    Canvas canvas(800, 300);
    FaceInFadeOut fade =
        NewFadeInFadeOut(NewText(loadFont(), "Hej!", SDL_Color{255, 255, 255, 255}), 0.2f, {});
    const auto drawnAt = [&] {
        fade.DrawCenter(canvas.renderer, 400, 150);
        return int{fade.text.color.a};
    };
    EXPECT_EQ(drawnAt(), 1);
    fade.Update(16.0f);
    EXPECT_EQ(drawnAt(), 4);  // 4.2
    for (int update = 2; update <= 80; ++update) {
        fade.Update(16.0f);
    }
    EXPECT_EQ(fade.state, FADING_OUT);
    EXPECT_NEAR(fade.alpha, 257.0f, 0.01f);
    EXPECT_EQ(drawnAt(), 255);
    fade.Update(16.0f);
    EXPECT_EQ(drawnAt(), 253);  // 253.8

    fade.Update(5000.0f);
    EXPECT_EQ(fade.state, FADING_STOPPED);
    canvas.clear();
    EXPECT_EQ(drawnAt(), 253);  // not drawn; the colour keeps the last opacity
    EXPECT_EQ(canvas.litPixels(), 0);
}
