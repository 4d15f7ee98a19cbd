// The test suite's entry: every test runs against the real SDL libraries with
// drivers that need neither a display nor a sound card, whatever environment
// the suite was started from.

#include <SDL.h>
#include <SDL_image.h>
#include <SDL_ttf.h>
#include <gtest/gtest.h>

#include <cstdlib>

#include "loaders.h"

int main(int argc, char** argv) {
    setenv("SDL_VIDEODRIVER", "dummy", 1);
    setenv("SDL_AUDIODRIVER", "dummy", 1);
    setenv("SDL_RENDER_DRIVER", "software", 1);
    testing::InitGoogleTest(&argc, argv);
    if (SDL_Init(SDL_INIT_VIDEO | SDL_INIT_EVENTS | SDL_INIT_TIMER) != 0 ||
        IMG_Init(IMG_INIT_PNG) == 0 || TTF_Init() != 0) {
        std::fprintf(stderr, "SDL start-up failed: %s\n", SDL_GetError());
        return 1;
    }
    const int result = RUN_ALL_TESTS();
    releaseLoaders();
    TTF_Quit();
    IMG_Quit();
    SDL_Quit();
    return result;
}
