#include <SDL_image.h>
#include <gtest/gtest.h>

#include <algorithm>

#include "bindata.h"
#include "demo-scene.h"
#include "fatal.h"
#include "loaders.h"
#include "session.h"
#include "text.h"

// Each image's size, and so which file its loader decodes, is checked in
// assets-test.
TEST(Loaders, ImagesAndTheFontAreDecodedOnceAndShared) {
    SDL_Surface* logo = loadVimbel();
    const auto* logoBytes = vimbelAsset;
    SDL_Surface* asteroid = loadAsteroid();
    SDL_Surface* ship = loadRymdskepp();
    EXPECT_EQ(loadVimbel(), logo);
    EXPECT_EQ(vimbelAsset, logoBytes);
    EXPECT_EQ(loadAsteroid(), asteroid);
    EXPECT_EQ(loadRymdskepp(), ship);
    EXPECT_NE(asteroid, ship);

    TTF_Font* first = loadFont();
    ASSERT_NE(first, nullptr);
    const auto* fontBytes = fontAsset;
    const auto* fontStream = fontRWops;
    EXPECT_EQ(loadFont(), first);
    EXPECT_EQ(fontAsset, fontBytes) << "the font asset was decompressed again";
    EXPECT_EQ(fontRWops, fontStream);
    EXPECT_EQ(loadFont(textPointSize), first);
}

// Every output size draws the line at another point size. The font of the size
// it replaces is closed, so however often the output is resized only the
// design size and the size being drawn stay open.
TEST(Loaders, ResizingKeepsOnlyTheDesignAndTheDrawnFontSizesOpen) {
    const ScreenSize design(1920, 1080);
    Text line = NewText(loadFont(), "Hej!", SDL_Color{255, 255, 255, 255});
    size_t mostOpen = 0;
    for (int width = 200; width <= 1000; width += 20) {
        Canvas canvas(width, width * 9 / 16);
        beginPicture(canvas.renderer);
        line.DrawCenter(canvas.renderer, 960, 540, 255);
        EXPECT_GT(canvas.litPixels(), 0) << width;
        mostOpen = std::max(mostOpen, openFontCount());
    }
    picture = Placement{};
    EXPECT_LE(mostOpen, 2u) << "fonts open at once over 41 output sizes";
    EXPECT_EQ(loadFont(30), loadFont(30));
}

TEST(Loaders, EveryMusicLoadDecodesItsOwnCopy) {
    ASSERT_EQ(Mix_OpenAudio(44100, AUDIO_S16LSB, 2, 1024), 0) << SDL_GetError();
    Mix_Music* first = loadMusic();
    const auto* firstBytes = musicAsset;
    Mix_Music* second = loadMusic();
    EXPECT_NE(first, second);
    EXPECT_NE(musicAsset, firstBytes);
    // The first object's bytes are still there for it to play from.
    EXPECT_EQ(*firstBytes, *musicAsset);
    EXPECT_EQ(Mix_GetMusicType(first), MUS_WAV);

    // Playing the first one reads through its own stream.
    EXPECT_EQ(Mix_PlayMusic(first, 0), 0) << SDL_GetError();
    Mix_HaltMusic();
    Mix_FreeMusic(first);
    Mix_FreeMusic(second);
    Mix_CloseAudio();
}

TEST(Loaders, FailuresStopWithTheFailingStepsText) {
    // Globals, as the loaders' own caches are.
    static std::vector<uint8_t>* bytes = nullptr;
    static SDL_RWops* stream = nullptr;
    static SDL_Surface* surface = nullptr;
    const auto fatalText = [](const char* name) -> std::string {
        try {
            loadCachedImage(name, bytes, stream, surface);
        } catch (const FatalError& error) {
            return error.what();
        }
        return "no fatal error";
    };
    EXPECT_EQ(fatalText("res/no-such.png"), "Asset res/no-such.png not found");
    // Bytes that are no PNG stop the program at the decoding step (and the
    // failed first call left nothing cached, nor its bytes behind).
    const std::string notPng = fatalText("res/font.ttf");
    EXPECT_NE(notPng, "");
    EXPECT_EQ(notPng, IMG_GetError());
    EXPECT_EQ(surface, nullptr);
    EXPECT_EQ(bytes, nullptr);
}

