#include "main.h"

#include <SDL_image.h>

#include <chrono>
#include <cstdio>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

#include "bindata.h"
#include "color.h"
#include "fatal.h"
#include "globals.h"
#include "picture.h"
#include "random.h"
#include "sprite.h"

int32_t screenWidth = 0;
int32_t screenHeight = 0;
bool running = true;

// ---------------------------------------------------------------------------
// Loaders. What they decode stays for the rest of the session: the font and
// the music keep reading their bytes through their streams, so the bytes and
// the streams go only in releaseLoaders, after whatever reads them. No
// destructor here runs at exit: shutdown releases everything while the
// libraries are still up.

std::vector<uint8_t>* vimbelAsset = nullptr;
SDL_RWops* vimbelRWops = nullptr;
SDL_Surface* vimbelSurface = nullptr;

std::vector<uint8_t>* fontAsset = nullptr;
SDL_RWops* fontRWops = nullptr;
TTF_Font* font = nullptr;

// Every music load gets its own bytes and stream, which its music object reads
// while it plays; all of them are kept until released, the latest one named by
// the globals.
struct MusicSource {
    std::vector<uint8_t> bytes;
    SDL_RWops* rwops = nullptr;
};
namespace {
std::vector<MusicSource*>* musicSources = new std::vector<MusicSource*>;
}  // namespace
std::vector<uint8_t>* musicAsset = nullptr;
SDL_RWops* musicRWops = nullptr;

namespace {

struct RWopsCloser {
    void operator()(SDL_RWops* rwops) const { SDL_RWclose(rwops); }
};
using RWopsPtr = std::unique_ptr<SDL_RWops, RWopsCloser>;
struct FontCloser {
    void operator()(TTF_Font* font) const { TTF_CloseFont(font); }
};
using FontPtr = std::unique_ptr<TTF_Font, FontCloser>;

std::vector<uint8_t> assetOrFatal(const char* name) {
    auto bytes = Asset(name);
    if (!bytes.ok()) {
        fatal(*bytes.error);
    }
    return std::move(bytes.value);
}

RWopsPtr streamOrFatal(std::vector<uint8_t>& bytes) {
    RWopsPtr rwops(SDL_RWFromMem(bytes.data(), static_cast<int>(bytes.size())));
    if (!rwops) {
        fatalSdl();
    }
    return rwops;
}

// The globals of every image cache filled so far, for releaseLoaders.
struct ImageCache {
    std::vector<uint8_t>** bytes;
    SDL_RWops** rwops;
    SDL_Surface** surface;
};
std::vector<ImageCache>* imageCaches = new std::vector<ImageCache>;

}  // namespace

SDL_Surface* loadCachedImage(const char* name, std::vector<uint8_t>*& bytes, SDL_RWops*& rwops,
                             SDL_Surface*& surface) {
    if (surface) {
        return surface;
    }
    auto decoded = std::make_unique<std::vector<uint8_t>>(assetOrFatal(name));
    RWopsPtr stream = streamOrFatal(*decoded);
    SurfacePtr image(IMG_LoadPNG_RW(stream.get()));
    if (!image) {
        fatal(IMG_GetError());
    }
    bytes = decoded.release();
    rwops = stream.release();
    surface = image.release();
    imageCaches->push_back({&bytes, &rwops, &surface});
    return surface;
}

SDL_Surface* loadVimbel() {
    return loadCachedImage("res/vimbel.png", vimbelAsset, vimbelRWops, vimbelSurface);
}

TTF_Font* loadFont() {
    if (font) {
        return font;
    }
    auto bytes = std::make_unique<std::vector<uint8_t>>(assetOrFatal("res/font.ttf"));
    RWopsPtr stream = streamOrFatal(*bytes);
    TTF_Font* opened = TTF_OpenFontIndexRW(stream.get(), 0, textPointSize, 0);
    if (!opened) {
        fatal(TTF_GetError());
    }
    fontAsset = bytes.release();
    fontRWops = stream.release();
    font = opened;
    return font;
}

namespace {
// The font at the one other size kept open, with its own stream over the
// shared bytes: a font reads through its stream while it lives, and each keeps
// its own position. The font is declared first, so it closes before its stream.
struct ScaledFont {
    int pointSize = 0;
    FontPtr font;
    RWopsPtr rwops;
};
ScaledFont* scaledFont = new ScaledFont;
}  // namespace

// A new size replaces the previous one: the picture's scale changes only when
// the output is resized, and a resized browser canvas would otherwise gather
// one open font per size it has ever had.
TTF_Font* loadFont(int pointSize) {
    if (pointSize == textPointSize) {
        return loadFont();
    }
    if (scaledFont->font && scaledFont->pointSize == pointSize) {
        return scaledFont->font.get();
    }
    loadFont();
    RWopsPtr stream = streamOrFatal(*fontAsset);
    FontPtr sized(TTF_OpenFontIndexRW(stream.get(), 0, pointSize, 0));
    if (!sized) {
        fatal(TTF_GetError());
    }
    *scaledFont = ScaledFont{pointSize, std::move(sized), std::move(stream)};
    return scaledFont->font.get();
}

