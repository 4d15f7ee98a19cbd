#pragma once

#include <cstdint>

// The design picture's size, chosen once at start-up from the output's shape
// (picture.h) and read by every layout.
extern int32_t screenWidth;
extern int32_t screenHeight;

// The frame loop runs while this is true; a quit request or the script's last
// step clears it.
extern bool running;
