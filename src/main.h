#pragma once

// The demo driver: the loaders kept by the entry, the frame loop with its
// timing and events, the scene with its cells, and the demo script.

#include <SDL.h>
#include <SDL_mixer.h>
#include <SDL_ttf.h>

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

#include "asteroid-field.h"
#include "background.h"
#include "explosion.h"
#include "fade-in-fade-out.h"
#include "rotate-animation.h"
#include "rymdskepp.h"
#include "show-rymdskepp.h"

// The loaders decode what they hand out on first use and keep it for the rest
// of the session: the font and the music read their bytes through their
// streams while they live. releaseLoaders gives it all back; a call after that
// decodes afresh.

// The music, decoded afresh on every call; the caller owns it. Its bytes and
// stream are kept until releaseLoaders.
Mix_Music* loadMusic();
// The logo image, decoded once and shared.
SDL_Surface* loadVimbel();
// The font at the design size of the text (96 points), opened once and shared
// by every text line.
TTF_Font* loadFont();
// The same font at another size in points over the same bytes: the text drawn
// at the picture's scale. One such size is kept open: asking for another
// closes the previous one, so its pointer is good only until the next call
// with another size.
TTF_Font* loadFont(int pointSize);
// The fonts open now: the design size's and the one scaled size, at most 2.
size_t openFontCount();

// Closes and frees everything the loaders keep: the fonts, the image surfaces
// of every image loader, their streams and bytes, and the sources of every
// music loaded. Nothing may use any of them afterwards: it runs after the scene
// and the music are freed and before SDL_ttf and SDL_image quit.
void releaseLoaders();

// The loaders' caches, null until first use and again after releaseLoaders.
extern std::vector<uint8_t>* vimbelAsset;
extern SDL_RWops* vimbelRWops;
extern SDL_Surface* vimbelSurface;
extern std::vector<uint8_t>* fontAsset;
extern SDL_RWops* fontRWops;
extern TTF_Font* font;  // at the design size
// The bytes and stream of the latest loadMusic call.
extern std::vector<uint8_t>* musicAsset;
extern SDL_RWops* musicRWops;

// The image loaders' shared path: on the first call the named asset's bytes,
// a stream over them and the decoded PNG go into the three given globals, which
// releaseLoaders frees and resets to null; every later call returns the cached
// surface at once. Failures are fatal and leave the globals as they were.
SDL_Surface* loadCachedImage(const char* name, std::vector<uint8_t>*& bytes, SDL_RWops*& rwops,
                             SDL_Surface*& surface);

// A slot of the scene that is empty or holds one object. Whoever runs an
// object takes its own reference first (get), so the object stays alive until
// that call returns even if a callback inside it empties or refills the cell.
template <typename T>
class SceneCell {
  public:
    std::shared_ptr<T> get() const { return object_; }
    void set(std::shared_ptr<T> object) { object_ = std::move(object); }
    void clear() { object_.reset(); }
    bool empty() const { return object_ == nullptr; }

  private:
    std::shared_ptr<T> object_;
};

// Runs one update of a cell's object, if any, holding it alive until the
// update returns even if a step run inside it empties or refills the cell.
template <typename T>
void updateCell(const SceneCell<T>& cell, float deltaTime) {
    if (std::shared_ptr<T> object = cell.get()) {
        object->Update(deltaTime);
    }
}

inline constexpr int32_t logoX = 10;
inline constexpr int32_t logoY = 10;
inline constexpr double leftLogoSpeed = 0.2;
inline constexpr double rightLogoSpeed = -0.2;
inline constexpr uint32_t background1Stars = 100;
inline constexpr float background1Velocity = 0.2f;
inline constexpr uint32_t background2Stars = 10;
inline constexpr float background2Velocity = 0.3f;
inline constexpr int32_t starSize = 1;
inline constexpr float textFadeSpeed = 0.2f;
inline constexpr int64_t textJitterMin = -5;
inline constexpr int64_t textJitterMax = 5;
inline constexpr float showRymdskeppSpeed = 0.2f;

// The demo's text lines, in the order they are shown.
inline constexpr const char* demoLines[] = {
    "Hej!",
    "Välkommen...",
    "...till mitt demo...",
    "...om ett rymdskepp...",
    "...som exploderade.",
    "Slut!",
    "Hej då!",
    "Nej vänta!",
    "Glöm inte...",
    "...att rösta!",
    "rosta.vimbel.se",
};