size_t openFontCount() {
    return (font ? 1 : 0) + (scaledFont->font ? 1 : 0);
}

Mix_Music* loadMusic() {
    auto* source = new MusicSource{assetOrFatal("res/music.wav"), nullptr};
    musicSources->push_back(source);
    musicAsset = &source->bytes;
    source->rwops = musicRWops = streamOrFatal(source->bytes).release();
    Mix_Music* music = Mix_LoadMUSType_RW(musicRWops, MUS_WAV, 0);
    if (!music) {
        fatalSdl();
    }
    return music;
}

namespace {
// Closes a kept stream, if any, and forgets it.
void closeStream(SDL_RWops*& rwops) {
    if (rwops) {
        SDL_RWclose(rwops);
        rwops = nullptr;
    }
}
}  // namespace

void releaseLoaders() {
    // Each font before the stream it reads, each stream before its bytes.
    *scaledFont = ScaledFont{};
    if (font) {
        TTF_CloseFont(font);
        font = nullptr;
    }
    closeStream(fontRWops);
    delete fontAsset;
    fontAsset = nullptr;

    for (const ImageCache& cache : *imageCaches) {
        SDL_FreeSurface(*cache.surface);
        *cache.surface = nullptr;
        closeStream(*cache.rwops);
        delete *cache.bytes;
        *cache.bytes = nullptr;
    }
    imageCaches->clear();

    for (MusicSource* source : *musicSources) {
        closeStream(source->rwops);
        delete source;
    }
    musicSources->clear();
    musicAsset = nullptr;
    musicRWops = nullptr;
}

// ---------------------------------------------------------------------------
// The demo script: each step is the completion callback of the object whose
// end triggers it, and it hands the next step to the object it creates.

std::shared_ptr<FaceInFadeOut> newTextLine(const char* line, std::function<void()> onStop) {
    TTF_Font* textFont = loadFont();
    const SDL_Color color = GetRandomColor();
    return std::make_shared<FaceInFadeOut>(
        NewFadeInFadeOut(NewText(textFont, line, color), textFadeSpeed, std::move(onStop)));
}

std::unique_ptr<Scene> buildScene(SDL_Renderer* renderer) {
    auto background1 = NewBackground(background1Stars, starSize, starSize, background1Velocity);
    auto background2 = NewBackground(background2Stars, starSize, starSize, background2Velocity);
    auto leftLogo = NewRotateAnimation(renderer, loadVimbel(), leftLogoSpeed);
    auto rightLogo = NewRotateAnimation(renderer, loadVimbel(), rightLogoSpeed);
    auto rymdskepp = NewRymdskepp(renderer);
    // Centred, wholly below the bottom edge.
    rymdskepp.x = screenWidth / 2 - rymdskeppTextureWidth / 2;
    rymdskepp.y = screenHeight + rymdskeppTextureHeight;
    auto scene = std::unique_ptr<Scene>(new Scene{std::move(background1),
                                                  std::move(background2),
                                                  std::move(leftLogo),
                                                  std::move(rightLogo),
                                                  std::move(rymdskepp),
                                                  {},
                                                  {},
                                                  {},
                                                  {}});

    // Each step captures only what it uses; each is defined before the step
    // that hands it on.
    Rymdskepp& ship = scene->rymdskepp;
    SceneCell<FaceInFadeOut>& currentText = scene->currentText;
    SceneCell<ShowRymdskepp>& showRymdskeppAnim = scene->showRymdskeppAnim;
    SceneCell<AsteroidField>& asteroidField = scene->asteroidField;
    SceneCell<ExplosionParticleEffect>& rymdskeppExplosion = scene->rymdskeppExplosion;

    std::function<void()> endDemo = [] { running = false; };
    std::function<void()> text10 = [&currentText, endDemo] {
        currentText.set(newTextLine(demoLines[10], endDemo));
    };
    std::function<void()> text9 = [&currentText, text10] {
        currentText.set(newTextLine(demoLines[9], text10));
    };
    std::function<void()> text8 = [&currentText, text9] {
        currentText.set(newTextLine(demoLines[8], text9));
    };
    std::function<void()> text7 = [&currentText, text8] {
        currentText.set(newTextLine(demoLines[7], text8));
    };
    std::function<void()> text6 = [&currentText, text7] {
        currentText.set(newTextLine(demoLines[6], text7));
    };
    std::function<void()> afterExplosion = [&rymdskeppExplosion, &currentText, text6] {
        rymdskeppExplosion.clear();
        currentText.set(newTextLine(demoLines[5], text6));
    };
    std::function<void()> explodeRymdskepp = [&ship, &rymdskeppExplosion, afterExplosion] {
        ship.show = false;
        // At the ship's centre, summed in whole pixels.
        const auto x = static_cast<float>(ship.x + rymdskeppTextureWidth / 2);
        const auto y = static_cast<float>(ship.y + rymdskeppTextureHeight / 2);
        rymdskeppExplosion.set(std::make_shared<ExplosionParticleEffect>(
            NewExplosionParticleEffect(x, y, afterExplosion)));
    };
    std::function<void()> pilotRymdskepp = [renderer, &asteroidField, &showRymdskeppAnim,
                                            explodeRymdskepp] {
        asteroidField.set(
            std::make_shared<AsteroidField>(NewAsteroidField(renderer, explodeRymdskepp)));
        showRymdskeppAnim.clear();
    };
    showRymdskeppAnim.set(std::make_shared<ShowRymdskepp>(
        NewShowRymdskepp(&ship, showRymdskeppSpeed, pilotRymdskepp)));

    std::function<void()> showRymdskepp = [&showRymdskeppAnim] {
        showRymdskeppAnim.get()->SetShow(true);
    };
    std::function<void()> text5 = [&currentText, showRymdskepp] {
        currentText.set(newTextLine(demoLines[4], showRymdskepp));
    };
    std::function<void()> text4 = [&currentText, text5] {
        currentText.set(newTextLine(demoLines[3], text5));
    };
    std::function<void()> text3 = [&currentText, text4] {
        currentText.set(newTextLine(demoLines[2], text4));
    };
    std::function<void()> text2 = [&currentText, text3] {
        currentText.set(newTextLine(demoLines[1], text3));
    };
    currentText.set(newTextLine(demoLines[0], text2));
    return scene;
}

