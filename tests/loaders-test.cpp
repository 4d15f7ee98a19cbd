#include <SDL_image.h>
#include <gtest/gtest.h>

#include "bindata.h"
#include "fatal.h"
#include "main.h"

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
    // failed first call left nothing cached).
    const std::string notPng = fatalText("res/font.ttf");
    EXPECT_NE(notPng, "");
    EXPECT_EQ(notPng, IMG_GetError());
    EXPECT_EQ(surface, nullptr);
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
