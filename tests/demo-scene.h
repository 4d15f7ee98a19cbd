#pragma once

// The demo's own scene in-process, as its frame loop drives it: built with a
// fixed seed on a software canvas of the given size, and events put in SDL's
// queue as a user's would arrive. `running` is true while a scene is set up
// and again once it goes, so a test that ends the demo leaves no trace.

#include <SDL.h>

#include <functional>
#include <memory>

#include "canvas.h"
#include "main.h"
#include "random.h"

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
        : size(width, height), canvas(width, height) {
        seedRandom(seed);
        scene = buildScene(canvas.renderer);
    }
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
    for (const auto* set :
         {&effect.whiteParticles, &effect.yellowParticles, &effect.orangeParticles}) {
        for (const Particle& particle : *set) {
            if (!test(particle)) {
                return false;
            }
        }
    }
    return true;
}
