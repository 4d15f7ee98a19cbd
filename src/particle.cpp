#include "particle.h"

#include "picture.h"
#include "truncate.h"

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
    const SDL_Rect drawn = toOutput(rectangle);
    SDL_SetRenderDrawColor(renderer, red, green, blue, 255);
    SDL_RenderFillRect(renderer, &drawn);
}
