#include "fade-in-fade-out.h"

#include <utility>

namespace {

constexpr float fadeOpaque = 255.0f;
constexpr float fadeEnd = 1.0f;

// The level truncated toward zero and held to the range of an opacity.
uint8_t opacityOf(float level) {
    if (level >= fadeOpaque) {
        return 255;
    }
    if (!(level > 0.0f)) {
        return 0;
    }
    return static_cast<uint8_t>(level);
}

}  // namespace

FaceInFadeOut NewFadeInFadeOut(Text text, float speed, std::function<void()> onStop) {
    FaceInFadeOut fade;
    fade.text = std::move(text);
    fade.speed = speed;
    fade.alpha = 1.0f;
    fade.state = FADING_IN;
    fade.onStop = std::move(onStop);
    return fade;
}

void FaceInFadeOut::Update(float deltaTime) {
    switch (state) {
        case FADING_IN:
            alpha += deltaTime * speed;
            if (alpha >= fadeOpaque) {
                state = FADING_OUT;
            }
            break;
        case FADING_OUT: {
            alpha -= deltaTime * speed;
            if (alpha > fadeEnd) {
                break;
            }
            state = FADING_STOPPED;
            if (!onStop) {
                break;
            }
            // The callback may replace or release this record, its own
            // std::function included, so it runs from a copy and nothing of
            // the record is touched once it has returned.
            const std::function<void()> callback = onStop;
            callback();
            return;
        }
        case FADING_STOPPED:
            break;
    }
}

void FaceInFadeOut::DrawCenter(SDL_Renderer* renderer, int32_t x, int32_t y) {
    if (state == FADING_STOPPED) {
        return;
    }
    text.DrawCenter(renderer, x, y, opacityOf(alpha));
}
