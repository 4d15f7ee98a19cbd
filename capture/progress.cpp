#include "progress.h"

namespace {

constexpr int barWidth = 24;
constexpr auto terminalInterval = std::chrono::milliseconds(100);
constexpr auto logInterval = std::chrono::seconds(5);

std::string printed(const char* format, double a, double b = 0, double c = 0) {
    char text[64];
    std::snprintf(text, sizeof text, format, a, b, c);
    return text;
}

}  // namespace

Progress::Progress(std::FILE* out, bool terminal, int32_t fps, int stages)
    : out_(out), terminal_(terminal), fps_(fps), stages_(stages), start_(Clock::now()) {
    lastShown_ = start_;
}

double Progress::wallSeconds() const {
    return std::chrono::duration<double>(Clock::now() - start_).count();
}

std::string Progress::line(int64_t frames, int64_t demoTime, double wall, int stage,
                           const char* stageName) const {
    const double demoSeconds = static_cast<double>(demoTime) / 1000.0;
    const double rate = wall > 0 ? static_cast<double>(frames) / wall : 0.0;
    // The frames done cover frames / fps seconds of the demo.
    const double speed = wall > 0 ? static_cast<double>(frames) / fps_ / wall : 0.0;
    const int filled = stages_ > 1 ? stage * barWidth / (stages_ - 1) : barWidth;
    return std::to_string(frames) + " frames  " + printed("%.3f s", demoSeconds) + "  " +
           printed("%.1f fps", rate) + "  " + printed("%.2fx", speed) + "  [" +
           std::string(static_cast<size_t>(filled), '#') +
           std::string(static_cast<size_t>(barWidth - filled), '-') + "] " + stageName;
}

void Progress::update(int64_t frames, int64_t demoTime, int stage, const char* stageName) {
    const auto now = Clock::now();
    if (now - lastShown_ < (terminal_ ? terminalInterval : logInterval)) {
        return;
    }
    lastShown_ = now;
    const std::string text = line(frames, demoTime, wallSeconds(), stage, stageName);
    if (terminal_) {
        // Redrawn in place; blanks wipe what a longer previous line left.
        const size_t pad = lastLength_ > text.size() ? lastLength_ - text.size() : 0;
        std::fprintf(out_, "\r%s%s", text.c_str(), std::string(pad, ' ').c_str());
        lastLength_ = text.size();
        shown_ = true;
    } else {
        std::fprintf(out_, "vimbel-capture: %s\n", text.c_str());
    }
    std::fflush(out_);
}

void Progress::finishLine() {
    if (terminal_ && shown_) {
        std::fprintf(out_, "\r%s\r", std::string(lastLength_, ' ').c_str());
        std::fflush(out_);
        shown_ = false;
    }
}

std::string formatBytes(int64_t bytes) {
    const auto value = static_cast<double>(bytes);
    if (bytes >= 1000 * 1000 * 1000) {
        return printed("%.2f GB", value / 1e9);
    }
    if (bytes >= 1000 * 1000) {
        return printed("%.1f MB", value / 1e6);
    }
    if (bytes >= 1000) {
        return printed("%.0f kB", value / 1e3);
    }
    return std::to_string(bytes) + " bytes";
}
