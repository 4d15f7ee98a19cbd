#pragma once

// The browser's drawing size: how many pixels the demo lays itself out on,
// chosen once from the visible area when a run starts. The demo's layout is
// in pixels: its text is drawn at a fixed size, and the asteroids fall the
// whole height at a fixed speed, so the width must hold the widest line and
// the height sets how long the story lasts. Within those bounds the picture
// takes the visible area's shape and one pixel per device pixel; outside them
// it is scaled as a whole, never stretched. An upright screen gets a
// landscape picture as wide as the screen, shown letterboxed.

#include <algorithm>
#include <cmath>
#include <cstdint>

struct DrawingSize {
    int32_t width;
    int32_t height;
};

// Wide enough for the widest text line at its fixed size, with its jitter
// and a margin either side.
inline constexpr int32_t drawingMinWidth = 1360;
// The story's length grows with the height: these keep it near the
// designed length (about 35 s at the lower bound, 55 s at the upper).
inline constexpr int32_t drawingMinHeight = 720;
inline constexpr int32_t drawingMaxHeight = 1200;
// The narrowest and the widest shapes the picture takes; a visible area
// outside them shows the picture letterboxed.
inline constexpr double drawingMinAspect = 4.0 / 3.0;
inline constexpr double drawingMaxAspect = 2.4;

// The drawing size for a visible area of cssWidth x cssHeight CSS pixels at
// the given device pixel ratio. Areas without a size (a hidden page) count
// as 1280 x 720 at ratio 1.
inline DrawingSize chooseDrawingSize(double cssWidth, double cssHeight, double pixelRatio) {
    if (!(cssWidth >= 1.0) || !(cssHeight >= 1.0) || !(pixelRatio > 0.0)) {
        cssWidth = 1280.0;
        cssHeight = 720.0;
        pixelRatio = 1.0;
    }
    const double deviceWidth = std::round(cssWidth * pixelRatio);
    const double deviceHeight = std::round(cssHeight * pixelRatio);
    const double aspect =
        std::clamp(deviceWidth / deviceHeight, drawingMinAspect, drawingMaxAspect);
    // The largest picture of that shape that the area holds, in device pixels.
    const double fittedHeight = std::min(deviceHeight, deviceWidth / aspect);
    double height = std::clamp(std::round(fittedHeight), static_cast<double>(drawingMinHeight),
                               static_cast<double>(drawingMaxHeight));
    height = std::max(height, std::ceil(drawingMinWidth / aspect));
    const double width =
        std::max(std::round(height * aspect), static_cast<double>(drawingMinWidth));
    return {static_cast<int32_t>(width), static_cast<int32_t>(height)};
}
