#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

#include "canvas.h"
#include "fatal.h"
#include "picture.h"
#include "rotate-animation.h"
#include "sprite.h"

namespace {

struct OpaqueImage {
    SDL_Surface* surface;
    OpaqueImage(int width, int height)
        : surface(SDL_CreateRGBSurfaceWithFormat(0, width, height, 32, SDL_PIXELFORMAT_RGBA32)) {
        SDL_FillRect(surface, nullptr, SDL_MapRGBA(surface->format, 240, 200, 40, 255));
    }
    ~OpaqueImage() { SDL_FreeSurface(surface); }
};

// The middle of the lit pixels of the canvas.
SDL_Point litCentre(const Canvas& canvas) {
    const SDL_Rect lit = canvas.litBounds();
    return {lit.x + lit.w / 2, lit.y + lit.h / 2};
}

}  // namespace

TEST(Sprite, ARotatedDrawKeepsTheBoundingBoxAndCentresByThePreviousSize) {
    Canvas canvas(240, 240);
    OpaqueImage image(64, 64);
    Sprite sprite = NewSprite(canvas.renderer, image.surface);
    EXPECT_EQ(sprite.Width(), 64);

    // The first centred draw is placed by the source size: 120 - 32.
    sprite.RotateAndDrawCenter(canvas.renderer, 45.0, 120, 120);
    const int32_t box = sprite.Width();
    EXPECT_GT(box, 88);  // about 64 * sqrt(2)
    EXPECT_EQ(sprite.Height(), box);
    EXPECT_NEAR(litCentre(canvas).x, 88 + box / 2, 2);

    canvas.clear();
    sprite.RotateAndDrawCenter(canvas.renderer, 45.0, 120, 120);
    EXPECT_NEAR(litCentre(canvas).x, 120, 2);
    EXPECT_NEAR(litCentre(canvas).y, 120, 2);

    // A plain draw now shows the rotated image at its bounding-box size.
    canvas.clear();
    sprite.Draw(canvas.renderer, 0, 0);
    EXPECT_NEAR(canvas.litBounds().x + canvas.litBounds().w, box, 2);
}

// At twice the size the image is drawn twice as large, from its source, while
// its size stays in design pixels (the right logo is placed by it).
TEST(Sprite, AtTheOutputsScaleTheImageIsDrawnLargerAndItsSizeStaysInDesignPixels) {
    Canvas canvas(400, 400);
    OpaqueImage image(64, 40);
    Sprite sprite = NewSprite(canvas.renderer, image.surface);
    sprite.RotateAndDraw(canvas.renderer, 30.0, 0, 0);
    const int32_t designWidth = sprite.Width();

    picture.scale = 2.0;
    canvas.clear();
    sprite.RotateAndDraw(canvas.renderer, 30.0, 10, 10);
    EXPECT_EQ(sprite.Width(), designWidth);
    SDL_Rect lit = canvas.litBounds();
    EXPECT_NEAR(lit.x, 20, 2);
    EXPECT_NEAR(lit.w, 2 * designWidth, 4);

    canvas.clear();
    Sprite plain = NewSprite(canvas.renderer, image.surface);
    plain.Draw(canvas.renderer, 10, 10);  // made afresh from the source at this scale
    EXPECT_EQ(plain.Width(), 64);
    lit = canvas.litBounds();
    EXPECT_EQ(lit.x, 20);
    EXPECT_EQ(lit.w, 128);
    EXPECT_EQ(lit.y + lit.h, 20 + 80);
    picture = Placement{};
}

TEST(Sprite, SpritesSharingAnImageRotateIndependentlyFromTheUntouchedSource) {
    Canvas canvas(200, 200);
    OpaqueImage image(64, 40);
    const auto* pixels = static_cast<const uint8_t*>(image.surface->pixels);
    const std::vector<uint8_t> before(pixels, pixels + image.surface->pitch * 40);
    Sprite a = NewSprite(canvas.renderer, image.surface);
    Sprite b = NewSprite(canvas.renderer, image.surface);
    Sprite fresh = NewSprite(canvas.renderer, image.surface);

    a.RotateAndDraw(canvas.renderer, 30.0, 0, 0);
    a.RotateAndDraw(canvas.renderer, 90.0, 0, 0);  // from the source, not from 30 degrees
    fresh.RotateAndDraw(canvas.renderer, 90.0, 0, 0);
    EXPECT_EQ(a.Width(), fresh.Width());
    EXPECT_EQ(a.Height(), fresh.Height());
    EXPECT_LT(a.Width(), a.Height());
    EXPECT_EQ(b.Width(), 64);
    EXPECT_EQ(b.Height(), 40);
    EXPECT_EQ(std::vector<uint8_t>(pixels, pixels + image.surface->pitch * 40), before);

    Sprite orphan;  // no source image to rotate: a fatal error, not a crash
    EXPECT_THROW(orphan.RotateAndDraw(canvas.renderer, 10.0, 0, 0), FatalError);
    EXPECT_THROW(NewSprite(canvas.renderer, nullptr), FatalError);
}

TEST(RotateAnimation, WrapsOnceAndOnlyStrictlyOutsideAFullTurn) {
    const auto after = [](double angle, double speed, float deltaTime) {
        RotateAnimation animation;
        animation.angle = angle;
        animation.speed = speed;
        animation.Update(deltaTime);
        return animation.angle;
    };
    EXPECT_DOUBLE_EQ(after(359.0, 0.2, 10.0f), 1.0);
    EXPECT_DOUBLE_EQ(after(0.5, -0.2, 5.0f), 359.5);
    EXPECT_EQ(after(359.0, 0.2, 5.0f), 360.0);
    EXPECT_EQ(after(1.0, -0.2, 5.0f), 0.0);
    // A frame longer than a turn is corrected once; later updates bring it back.
    EXPECT_DOUBLE_EQ(after(10.0, 0.2, 4000.0f), 450.0);
    EXPECT_DOUBLE_EQ(after(450.0, 0.2, 10.0f), 92.0);
    // The time is widened before the product: no single-precision rounding.
    EXPECT_EQ(after(0.0, 0.2, 7.0f), 0.2 * 7.0);
}
