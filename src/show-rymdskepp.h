#pragma once

#include <functional>

#include "rymdskepp.h"

// The spaceship's entrance: once started, it moves the ship straight up until
// the ship's top edge is at the middle of the screen or above, then reports
// once through onStop.
struct ShowRymdskepp {
    bool show = false;               // started
    bool stop = false;               // arrived; final
    Rymdskepp* rymdskepp = nullptr;  // borrowed
    float speed = 0.0f;              // pixels per millisecond, upward
    float y = 0.0f;                  // the ship's top edge
    std::function<void()> onStop;

    void SetShow(bool value) { show = value; }
    // The ship's y is set after onStop has run, also on the update that stops:
    // whoever holds the entrance keeps it alive until this call has returned.
    void Update(float deltaTime);
};

// Not yet started; the ship's top edge starts 64 pixels below the screen.
ShowRymdskepp NewShowRymdskepp(Rymdskepp* rymdskepp, float speed, std::function<void()> onStop);
