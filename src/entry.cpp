// The entry of the desktop build.
//
// Started from a desktop menu, the demo's error output may go nowhere a person
// reads: to /dev/null, to nothing at all, or into the systemd journal. There a
// fatal report also shows in a message box titled like the window, and the
// demo exits once the box is closed. From a terminal, a pipe or a file the
// report is only written there, as before, and nothing waits for a click.

#include <SDL.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "fatal.h"
#include "session.h"

namespace {

bool isDevNull(const struct stat& output) {
    struct stat devNull {};
    return S_ISCHR(output.st_mode) && stat("/dev/null", &devNull) == 0 &&
           S_ISCHR(devNull.st_mode) && output.st_rdev == devNull.st_rdev;
}

// systemd puts the device and inode of the journal stream it connects to a
// service's error output into JOURNAL_STREAM ("device:inode"). A program whose
// error output was redirected inherits the variable but not the stream, so
// only a match counts.
bool isJournal(const struct stat& output) {
    const char* stream = std::getenv("JOURNAL_STREAM");
    unsigned long long device = 0;
    unsigned long long inode = 0;
    char rest = 0;
    if (!stream || std::sscanf(stream, "%llu:%llu%c", &device, &inode, &rest) != 2) {
        return false;
    }
    return output.st_dev == device && output.st_ino == inode;
}

// Whether nobody reads the error output. A closed one is replaced by /dev/null
// at once: otherwise the next file the program opens (a display connection, a
// sound device) would become descriptor 2 and receive the report.
bool errorOutputUnread() {
    struct stat output {};
    if (fstat(STDERR_FILENO, &output) != 0) {
        if (errno == EBADF) {
            const int devNull = open("/dev/null", O_WRONLY);
            if (devNull >= 0 && devNull != STDERR_FILENO) {
                dup2(devNull, STDERR_FILENO);
                close(devNull);
            }
        }
        return true;
    }
    return isDevNull(output) || isJournal(output);
}

// Waits until the box is closed; without a display it fails at once.
void showFatalBox(const std::string& report) {
    SDL_ShowSimpleMessageBox(SDL_MESSAGEBOX_ERROR, windowTitle, report.c_str(), nullptr);
}

}  // namespace

int main() {
    if (errorOutputUnread()) {
        setFatalReportSink(showFatalBox);
    }
    return demoMain(desktopWindow);
}
