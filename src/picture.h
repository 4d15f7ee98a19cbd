#pragma once

// The picture the story is laid out on, and where it lands on the output.
//
// The story is laid out in design pixels on a picture 1080 of them high and
// as wide as the output's shape, that shape held between 4:3 and 2.4:1. The
// picture is shown as large as the output holds, centred, with black bars on
// the sides it does not fill. So every output shows the same story: the
// same layout, the same speeds, the same length; 1920 × 1080 is drawn one
// design pixel per output pixel. The design size is chosen once, at start;
// the scale follows the output's size on every frame (a browser canvas may be
// resized mid-run), the shape staying as chosen.

#include <SDL.h>

#include <cstdint>

inline constexpr int32_t designHeight = 1080;
inline constexpr double narrowestAspect = 4.0 / 3.0;
inline constexpr double widestAspect = 2.4;

struct PictureSize {
    int32_t width;
    int32_t height;
};

// The design picture's size, chosen once at start-up by designSizeFor from the
// output's shape and read by every layout.
extern int32_t screenWidth;
extern int32_t screenHeight;

// The design size for an output of the given size in pixels. An output
// without a size counts as 16:9.
PictureSize designSizeFor(int32_t outputWidth, int32_t outputHeight);

// Where the design picture is drawn on the output, and how large.
struct Placement {
    double scale = 1.0;  // output pixels per design pixel
    SDL_Rect area{0, 0, 0, 0};
};

// The largest picture of the design's shape that the output holds, centred.
Placement placePicture(PictureSize design, int32_t outputWidth, int32_t outputHeight);

// The placement of the frame being drawn; 1:1 until a scene is drawn.
extern Placement picture;

// Sets the frame's placement from the renderer's output size and the design
// size (screenWidth × screenHeight), and makes the renderer draw into the
// picture's area only, design coordinates scaled by picture.scale.
void beginPicture(SDL_Renderer* renderer);

// A design coordinate on the output, relative to the picture's area.
inline int32_t toOutput(double designPixels) {
    return static_cast<int32_t>(designPixels * picture.scale + (designPixels >= 0 ? 0.5 : -0.5));
}

// A design rectangle on the output: its edges mapped, at least one output
// pixel either way so that nothing small vanishes.
SDL_Rect toOutput(const SDL_Rect& design);
