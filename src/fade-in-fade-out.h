#pragma once

#include "text.h"

#include <cstdint>
#include <functional>

enum FadeInFadeOutState : uint8_t {
    FADING_IN = 0,
    FADING_OUT = 1,
    FADING_STOPPED = 2,
};

// Fades a text line in from almost transparent to opaque, straight out again,
// then stops drawing it and reports its end once through onStop.
struct FaceInFadeOut {
    Text text;
    float speed = 0.0f;  // opacity units per millisecond
    float alpha = 1.0f;  // 0..255 scale, may overshoot 255 by one step
    FadeInFadeOutState state = FADING_IN;
    std::function<void()> onStop;

    // onStop runs last: the record is not touched after it has returned, so
    // the callback may replace the text that is showing.
    void Update(float deltaTime);
    void DrawCenter(SDL_Renderer* renderer, int32_t x, int32_t y);
};

FaceInFadeOut NewFadeInFadeOut(Text text, float speed, std::function<void()> onStop);
