#include "background.h"

#include "picture.h"
#include "random.h"

namespace {

constexpr float starRestartY = -1.0f;

float randomBelow(int32_t limit) {
    return static_cast<float>(RandomNumber(0, limit));
}

}  // namespace

Star NewStar(int32_t width, int32_t height, float velocity) {
    Star star;
    star.rectangle = SDL_Rect{0, 0, width, height};
    star.x = randomBelow(screenWidth);
    star.y = randomBelow(screenHeight);
    star.velocity = velocity;
    return star;
}

void Star::Update(float deltaTime) {
    y += deltaTime * velocity;
    // Past the bottom edge the star restarts just above the top in a new
    // column, however far the frame carried it.
    if (y > static_cast<float>(screenHeight)) {
        y = starRestartY;
        x = randomBelow(screenWidth);
    }
}

void Star::Draw(SDL_Renderer* renderer) {
    if (x < 0.0f || x > static_cast<float>(screenWidth) || y < 0.0f ||
        y > static_cast<float>(screenHeight)) {
        return;
    }
    rectangle.x = static_cast<int32_t>(x);
    rectangle.y = static_cast<int32_t>(y);
    const SDL_Rect drawn = toOutput(rectangle);
    SDL_SetRenderDrawColor(renderer, 255, 255, 255, 255);
    SDL_RenderFillRect(renderer, &drawn);
}

Background NewBackground(uint32_t numberOfStars, int32_t starWidth, int32_t starHeight,
                         float starVelocity) {
    Background background;
    background.stars.reserve(numberOfStars);
    for (uint32_t i = 0; i < numberOfStars; ++i) {
        background.stars.push_back(NewStar(starWidth, starHeight, starVelocity));
    }
    return background;
}

void Background::Update(float deltaTime) {
    for (Star& star : stars) {
        star.Update(deltaTime);
    }
}

void Background::Draw(SDL_Renderer* renderer) {
    for (Star& star : stars) {
        star.Draw(renderer);
    }
}
