#pragma once

// The frame loop: one pass reads the clock, drains the events, updates the
// scene with the elapsed time, draws it and presents; the loop runs passes
// while `running` holds. Every entry runs this loop, each giving its clock
// and its event source: the desktop and the browser SDL's tick counter and
// event queue, the capture tool its virtual clock.

#include <SDL.h>

#include <cstdint>
#include <functional>

#include "scene.h"

// The frame loop runs while this is true; a quit request or the script's last
// step clears it.
extern bool running;

// Milliseconds between two tick readings, across the 32-bit wrap.
float tickDelta(uint32_t lastTime, uint32_t currentTime);

// Drains SDL's event queue; a quit request or an Escape key event clears
// running.
void handleEvents();

// The update phase with the given time, the draw phase and the present: one
// pass without the clock or the events, for tests and tools.
void framePass(Scene& scene, SDL_Renderer* renderer, float deltaTime);

// A millisecond clock: SDL_GetTicks, or a virtual one.
using FrameTicks = std::function<uint32_t()>;
// What drains the events before the update.
using FrameEvents = std::function<void()>;

class FrameLoop {
  public:
    // Takes the clock's first reading; the first pass counts from it.
    FrameLoop(Scene& scene, SDL_Renderer* renderer, FrameTicks ticks = SDL_GetTicks,
              FrameEvents events = handleEvents);

    // One pass: the clock, the events, the update, the draw, the present.
    void pass();
    // Passes while running holds. afterPass, if given, runs after each pass
    // and ends the loop by returning false.
    void run(const std::function<bool()>& afterPass = {});
    // Takes a fresh first reading, so that time spent without passes (a
    // paused page) does not count as one step.
    void restartClock();

  private:
    Scene& scene_;
    SDL_Renderer* renderer_;
    FrameTicks ticks_;
    FrameEvents events_;
    uint32_t currentTime_;
};
