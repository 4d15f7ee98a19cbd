#include "session.h"

#include <SDL_image.h>
#include <SDL_ttf.h>

#include <string>
#include <utility>

#include "fatal.h"
#include "loaders.h"
#include "picture.h"
#include "random.h"
#include "script.h"

namespace {

constexpr int audioFrequency = 44100;
constexpr uint16_t audioFormat = AUDIO_S16LSB;
constexpr int audioChannels = 2;
constexpr int audioChunkSize = 1024;

// The libraries: all of them for a window, whose results do not matter (a
// missing subsystem shows as the failure of what needs it); only the decoders
// for a target surface, where nothing else fails later to tell.
void startLibraries(bool window) {
    if (window) {
        SDL_Init(SDL_INIT_EVERYTHING);
        IMG_Init(IMG_INIT_PNG);
        TTF_Init();
        Mix_Init(MIX_INIT_OGG);
    } else if (SDL_Init(0) != 0 || IMG_Init(IMG_INIT_PNG) == 0 || TTF_Init() != 0) {
        fatalSdl("cannot start SDL");
    }
}

}  // namespace

// A fatal error unwinds from here with only what the session holds so far
// released (the window, the renderer): no shutdown step runs.
std::unique_ptr<DemoSession> startSession(SessionSettings settings) {
    // A session that starts runs, even after an earlier one in this process
    // ended its loop.
    running = true;
    seedRandom(settings.seed ? *settings.seed : wallClockNanoseconds());
    const bool window = settings.target == nullptr;
    startLibraries(window);

    auto session = std::make_unique<DemoSession>();
    if (window) {
        session->window.reset(SDL_CreateWindow(windowTitle, SDL_WINDOWPOS_UNDEFINED,
                                               SDL_WINDOWPOS_UNDEFINED, settings.window.width,
                                               settings.window.height, settings.window.flags));
        if (!session->window) {
            fatalSdl("cannot create the window");
        }
        session->renderer.reset(
            SDL_CreateRenderer(session->window.get(), -1, SDL_RENDERER_ACCELERATED));
        if (!session->renderer) {
            fatalSdl("cannot create the renderer");
        }
    } else {
        session->target = std::move(settings.target);
        session->renderer.reset(SDL_CreateSoftwareRenderer(session->target.get()));
        if (!session->renderer) {
            fatalSdl("cannot make the software renderer");
        }
    }
    int width = 0;
    int height = 0;
    if (SDL_GetRendererOutputSize(session->renderer.get(), &width, &height) < 0) {
        fatalSdl("cannot read the renderer's output size");
    }
    const PictureSize design = designSizeFor(width, height);
    screenWidth = design.width;
    screenHeight = design.height;

    if (window) {
        if (Mix_OpenAudio(audioFrequency, audioFormat, audioChannels, audioChunkSize) < 0) {
            fatalSdl("cannot open the audio device");
        }
        session->sound = true;
        session->music = loadMusic();
        Mix_PlayMusic(session->music, -1);
    }

    session->scene = buildScene(session->renderer.get());
    session->loop =
        std::make_unique<FrameLoop>(*session->scene, session->renderer.get(),
                                    std::move(settings.ticks), std::move(settings.events));
    return session;
}

std::unique_ptr<DemoSession> startDemo(const DemoWindow& window) {
    SessionSettings settings;
    settings.window = window;
    return startSession(std::move(settings));
}

void stopDemo(std::unique_ptr<DemoSession> session) {
    // The scene (and the textures it owns) goes before the libraries do.
    session->loop.reset();
    session->scene.reset();
    if (session->sound) {
        Mix_FreeMusic(session->music);
        session->music = nullptr;
    }
    // Nothing reads the loaders' caches any more; the fonts must close while
    // FreeType is still up, and a later start decodes afresh.
    releaseLoaders();
    if (session->sound) {
        Mix_CloseAudio();
        Mix_Quit();
    }
    TTF_Quit();
    IMG_Quit();
    // The renderer and the window go while the video subsystem is still up:
    // after SDL_Quit their GL context and surface would outlive the display
    // connection (a crash on Wayland and with the offscreen driver).
    session->renderer.reset();
    session->target.reset();
    session->window.reset();
    SDL_Quit();
}

int demoMain(const DemoWindow& window) {
    try {
        auto session = startDemo(window);
        session->loop->run();
        stopDemo(std::move(session));
        return 0;
    } catch (const FatalError& error) {
        reportFatal(fatalReport(error));
        return 2;
    }
}