DemoStage demoStage(const Scene& scene) {
    if (const auto entrance = scene.showRymdskeppAnim.get()) {
        return entrance->show ? DemoStage::Entrance : DemoStage::Greeting;
    }
    if (!scene.rymdskeppExplosion.empty()) {
        return DemoStage::Explosion;
    }
    if (scene.rymdskepp.show) {
        return DemoStage::Asteroids;
    }
    const auto text = scene.currentText.get();
    constexpr size_t lastLine = std::size(demoLines) - 1;
    if (text && text->state == FADING_STOPPED && text->text.text == demoLines[lastLine]) {
        return DemoStage::Ended;
    }
    return DemoStage::Closing;
}

const char* demoStageName(DemoStage stage) {
    switch (stage) {
        case DemoStage::Greeting:
            return "greeting";
        case DemoStage::Entrance:
            return "entrance";
        case DemoStage::Asteroids:
            return "asteroids";
        case DemoStage::Explosion:
            return "explosion";
        case DemoStage::Closing:
            return "closing";
        case DemoStage::Ended:
            return "ended";
    }
    return "?";
}

// ---------------------------------------------------------------------------
// The frame loop.

float tickDelta(uint32_t lastTime, uint32_t currentTime) {
    return static_cast<float>(currentTime - lastTime);
}

void handleEvents() {
    SDL_Event event;
    while (SDL_PollEvent(&event)) {
        if (event.type == SDL_QUIT) {
            running = false;
        } else if ((event.type == SDL_KEYDOWN || event.type == SDL_KEYUP) &&
                   event.key.keysym.sym == SDLK_ESCAPE) {
            running = false;
        }
    }
}

// Each slot takes its own reference to a cell's object, so a step run inside
// an update may empty or refill the cell while that object is still running;
// later slots read the cell afresh.
void updateScene(Scene& scene, float deltaTime) {
    scene.background1.Update(deltaTime);
    scene.background2.Update(deltaTime);
    scene.leftLogo.Update(deltaTime);
    scene.rightLogo.Update(deltaTime);
    updateCell(scene.asteroidField, deltaTime);
    updateCell(scene.showRymdskeppAnim, deltaTime);
    scene.rymdskepp.Update(deltaTime);
    updateCell(scene.rymdskeppExplosion, deltaTime);
    updateCell(scene.currentText, deltaTime);
}

void drawScene(Scene& scene, SDL_Renderer* renderer) {
    beginPicture(renderer);
    SDL_SetRenderDrawColor(renderer, 0, 0, 0, 255);
    SDL_RenderClear(renderer);
    scene.background1.Draw(renderer);
    scene.background2.Draw(renderer);
    scene.leftLogo.Draw(renderer, logoX, logoY);
    // The width drawn in the previous frame keeps the right edge in place.
    scene.rightLogo.Draw(renderer, screenWidth - scene.rightLogo.Width() - logoX, logoY);
    if (auto field = scene.asteroidField.get()) {
        field->Draw(renderer);
    }
    scene.rymdskepp.Draw(renderer);
    if (auto explosion = scene.rymdskeppExplosion.get()) {
        explosion->Draw(renderer);
    }
    if (auto text = scene.currentText.get()) {
        const auto jx = static_cast<int32_t>(RandomNumber(textJitterMin, textJitterMax));
        const auto jy = static_cast<int32_t>(RandomNumber(textJitterMin, textJitterMax));
        text->DrawCenter(renderer, screenWidth / 2 + jx, screenHeight / 2 + jy);
    }
}

