#include "particle.h"

#include <limits>

namespace {

// Truncates toward zero; positions beyond the 32-bit range (a particle that
// has flown very far off screen) saturate instead of overflowing.
int32_t truncateToInt32(float value) {
    constexpr float lowest = static_cast<float>(std::numeric_limits<int32_t>::min());
    constexpr float highest = static_cast<float>(std::numeric_limits<int32_t>::max());
    if (!(value > lowest)) {
        return value != value ? 0 : std::numeric_limits<int32_t>::min();
    }
    if (value >= highest) {
        return std::numeric_limits<int32_t>::max();
    }
    return static_cast<int32_t>(value);
}

}  // namespace

void Particle::Update(float deltaTime) {
    if (!alive) {
        return;
    }
    timeLeft -= deltaTime;
    if (timeLeft <= 0.0f) {
        // A particle dies where it is: the last step does not move it.
        alive = false;
        return;
    }
    const float stepX = velocityX * deltaTime;
    currentX += stepX;
    const float stepY = velocityY * deltaTime;
    currentY += stepY;
}

void Particle::Reset() {
    alive = true;
    timeLeft = aliveTime;
    currentX = originX;
    currentY = originY;
}

void Particle::Draw(SDL_Renderer* renderer) {
    rectangle.x = truncateToInt32(currentX);
    rectangle.y = truncateToInt32(currentY);
    SDL_SetRenderDrawColor(renderer, red, green, blue, 255);
    SDL_RenderFillRect(renderer, &rectangle);
}
