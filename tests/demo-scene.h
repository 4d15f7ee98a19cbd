#pragma once

// The demo's own scene in-process, as its frame loop drives it: built with a
// fixed seed on a software canvas of the given size, and events put in SDL's
// queue as a user's would arrive. `running` is true while a scene is set up
// and again once it goes, and the picture's placement is reset with it, so a
// test that ends the demo leaves no trace.

#include <SDL.h>

#include <algorithm>
#include <functional>
#include <memory>

#include "canvas.h"
#include "frame-loop.h"
#include "random.h"
#include "script.h"
#include "stage.h"

struct RunningFlag {
    RunningFlag() { running = true; }
    ~RunningFlag() { running = true; }
};

struct SceneOnCanvas {
    ScreenSize size;
    Canvas canvas;
    RunningFlag flag;
    std::unique_ptr<Scene> scene;

    SceneOnCanvas(int32_t width, int32_t height, int64_t seed)
        : SceneOnCanvas(width, height, seed, PictureSize{width, height}) {}
    // On an output of width x height showing a picture of the design size.
    SceneOnCanvas(int32_t width, int32_t height, int64_t seed, PictureSize design)
        : size(design.width, design.height), canvas(width, height) {
        seedRandom(seed);
        scene = buildScene(canvas.renderer);
    }
    ~SceneOnCanvas() { picture = Placement{}; }
};

inline void pushEvent(uint32_t type, SDL_Keycode key = SDLK_UNKNOWN) {
    SDL_Event event{};
    event.type = type;
    if (type == SDL_KEYDOWN || type == SDL_KEYUP) {
        event.key.keysym.sym = key;
        event.key.state = type == SDL_KEYDOWN ? SDL_PRESSED : SDL_RELEASED;
    }
    SDL_PushEvent(&event);
}

// Whether `test` holds for every particle of the explosion.
inline bool allParticles(const ExplosionParticleEffect& effect,
                         const std::function<bool(const Particle&)>& test) {
    const auto all = [&test](const std::vector<Particle>& set) {
        return std::all_of(set.begin(), set.end(), test);
    };
    return all(effect.whiteParticles) && all(effect.yellowParticles) && all(effect.orangeParticles);
}
