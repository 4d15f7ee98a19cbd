#pragma once

// The session: start-up and shutdown in their order, and the whole program
// around the frame loop for the entries that show the demo.

#include <SDL.h>
#include <SDL_mixer.h>

#include <cstdint>
#include <memory>
#include <optional>

#include "frame-loop.h"
#include "handles.h"
#include "scene.h"

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

// What an entry asks of start-up. With a target surface there is no window,
// no display and no sound device: the session takes the surface and draws into
// it with SDL's software renderer (the capture tool).
struct SessionSettings {
    DemoWindow window = desktopWindow;
    SurfacePtr target;
    std::optional<int64_t> seed;  // the wall clock's nanoseconds if none
    FrameTicks ticks = SDL_GetTicks;
    FrameEvents events = handleEvents;
};

// What start-up makes and shutdown releases. A session destroyed without
// stopDemo (after a fatal error) releases only its loop and scene, then the
// renderer, then the window.
struct DemoSession {
    WindowPtr window;
    SurfacePtr target;  // what the renderer draws into, without a window
    RendererPtr renderer;
    bool sound = false;  // the audio device is open
    Mix_Music* music = nullptr;
    std::unique_ptr<Scene> scene;
    std::unique_ptr<FrameLoop> loop;
};

// Start-up: sets running, seeds the generator, brings up the libraries, the
// window (or the target's renderer), whose output size chooses the design
// size, the audio device and the looping music, builds the scene and starts
// the loop's clock. A fatal error throws FatalError with what was made so far
// released.
std::unique_ptr<DemoSession> startSession(SessionSettings settings);
// The same in the given window, over SDL's clock and events.
std::unique_ptr<DemoSession> startDemo(const DemoWindow& window);
// Shutdown, in order: the scene, the music, the loaders' caches, the audio
// device and the libraries, then the renderer, its target and the window, then
// SDL itself.
// A later start in the same process starts afresh.
void stopDemo(std::unique_ptr<DemoSession> session);

// The whole program in the given window: start-up, the loop, shutdown; a
// fatal error is reported. Returns the exit status.
int demoMain(const DemoWindow& window);
