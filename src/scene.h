#pragma once

// The scene: the always-present objects, the four cells that the script fills
// and empties, and the fixed order in which a frame updates and draws them.

#include <SDL.h>

#include <cstdint>
#include <memory>

#include "asteroid-field.h"
#include "background.h"
#include "explosion.h"
#include "fade-in-fade-out.h"
#include "rotate-animation.h"
#include "rymdskepp.h"
#include "scene-cell.h"
#include "show-rymdskepp.h"

inline constexpr int32_t logoX = 10;
inline constexpr int32_t logoY = 10;
inline constexpr double leftLogoSpeed = 0.2;
inline constexpr double rightLogoSpeed = -0.2;
inline constexpr uint32_t background1Stars = 100;
inline constexpr float background1Velocity = 0.2f;
inline constexpr uint32_t background2Stars = 10;
inline constexpr float background2Velocity = 0.3f;
inline constexpr int32_t starSize = 1;
inline constexpr int64_t textJitterMin = -5;
inline constexpr int64_t textJitterMax = 5;

// Everything the frame loop updates and draws: the always-present objects and
// the four cells that the script fills and empties.
struct Scene {
    Background background1;
    Background background2;
    RotateAnimation leftLogo;
    RotateAnimation rightLogo;
    Rymdskepp rymdskepp;
    SceneCell<FaceInFadeOut> currentText;
    SceneCell<ShowRymdskepp> showRymdskeppAnim;
    SceneCell<AsteroidField> asteroidField;
    SceneCell<ExplosionParticleEffect> rymdskeppExplosion;
};

// The always-present objects, with the spaceship parked wholly below the
// screen, and every cell empty. The scene must not move once a script step
// refers to its members.
std::unique_ptr<Scene> newScene(SDL_Renderer* renderer);

// The update phase: every live object, in the fixed order, with the same time.
void updateScene(Scene& scene, float deltaTime);
// The draw phase: the picture cleared to black, then the scene back to front.
void drawScene(Scene& scene, SDL_Renderer* renderer);
