#pragma once

#include <SDL.h>

// The pastel colours a text line may get, all fully opaque.
inline constexpr int colorCount = 11;
extern const SDL_Color colors[colorCount];

// One of the colours above, each with equal chance.
SDL_Color GetRandomColor();
