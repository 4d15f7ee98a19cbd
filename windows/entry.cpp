// The entry of the Windows build, called through SDL's WinMain (SDL2main).
//
// The demo is a program of the GUI subsystem, so nothing shows what it writes
// on its error output when it is started from Explorer: then it has no error
// handle at all. There a fatal report also appears in a message box, with the
// same text. Started with a usable error output (redirected from a console, a
// test harness, Wine in a terminal) it only writes there, as on Linux, and
// nothing waits for a click.

#include <windows.h>

#include <string>

#include "fatal.h"
#include "session.h"

namespace {

bool haveErrorOutput() {
    HANDLE handle = GetStdHandle(STD_ERROR_HANDLE);
    return handle != nullptr && handle != INVALID_HANDLE_VALUE &&
           GetFileType(handle) != FILE_TYPE_UNKNOWN;
}

// SDL's error texts are UTF-8; the box wants UTF-16.
std::wstring widen(const std::string& text) {
    const int size = static_cast<int>(text.size());
    const int length = MultiByteToWideChar(CP_UTF8, 0, text.data(), size, nullptr, 0);
    std::wstring wide(static_cast<size_t>(length), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, text.data(), size, wide.data(), length);
    return wide;
}

void showFatalBox(const std::string& report) {
    if (haveErrorOutput()) {
        return;
    }
    MessageBoxW(nullptr, widen(report).c_str(), widen(windowTitle).c_str(),
                MB_OK | MB_ICONERROR | MB_SETFOREGROUND | MB_TOPMOST);
}

}  // namespace

// SDL_main.h names this SDL_main; SDL's WinMain calls it.
int main(int, char*[]) {
    setFatalReportSink(showFatalBox);
    return demoMain(desktopWindow);
}
