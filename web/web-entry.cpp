// The demo in a browser. The page calls main once the viewer has clicked;
// start-up is the desktop's in a plain window whose canvas covers the device
// pixels the picture takes in the visible area, so it is as sharp as the
// screen. The design picture's shape is chosen once, at the start; when the
// page later resizes the canvas (vimbelResize) only the picture's scale
// follows. The browser's animation frames run the passes of the desktop's own
// frame loop, one each. The end, by the script or by a quit, runs the
// desktop's shutdown and tells the page; a fatal error tells the page the
// report the desktop would print. While the page is hidden the page pauses
// the passes and the music.

#include <emscripten.h>

#include <algorithm>
#include <cmath>
#include <memory>
#include <string>

#include "fatal.h"
#include "picture.h"
#include "session.h"
#include "stage.h"

namespace {

std::unique_ptr<DemoSession> session;

// The page's hooks, looked up on every call so that it may set them late:
// onDemoEnd(status, report) once, onFrame(stage, passMilliseconds) after
// every pass.
EM_JS(void, tellPageEnded, (int status, const char* report), {
    if (Module['onDemoEnd'])
        Module['onDemoEnd'](status, UTF8ToString(report));
});
EM_JS(void, tellPageFrame, (const char* stage, double passMilliseconds), {
    if (Module['onFrame'])
        Module['onFrame'](UTF8ToString(stage), passMilliseconds);
});

// The report goes to the error output (the browser's console) as on the
// desktop, and to the page, which shows it in place of the demo.
void fail(const FatalError& error) {
    setFatalReportSink([](const std::string& report) { tellPageEnded(2, report.c_str()); });
    reportFatal(fatalReport(error));
}

void frame() {
    try {
        const double start = emscripten_get_now();
        session->loop->pass();
        tellPageFrame(demoStageName(demoStage(*session->scene)), emscripten_get_now() - start);
        if (!running) {
            emscripten_cancel_main_loop();
            stopDemo(std::move(session));
            tellPageEnded(0, "");
        }
    } catch (const FatalError& error) {
        emscripten_cancel_main_loop();
        // As on the desktop: the scene, the renderer and the window go, no
        // shutdown step runs.
        session.reset();
        fail(error);
    }
}

// The visible area in CSS pixels and the device's pixel ratio, as the run
// starts.
EM_JS(double, visibleWidth, (), { return window.innerWidth; });
EM_JS(double, visibleHeight, (), { return window.innerHeight; });
EM_JS(double, pixelRatio, (), { return window.devicePixelRatio || 1; });

// Above 3840 x 2160 device pixels the canvas keeps its shape at that many
// pixels, for speed; the browser scales it the rest of the way.
constexpr double largestCanvasWidth = 3840.0;
constexpr double largestCanvasHeight = 2160.0;

struct CanvasSize {
    int width;
    int height;
};

// The canvas for an area of the given size in device pixels: the same,
// rounded, at least one pixel, and within the largest canvas.
CanvasSize canvasFor(double width, double height) {
    if (!(width >= 1.0) || !(height >= 1.0)) {
        return {1280, 720};
    }
    const double shrink = std::min({1.0, largestCanvasWidth / width, largestCanvasHeight / height});
    return {static_cast<int>(std::max(1.0, std::round(width * shrink))),
            static_cast<int>(std::max(1.0, std::round(height * shrink)))};
}

}  // namespace

// The page's way to give the canvas a new size in device pixels (CSS size x
// devicePixelRatio) when the visible area changes or the device turns. The
// picture keeps the shape chosen at the start; the next pass draws it as
// large as the new canvas holds.
extern "C" EMSCRIPTEN_KEEPALIVE void vimbelResize(double width, double height) {
    if (!session) {
        return;
    }
    const CanvasSize size = canvasFor(width, height);
    SDL_SetWindowSize(session->window.get(), size.width, size.height);
}

// The page's way to end the demo when the viewer leaves full screen (the
// browser keeps that Escape to itself): a quit request, as closing the
// desktop window makes, seen by the next pass.
extern "C" EMSCRIPTEN_KEEPALIVE void vimbelQuit() {
    SDL_Event event{};
    event.type = SDL_QUIT;
    SDL_PushEvent(&event);
}

// While the page is hidden: no passes and no music. On return the clock
// starts afresh, so the first pass does not take the hidden time as one step
// and the story goes on from where it was.
extern "C" EMSCRIPTEN_KEEPALIVE void vimbelPause() {
    if (!session) {
        return;
    }
    emscripten_pause_main_loop();
    Mix_PauseMusic();
}

extern "C" EMSCRIPTEN_KEEPALIVE void vimbelResume() {
    if (!session) {
        return;
    }
    Mix_ResumeMusic();
    session->loop->restartClock();
    emscripten_resume_main_loop();
}

int main() {
    try {
        // The picture's shape for the visible area in device pixels, and the
        // canvas as large as that picture shown there: the page shows the
        // canvas at its own shape, as large as the window holds.
        const double ratio = pixelRatio() > 0.0 ? pixelRatio() : 1.0;
        const auto deviceWidth = static_cast<int32_t>(std::lround(visibleWidth() * ratio));
        const auto deviceHeight = static_cast<int32_t>(std::lround(visibleHeight() * ratio));
        const Placement shown =
            placePicture(designSizeFor(deviceWidth, deviceHeight), deviceWidth, deviceHeight);
        const CanvasSize size = canvasFor(shown.area.w, shown.area.h);
        session = startDemo(DemoWindow{size.width, size.height, 0});
    } catch (const FatalError& error) {
        fail(error);
        return 2;
    }
    // Every animation frame, at the display's rate; main returns at once
    // and the runtime stays for the passes.
    emscripten_set_main_loop(frame, 0, 0);
    return 0;
}
