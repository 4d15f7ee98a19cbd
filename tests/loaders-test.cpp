#include <SDL_image.h>
#include <gtest/gtest.h>

#include "bindata.h"
#include "fatal.h"
#include "main.h"

TEST(Loaders, ImagesAndTheFontAreDecodedOnceAndShared) {
    SDL_Surface* logo = loadVimbel();
    ASSERT_NE(logo, nullptr);
    const auto* logoBytes = vimbelAsset;
    EXPECT_EQ(loadVimbel(), logo);
    EXPECT_EQ(vimbelAsset, logoBytes);

    SDL_Surface* asteroid = loadAsteroid();
    SDL_Surface* ship = loadRymdskepp();
    ASSERT_NE(asteroid, nullptr);
    ASSERT_NE(ship, nullptr);
    EXPECT_EQ(loadAsteroid(), asteroid);
    EXPECT_EQ(loadRymdskepp(), ship);
    EXPECT_NE(asteroid, ship);
    EXPECT_NE(asteroid, logo);
    EXPECT_EQ(ship->w, 64);

    TTF_Font* first = loadFont();
    ASSERT_NE(first, nullptr);
    const auto* fontBytes = fontAsset;
    const auto* fontStream = fontRWops;
    EXPECT_EQ(loadFont(), first);
    EXPECT_EQ(fontAsset, fontBytes) << "the font asset was decompressed again";
    EXPECT_EQ(fontRWops, fontStream);
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
    // Like the loaders' own caches, these are kept until the process ends.
    static std::vector<uint8_t>* bytes = nullptr;
    static SDL_RWops* stream = nullptr;
    static SDL_Surface* surface = nullptr;
    try {
        loadCachedImage("res/no-such.png", bytes, stream, surface);
        FAIL() << "a missing asset must be fatal";
    } catch (const FatalError& error) {
        EXPECT_STREQ(error.what(), "Asset res/no-such.png not found");
    }
    EXPECT_EQ(surface, nullptr);

    // Bytes that are no PNG stop the program at the decoding step.
    try {
        loadCachedImage("res/font.ttf", bytes, stream, surface);
        FAIL() << "a font is not a PNG";
    } catch (const FatalError& error) {
        EXPECT_STRNE(error.what(), "");
        EXPECT_STREQ(error.what(), IMG_GetError());
    }
    EXPECT_EQ(surface, nullptr);
}

TEST(Loaders, TheFatalReportNamesTheStepBeforeTheLibrarysText) {
    EXPECT_EQ(fatalReport(FatalError("Asset res/font.ttf not found")),
              "vimbel-demo: Asset res/font.ttf not found");
    EXPECT_EQ(fatalReport(FatalError("No available video device", "cannot create the window")),
              "vimbel-demo: cannot create the window: No available video device");
}

// The platform's entry may show the report elsewhere too (a message box on
// Windows); it gets the very line written on standard error.
TEST(Loaders, TheFatalReportGoesToStandardErrorAndToTheEntrysSink) {
    static std::string shown;
    setFatalReportSink([](const std::string& report) { shown = report; });
    testing::internal::CaptureStderr();
    reportFatal("vimbel-demo: cannot open the audio device: no device");
    const std::string written = testing::internal::GetCapturedStderr();
    setFatalReportSink(nullptr);
    EXPECT_EQ(written, "vimbel-demo: cannot open the audio device: no device\n");
    EXPECT_EQ(shown, "vimbel-demo: cannot open the audio device: no device");
}
