#pragma once
// Temporary: the script's stages until the story lands; removed at the merge.
#include "main.h"
enum class DemoStage { Greeting, Entrance, Asteroids, Explosion, Closing, Ended };
inline DemoStage demoStage(const Scene&) {
    return running ? DemoStage::Greeting : DemoStage::Ended;
}
inline const char* demoStageName(DemoStage stage) {
    static const char* const names[] = {"Greeting",  "Entrance", "Asteroids",
                                        "Explosion", "Closing",  "Ended"};
    return names[static_cast<int>(stage)];
}
