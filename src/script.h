#pragma once

// The demo script: a chain of steps, each stored as the completion callback
// of the object whose end triggers it. A step fills or empties the scene's
// cells and creates the next object with the next step as its callback; the
// last one ends the demo.

#include <SDL.h>

#include <functional>
#include <memory>

#include "scene.h"

inline constexpr float textFadeSpeed = 0.2f;
inline constexpr float showRymdskeppSpeed = 0.2f;

// The demo's text lines, in the order they are shown.
inline constexpr const char* demoLines[] = {
    "Hej!",
    "Välkommen...",
    "...till mitt demo...",
    "...om ett rymdskepp...",
    "...som exploderade.",
    "Slut!",
    "Hej då!",
    "Nej vänta!",
    "Glöm inte...",
    "...att rösta!",
    "rosta.vimbel.se",
};

// Makes a fading text line in the shared font with a fresh random colour.
std::shared_ptr<FaceInFadeOut> newTextLine(const char* line, std::function<void()> onStop);

// Builds the scene (newScene), puts the ship's entrance, still waiting, in its
// cell, and starts the script with its first line. The scene must not move
// afterwards: the script's steps refer to its members.
std::unique_ptr<Scene> buildScene(SDL_Renderer* renderer);
