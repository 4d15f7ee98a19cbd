// The browser's drawing size on the screens people open the page on: every
// text line fits with a margin, the whole story keeps its length, the picture
// keeps the screen's shape, and it is no further from one pixel per device
// pixel than those rules make it.

#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <tuple>

#include "canvas.h"
#include "drawing-size.h"
#include "globals.h"
#include "main.h"
#include "random.h"

namespace {

struct Screen {
    const char* name;
    double cssWidth;
    double cssHeight;
    double pixelRatio;
};

class DrawingSizeOn : public testing::TestWithParam<Screen> {
  protected:
    const Screen screen = GetParam();
    const DrawingSize size =
        chooseDrawingSize(screen.cssWidth, screen.cssHeight, screen.pixelRatio);
};

}  // namespace

TEST_P(DrawingSizeOn, EveryLineFitsWithAMarginAndThePictureKeepsTheScreensShape) {
    constexpr int32_t jitter = 5;
    const int32_t margin = size.width / 40;
    for (const char* line : demoLines) {
        int w = 0;
        int h = 0;
        ASSERT_EQ(TTF_SizeUTF8(loadFont(), line, &w, &h), 0) << TTF_GetError();
        EXPECT_LE(w + 2 * (jitter + margin), size.width) << line;
        EXPECT_LE(h + 2 * (jitter + margin), size.height) << line;
    }

    const double deviceWidth = std::round(screen.cssWidth * screen.pixelRatio);
    const double deviceHeight = std::round(screen.cssHeight * screen.pixelRatio);
    const double aspect = static_cast<double>(size.width) / size.height;
    if (deviceHeight > deviceWidth) {
        EXPECT_GT(aspect, 1.3) << "upright screens get a landscape picture";
    } else {
        EXPECT_NEAR(aspect, deviceWidth / deviceHeight, 0.01) << "landscape fills the screen";
    }
    // One canvas pixel per device pixel, unless a bound is what keeps it off.
    const double fittedWidth = std::min(deviceWidth, deviceHeight * aspect);
    const bool deviceSized = std::abs(size.width - fittedWidth) <= 1.0;
    const bool bound = size.width == drawingMinWidth || size.height == drawingMinHeight ||
                       size.height == drawingMaxHeight;
    EXPECT_TRUE(deviceSized || bound) << size.width << "x" << size.height;
}

TEST_P(DrawingSizeOn, TheWholeStoryLastsAsLongAsOnTheDesktop) {
    ScreenSize layout(size.width, size.height);
    Canvas canvas(size.width, size.height);
    running = true;
    seedRandom(20231209);
    auto scene = buildScene(canvas.renderer);
    constexpr float deltaTime = 40.0f;
    int passes = 0;
    while (running && passes < 4000) {
        framePass(*scene, canvas.renderer, deltaTime);
        ++passes;
    }
    running = true;
    const float seconds = static_cast<float>(passes) * deltaTime / 1000.0f;
    EXPECT_GE(seconds, 35.0f) << size.width << "x" << size.height;
    EXPECT_LE(seconds, 60.0f) << size.width << "x" << size.height;
}

TEST(DrawingSize, OddAreasStillGetAPictureWithinTheBounds) {
    for (const auto& [w, h, ratio] :
         {std::tuple{0.0, 0.0, 1.0}, std::tuple{3000.0, 200.0, 1.0}, std::tuple{200.0, 3000.0, 2.0},
          std::tuple{5120.0, 2880.0, 2.0}, std::tuple{1280.0, 720.0, std::nan("")}}) {
        const DrawingSize size = chooseDrawingSize(w, h, ratio);
        EXPECT_GE(size.width, drawingMinWidth) << w << "x" << h << "@" << ratio;
        EXPECT_GE(size.height, drawingMinHeight) << w << "x" << h << "@" << ratio;
        EXPECT_LE(size.height, drawingMaxHeight) << w << "x" << h << "@" << ratio;
        EXPECT_LE(static_cast<double>(size.width) / size.height, drawingMaxAspect + 0.01);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Screens, DrawingSizeOn,
    testing::Values(Screen{"PhoneUpright", 360, 800, 3}, Screen{"PhoneLandscape", 844, 390, 3},
                    Screen{"Laptop", 1366, 768, 1}, Screen{"Window", 1280, 720, 1},
                    Screen{"Wide", 2560, 1440, 1.5}),
    [](const testing::TestParamInfo<Screen>& screen) { return std::string(screen.param.name); });
