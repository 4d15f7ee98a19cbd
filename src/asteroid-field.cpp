#include "asteroid-field.h"

#include <utility>

#include "loaders.h"
#include "picture.h"
#include "random.h"
#include "truncate.h"

namespace {

constexpr int32_t asteroidFieldColumnWidth = 64;
constexpr int32_t asteroidFieldFirstColumn = 264;
// Both edges together keep this much free: the first column's offset twice.
constexpr int32_t asteroidFieldMargins = 2 * asteroidFieldFirstColumn;
// Columns within this distance of the centre, both ends included, stay empty.
constexpr int32_t asteroidFieldLaneHalfWidth = 64;
// An asteroid whose centre is this far below the bottom edge has left the screen.
constexpr int32_t asteroidFieldExitBelow = 32;
constexpr int64_t asteroidMinSpeed = 100;  // thousandths of a pixel per millisecond
constexpr int64_t asteroidMaxSpeed = 150;
constexpr float asteroidSpeedDivisor = 1000.0f;
constexpr int64_t asteroidHighestStart = -64;

std::vector<uint8_t>* asteroidAsset = nullptr;
SDL_RWops* asteroidRWops = nullptr;
SDL_Surface* asteroidSurface = nullptr;

float exitLine() {
    return static_cast<float>(screenHeight + asteroidFieldExitBelow);
}

}  // namespace

SDL_Surface* loadAsteroid() {
    return loadCachedImage("res/asteroid.png", asteroidAsset, asteroidRWops, asteroidSurface);
}

Asteroid NewAsteroid(SDL_Renderer* renderer, float x, float y, float speed, float angle) {
    Asteroid asteroid;
    asteroid.sprite = NewSprite(renderer, loadAsteroid());
    asteroid.startX = asteroid.x = x;
    asteroid.startY = asteroid.y = y;
    asteroid.speed = speed;
    asteroid.angle = angle;
    asteroid.resets = 0;
    asteroid.dead = false;
    return asteroid;
}

void Asteroid::Update(float deltaTime) {
    y += speed * deltaTime;
}

void Asteroid::Draw(SDL_Renderer* renderer) {
    sprite.RotateAndDrawCenter(renderer, static_cast<double>(angle), truncateToInt32(x),
                               truncateToInt32(y));
}

AsteroidField NewAsteroidField(SDL_Renderer* renderer, std::function<void()> onDead) {
    AsteroidField field;
    field.onDead = std::move(onDead);
    field.allDead = false;
    const int32_t count = (screenWidth - asteroidFieldMargins) / asteroidFieldColumnWidth;
    const int32_t half = screenWidth / 2;
    for (int32_t i = 0; i < count; ++i) {
        const int32_t column = i * asteroidFieldColumnWidth + asteroidFieldFirstColumn;
        if (column >= half - asteroidFieldLaneHalfWidth &&
            column <= half + asteroidFieldLaneHalfWidth) {
            continue;
        }
        // Three draws per asteroid, in this order: height, speed, angle.
        const auto y = static_cast<float>(RandomNumber(-screenHeight, asteroidHighestStart));
        const float speed = static_cast<float>(RandomNumber(asteroidMinSpeed, asteroidMaxSpeed)) /
                            asteroidSpeedDivisor;
        const auto angle = static_cast<float>(RandomNumber(0, 360));
        field.asteroids.push_back(
            NewAsteroid(renderer, static_cast<float>(column), y, speed, angle));
    }
    return field;
}

void AsteroidField::Update(float deltaTime) {
    if (allDead) {
        return;
    }
    const float line = exitLine();
    for (Asteroid& asteroid : asteroids) {
        if (asteroid.dead) {
            continue;
        }
        // Tested before the move: one that crosses the line now dies next time.
        if (asteroid.y < line) {
            asteroid.Update(deltaTime);
        } else if (asteroid.resets > 0) {
            asteroid.x = asteroid.startX;
            asteroid.y = asteroid.startY;
            --asteroid.resets;
        } else {
            asteroid.dead = true;
        }
    }
    allDead = true;
    for (const Asteroid& asteroid : asteroids) {
        if (!asteroid.dead) {
            allDead = false;
        }
    }
    // The callback may replace what owns this field; nothing of it is touched after.
    if (allDead && onDead) {
        onDead();
    }
}

void AsteroidField::Draw(SDL_Renderer* renderer) {
    const float line = exitLine();
    for (Asteroid& asteroid : asteroids) {
        if (!asteroid.dead && asteroid.y < line) {
            asteroid.Draw(renderer);
        }
    }
}