namespace {

// The demo's start-up and shutdown bring SDL and its libraries up and down
// themselves. The suite's own hold on them is given up for the test, its
// loaders' caches released first, and taken again afterwards, so the demo's
// shutdown really ends FreeType.
struct SuiteLibrariesSetAside {
    SuiteLibrariesSetAside() {
        releaseLoaders();
        TTF_Quit();
        IMG_Quit();
        SDL_Quit();
    }
    ~SuiteLibrariesSetAside() {
        picture = Placement{};
        SDL_Init(SDL_INIT_VIDEO | SDL_INIT_EVENTS | SDL_INIT_TIMER);
        IMG_Init(IMG_INIT_PNG);
        TTF_Init();
    }
};

}  // namespace

// A second session in one process, as a page could start the demo again:
// everything the first one cached is released before the libraries quit, and
// the second finds the loop running and decodes afresh.
TEST(Loaders, TheDemoStartsAndStopsTwiceInOneProcess) {
    const SuiteLibrariesSetAside aside;
    const ScreenSize size(screenWidth, screenHeight);
    const RunningFlag flag;
    for (int session = 1; session <= 2; ++session) {
        SCOPED_TRACE(session);
        auto demo = startDemo(DemoWindow{1280, 720, 0});
        EXPECT_TRUE(running);
        SDL_Surface* logo = vimbelSurface;
        ASSERT_NE(logo, nullptr);
        for (int frame = 0; frame < 20; ++frame) {
            demo->loop->pass();
        }
        EXPECT_EQ(loadVimbel(), logo);
        // The design size and the 1280 x 720 output's 64 points.
        EXPECT_EQ(openFontCount(), 2u);
        pushEvent(SDL_QUIT);
        demo->loop->pass();
        EXPECT_FALSE(running);
        stopDemo(std::move(demo));
        EXPECT_EQ(openFontCount(), 0u);
        EXPECT_EQ(vimbelSurface, nullptr);
        EXPECT_EQ(musicAsset, nullptr);
    }
}

// The capture tool's session: drawn into the surface it hands over by the
// software renderer, over the clock it gives, with no window, no video
// subsystem and no sound device.
TEST(Loaders, ASessionOverATargetSurfaceDrawsThereWithoutWindowOrSound) {
    const SuiteLibrariesSetAside aside;
    const ScreenSize size(screenWidth, screenHeight);
    const RunningFlag flag;
    SessionSettings settings;
    settings.target.reset(
        SDL_CreateRGBSurfaceWithFormat(0, 640, 360, 32, SDL_PIXELFORMAT_ARGB8888));
    ASSERT_TRUE(settings.target) << SDL_GetError();
    const SDL_Surface* target = settings.target.get();
    uint32_t now = 0;
    settings.ticks = [&now] { return now; };
    auto demo = startSession(std::move(settings));
    EXPECT_EQ(demo->window, nullptr);
    EXPECT_FALSE(demo->sound);
    EXPECT_EQ(SDL_WasInit(SDL_INIT_VIDEO | SDL_INIT_AUDIO), 0u);
    EXPECT_EQ(Mix_QuerySpec(nullptr, nullptr, nullptr), 0) << "no audio device is open";
    EXPECT_EQ(screenWidth, 1920);

    now = 100;
    demo->loop->pass();
    EXPECT_NEAR(demo->scene->leftLogo.angle, 20.0, 1e-9);
    // The logo, a third of its design size, in the surface's top-left corner.
    int lit = 0;
    for (int y = 0; y < 70; ++y) {
        const auto* row = static_cast<const uint32_t*>(target->pixels) + y * target->pitch / 4;
        for (int x = 0; x < 60; ++x) {
            lit += (row[x] & 0xffffffu) != 0 ? 1 : 0;
        }
    }
    EXPECT_GT(lit, 49 * 58 / 4);
    stopDemo(std::move(demo));
    EXPECT_EQ(openFontCount(), 0u);
}

// The report names the failing step before the library's text. The
// platform's entry may show it elsewhere too (a message box on Windows): it
// gets the very line written on standard error.
TEST(Loaders, TheFatalReportNamesTheStepAndGoesToStandardErrorAndTheEntrysSink) {
    EXPECT_EQ(fatalReport(FatalError("Asset res/font.ttf not found")),
              "vimbel-demo: Asset res/font.ttf not found");
    const std::string report =
        fatalReport(FatalError("No available video device", "cannot create the window"));
    EXPECT_EQ(report, "vimbel-demo: cannot create the window: No available video device");
    static std::string shown;
    setFatalReportSink([](const std::string& line) { shown = line; });
    testing::internal::CaptureStderr();
    reportFatal(report);
    const std::string written = testing::internal::GetCapturedStderr();
    setFatalReportSink(nullptr);
    EXPECT_EQ(written, report + "\n");
    EXPECT_EQ(shown, report);
}
