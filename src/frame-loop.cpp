#include "frame-loop.h"

#include <utility>

bool running = true;

float tickDelta(uint32_t lastTime, uint32_t currentTime) {
    return static_cast<float>(currentTime - lastTime);
}

void handleEvents() {
    SDL_Event event;
    while (SDL_PollEvent(&event)) {
        if (event.type == SDL_QUIT) {
            running = false;
        } else if ((event.type == SDL_KEYDOWN || event.type == SDL_KEYUP) &&
                   event.key.keysym.sym == SDLK_ESCAPE) {
            running = false;
        }
    }
}

void framePass(Scene& scene, SDL_Renderer* renderer, float deltaTime) {
    updateScene(scene, deltaTime);
    drawScene(scene, renderer);
    SDL_RenderPresent(renderer);
}

FrameLoop::FrameLoop(Scene& scene, SDL_Renderer* renderer, FrameTicks ticks, FrameEvents events)
    : scene_(scene),
      renderer_(renderer),
      ticks_(std::move(ticks)),
      events_(std::move(events)),
      currentTime_(ticks_()) {}

void FrameLoop::pass() {
    const uint32_t lastTime = currentTime_;
    currentTime_ = ticks_();
    events_();
    framePass(scene_, renderer_, tickDelta(lastTime, currentTime_));
}

void FrameLoop::run(const std::function<bool()>& afterPass) {
    while (running) {
        pass();
        if (afterPass && !afterPass()) {
            break;
        }
    }
}

void FrameLoop::restartClock() {
    currentTime_ = ticks_();
}