// Everything the frame loop updates and draws, built once by buildScene: the
// always-present objects and the four cells that the script fills and empties.
struct Scene {
    Background background1;
    Background background2;
    RotateAnimation leftLogo;
    RotateAnimation rightLogo;
    Rymdskepp rymdskepp;
    SceneCell<FaceInFadeOut> currentText;
    SceneCell<ShowRymdskepp> showRymdskeppAnim;
    SceneCell<AsteroidField> asteroidField;
    SceneCell<ExplosionParticleEffect> rymdskeppExplosion;
};

// Builds the always-present objects, parks the spaceship below the screen
// with its entrance waiting, and starts the script with its first line. The
// scene must not move afterwards: the script's steps refer to its members.
std::unique_ptr<Scene> buildScene(SDL_Renderer* renderer);

// Where the script is, read off the scene: the greeting lines, the ship's
// rise, the asteroid field, the explosion, the closing lines, and the end
// (the last line has faded out).
enum class DemoStage { Greeting, Entrance, Asteroids, Explosion, Closing, Ended };
DemoStage demoStage(const Scene& scene);
const char* demoStageName(DemoStage stage);

// Makes a fading text line in the shared font with a fresh random colour.
std::shared_ptr<FaceInFadeOut> newTextLine(const char* line, std::function<void()> onStop);

// Milliseconds between two tick readings, across the 32-bit wrap.
float tickDelta(uint32_t lastTime, uint32_t currentTime);

// Drains the event queue; a quit request or an Escape key event clears running.
void handleEvents();

// One pass of the frame loop without the clock or the event queue: the update
// phase with the given time, the draw phase and the present.
void updateScene(Scene& scene, float deltaTime);
void drawScene(Scene& scene, SDL_Renderer* renderer);
void framePass(Scene& scene, SDL_Renderer* renderer, float deltaTime);
// One pass of the live loop with a given elapsed time: the events, then framePass.
void loopPass(Scene& scene, SDL_Renderer* renderer, float deltaTime);

// The frame loop's clock over a millisecond tick counter: read once before
// the first pass, then at the start of every pass.
class FrameClock {
  public:
    explicit FrameClock(uint32_t now) : currentTime_(now) {}
    // The milliseconds since the previous reading.
    float next(uint32_t now) {
        const uint32_t lastTime = currentTime_;
        currentTime_ = now;
        return tickDelta(lastTime, currentTime_);
    }

  private:
    uint32_t currentTime_;
};

// Runs passes until running is false.
void runFrameLoop(Scene& scene, SDL_Renderer* renderer);
// The same over a given millisecond clock (SDL_GetTicks above), read once
// before the first pass and at the start of every pass.
void runFrameLoop(Scene& scene, SDL_Renderer* renderer, const std::function<uint32_t()>& ticks);

struct WindowDeleter {
    void operator()(SDL_Window* window) const { SDL_DestroyWindow(window); }
};
struct RendererDeleter {
    void operator()(SDL_Renderer* renderer) const { SDL_DestroyRenderer(renderer); }
};

// What start-up makes and shutdown releases. A session destroyed without
// stopDemo (after a fatal error) releases only its scene, then the renderer,
// then the window.
struct DemoSession {
    std::unique_ptr<SDL_Window, WindowDeleter> window;
    std::unique_ptr<SDL_Renderer, RendererDeleter> renderer;
    Mix_Music* music = nullptr;
    std::unique_ptr<Scene> scene;
    FrameClock clock{0};
};

// The window's title, also given to anything else the demo shows the viewer.
inline constexpr const char* windowTitle = "Tolvard - Vimbel 2023 demo";

// The window an entry asks for: its size and creation flags. The renderer's
// output size, not this, chooses the design picture's shape and scale.
struct DemoWindow {
    int width;
    int height;
    uint32_t flags;
};
// The desktop's: full screen at the desktop's resolution.
inline constexpr DemoWindow desktopWindow{1280, 720, SDL_WINDOW_FULLSCREEN_DESKTOP};

// Start-up: sets running, seeds the generator, brings up the libraries, the
// window the entry asks for, the renderer (whose output size chooses the design
// size), the audio device and the looping music, builds the scene and takes the
// clock's first reading. A fatal error throws FatalError with what was made so
// far released.
std::unique_ptr<DemoSession> startDemo(const DemoWindow& window);
// One pass of the live loop, its elapsed time read off SDL_GetTicks.
void demoFrame(DemoSession& session);
// Shutdown, in order: the scene, the music, the loaders' caches, the audio
// device and the libraries, then the renderer and the window, then SDL itself.
// A later startDemo in the same process starts afresh.
void stopDemo(std::unique_ptr<DemoSession> session);

// The whole program in the given window: start-up, the demo, shutdown.
// Returns the exit status.
int demoMain(const DemoWindow& window);
