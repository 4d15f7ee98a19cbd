#pragma once

// The capture tool's command line: what to capture and where, parsed (by
// CLI11) and checked without touching the file system.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

enum class OutputKind { None, Directory, Mp4, Mkv, Webm };

struct Screenshot {
    int64_t time = 0;  // demo time in milliseconds
    std::string path;
};

// The seed used when none is given, so that every capture shows the same run.
inline constexpr int64_t defaultSeed = 20230805;

struct CaptureOptions {
    std::string output;  // empty when only screenshots are asked for
    OutputKind kind = OutputKind::None;
    int32_t width = 1920;
    int32_t height = 1080;
    int32_t fps = 60;
    std::optional<int64_t> seed = defaultSeed;  // empty: from the wall clock
    std::optional<int64_t> until;               // milliseconds of demo time
    std::vector<Screenshot> screenshots;
    std::optional<int32_t> crf;
    std::optional<std::string> preset;
    bool force = false;
    bool help = false;
    bool version = false;
};

// Either options or the reason they were refused: one line naming the
// option (or OUTPUT) and what is wrong with it, then a line pointing to
// --help. Bad input of every kind, malformed or out of range, reads alike.
struct ParsedOptions {
    CaptureOptions options;
    std::string error;

    bool ok() const { return error.empty(); }
};

ParsedOptions parseCaptureOptions(const std::vector<std::string>& arguments);

// The help text (CLI11's, from the options' own descriptions) and the version
// line, each ending in a newline.
std::string captureHelp();
const char* captureVersion();

// What the OUTPUT argument names: a video file by its extension, otherwise a
// directory of frames.
OutputKind outputKindOf(const std::string& output);

bool isVideo(OutputKind kind);

// The encoder settings used when --crf or --preset are not given, for the
// output's video codec.
int32_t defaultCrf(OutputKind kind);
std::string defaultPreset(OutputKind kind);

// Parses "12", "0.5" or "1.25" seconds into whole milliseconds (rounded to
// the nearest); empty for anything else, negative values included.
std::optional<int64_t> parseSeconds(const std::string& text);

// Milliseconds as seconds with no trailing zeros: "12.5", "3", "0.033".
std::string formatSeconds(int64_t milliseconds);
