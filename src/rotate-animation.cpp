#include "rotate-animation.h"

namespace {

constexpr double fullTurn = 360.0;

}  // namespace

RotateAnimation NewRotateAnimation(SDL_Renderer* renderer, SDL_Surface* surface, double speed) {
    RotateAnimation animation;
    animation.angle = 0.0;
    animation.speed = speed;
    animation.sprite = NewSprite(renderer, surface);
    return animation;
}

void RotateAnimation::Update(float deltaTime) {
    angle += speed * static_cast<double>(deltaTime);
    // One correction per update: a frame longer than a full turn is brought
    // back over the following updates.
    if (angle > fullTurn) {
        angle -= fullTurn;
    } else if (angle < 0.0) {
        angle += fullTurn;
    }
}

void RotateAnimation::Draw(SDL_Renderer* renderer, int32_t x, int32_t y) {
    sprite.RotateAndDraw(renderer, angle, x, y);
}
