#pragma once

// Where the script is, read off the scene: the greeting lines, the ship's
// rise, the asteroid field, the explosion, the closing lines, and the end
// (the last line has faded out).

#include "scene.h"

enum class DemoStage { Greeting, Entrance, Asteroids, Explosion, Closing, Ended };
DemoStage demoStage(const Scene& scene);
const char* demoStageName(DemoStage stage);