void framePass(Scene& scene, SDL_Renderer* renderer, float deltaTime) {
    updateScene(scene, deltaTime);
    drawScene(scene, renderer);
    SDL_RenderPresent(renderer);
}

void loopPass(Scene& scene, SDL_Renderer* renderer, float deltaTime) {
    handleEvents();
    framePass(scene, renderer, deltaTime);
}

void runFrameLoop(Scene& scene, SDL_Renderer* renderer, const std::function<uint32_t()>& ticks) {
    FrameClock clock(ticks());
    while (running) {
        loopPass(scene, renderer, clock.next(ticks()));
    }
}

void runFrameLoop(Scene& scene, SDL_Renderer* renderer) {
    runFrameLoop(scene, renderer, SDL_GetTicks);
}

// ---------------------------------------------------------------------------
// Start-up and shutdown.

namespace {

constexpr int audioFrequency = 44100;
constexpr uint16_t audioFormat = AUDIO_S16LSB;
constexpr int audioChannels = 2;
constexpr int audioChunkSize = 1024;

int64_t wallClockNanoseconds() {
    using namespace std::chrono;
    return duration_cast<nanoseconds>(system_clock::now().time_since_epoch()).count();
}

}  // namespace

// A fatal error unwinds from here with only what the session holds so far
// released (the window, the renderer): no shutdown step runs.
std::unique_ptr<DemoSession> startDemo(const DemoWindow& window) {
    // A session that starts runs, even after an earlier one in this process
    // ended its loop.
    running = true;
    seedRandom(wallClockNanoseconds());

    SDL_Init(SDL_INIT_EVERYTHING);
    IMG_Init(IMG_INIT_PNG);
    TTF_Init();
    Mix_Init(MIX_INIT_OGG);

    auto session = std::make_unique<DemoSession>();
    session->window.reset(SDL_CreateWindow(windowTitle, SDL_WINDOWPOS_UNDEFINED,
                                           SDL_WINDOWPOS_UNDEFINED, window.width, window.height,
                                           window.flags));
    if (!session->window) {
        fatalSdl("cannot create the window");
    }
    session->renderer.reset(
        SDL_CreateRenderer(session->window.get(), -1, SDL_RENDERER_ACCELERATED));
    if (!session->renderer) {
        fatalSdl("cannot create the renderer");
    }
    int width = 0;
    int height = 0;
    if (SDL_GetRendererOutputSize(session->renderer.get(), &width, &height) < 0) {
        fatalSdl("cannot read the renderer's output size");
    }
    const PictureSize design = designSizeFor(width, height);
    screenWidth = design.width;
    screenHeight = design.height;

    if (Mix_OpenAudio(audioFrequency, audioFormat, audioChannels, audioChunkSize) < 0) {
        fatalSdl("cannot open the audio device");
    }
    session->music = loadMusic();
    Mix_PlayMusic(session->music, -1);

    session->scene = buildScene(session->renderer.get());
    session->clock = FrameClock(SDL_GetTicks());
    return session;
}

void demoFrame(DemoSession& session) {
    loopPass(*session.scene, session.renderer.get(), session.clock.next(SDL_GetTicks()));
}

void stopDemo(std::unique_ptr<DemoSession> session) {
    // The scene (and the textures it owns) goes before the libraries do.
    session->scene.reset();
    Mix_FreeMusic(session->music);
    session->music = nullptr;
    // Nothing reads the loaders' caches any more; the fonts must close while
    // FreeType is still up, and a later start decodes afresh.
    releaseLoaders();
    Mix_CloseAudio();
    Mix_Quit();
    TTF_Quit();
    IMG_Quit();
    // The renderer and the window go while the video subsystem is still up:
    // after SDL_Quit their GL context and surface would outlive the display
    // connection (a crash on Wayland and with the offscreen driver).
    session->renderer.reset();
    session->window.reset();
    SDL_Quit();
}

namespace {

int runDemo(const DemoWindow& window) {
    auto session = startDemo(window);
    while (running) {
        demoFrame(*session);
    }
    stopDemo(std::move(session));
    return 0;
}

}  // namespace

int demoMain(const DemoWindow& window) {
    try {
        return runDemo(window);
    } catch (const FatalError& error) {
        reportFatal(fatalReport(error));
        return 2;
    }
}
