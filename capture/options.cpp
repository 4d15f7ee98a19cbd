#include "options.h"

#include <algorithm>
#include <charconv>
#include <cstring>

namespace {

const std::vector<std::string> x264Presets = {"ultrafast", "superfast", "veryfast", "faster",
                                              "fast",      "medium",    "slow",     "slower",
                                              "veryslow",  "placebo"};
const std::vector<std::string> vp9Deadlines = {"realtime", "good", "best"};
const std::vector<std::string> noPresets = {};

constexpr int32_t minWidth = 64;
constexpr int32_t minHeight = 64;
constexpr int32_t maxWidth = 7680;
constexpr int32_t maxHeight = 4320;
constexpr int32_t maxFps = 240;

bool endsWith(const std::string& text, const char* suffix) {
    const size_t length = std::strlen(suffix);
    return text.size() >= length && text.compare(text.size() - length, length, suffix) == 0;
}

std::string lowercase(std::string text) {
    for (char& c : text) {
        if (c >= 'A' && c <= 'Z') {
            c = static_cast<char>(c - 'A' + 'a');
        }
    }
    return text;
}

// The whole text as one decimal integer, nothing before or after it.
template <typename T>
std::optional<T> parseInteger(const std::string& text) {
    T value{};
    const char* end = text.data() + text.size();
    const auto [ptr, ec] = std::from_chars(text.data(), end, value);
    if (text.empty() || ec != std::errc() || ptr != end) {
        return std::nullopt;
    }
    return value;
}

ParsedOptions usageError(std::string message) {
    ParsedOptions parsed;
    parsed.error = std::move(message);
    parsed.usageError = true;
    return parsed;
}

ParsedOptions rangeError(std::string message) {
    ParsedOptions parsed;
    parsed.error = std::move(message);
    return parsed;
}

std::string quoted(const std::string& text) {
    return "'" + text + "'";
}

}  // namespace

std::optional<int64_t> parseSeconds(const std::string& text) {
    const size_t dot = text.find('.');
    const std::string whole = text.substr(0, dot);
    std::string fraction = dot == std::string::npos ? "" : text.substr(dot + 1);
    if (whole.empty() && fraction.empty()) {
        return std::nullopt;
    }
    const auto digits = [](const std::string& part) {
        return std::all_of(part.begin(), part.end(), [](char c) { return c >= '0' && c <= '9'; });
    };
    if (!digits(whole) || !digits(fraction)) {
        return std::nullopt;
    }
    if (whole.size() > 9) {
        return std::nullopt;  // more than 30 years of demo time
    }
    int64_t milliseconds = whole.empty() ? 0 : *parseInteger<int64_t>(whole) * 1000;
    // Milliseconds from the first three decimals, rounded by the fourth.
    fraction.resize(std::max<size_t>(fraction.size(), 4), '0');
    milliseconds += (fraction[0] - '0') * 100 + (fraction[1] - '0') * 10 + (fraction[2] - '0');
    if (fraction[3] >= '5') {
        ++milliseconds;
    }
    return milliseconds;
}

std::string formatSeconds(int64_t milliseconds) {
    std::string text = std::to_string(milliseconds / 1000);
    const int64_t rest = milliseconds % 1000;
    if (rest != 0) {
        std::string decimals = std::to_string(1000 + rest).substr(1);
        while (decimals.back() == '0') {
            decimals.pop_back();
        }
        text += "." + decimals;
    }
    return text;
}

OutputKind outputKindOf(const std::string& output) {
    const std::string lower = lowercase(output);
    if (endsWith(lower, ".mp4")) {
        return OutputKind::Mp4;
    }
    if (endsWith(lower, ".mkv")) {
        return OutputKind::Mkv;
    }
    if (endsWith(lower, ".webm")) {
        return OutputKind::Webm;
    }
    return output.empty() ? OutputKind::None : OutputKind::Directory;
}

bool isVideo(OutputKind kind) {
    return kind == OutputKind::Mp4 || kind == OutputKind::Mkv || kind == OutputKind::Webm;
}

int32_t defaultCrf(OutputKind kind) {
    return kind == OutputKind::Webm ? 32 : 23;
}

// The fastest H.264 preset keeps a whole 1080p60 capture ahead of real time
// on two cores; its files are larger, and every player takes them.
std::string defaultPreset(OutputKind kind) {
    return kind == OutputKind::Webm ? "good" : "ultrafast";
}

const std::vector<std::string>& presetNames(OutputKind kind) {
    if (kind == OutputKind::Webm) {
        return vp9Deadlines;
    }
    return isVideo(kind) ? x264Presets : noPresets;
}

int32_t maxCrf(OutputKind kind) {
    return kind == OutputKind::Webm ? 63 : 51;
}

const char* captureUsage() {
    return "usage: vimbel-capture [options] OUTPUT\n"
           "Plays the demo on a virtual clock and writes every frame with its music.\n"
           "\n"
           "  OUTPUT               a .mp4, .mkv or .webm file: video with sound, encoded by "
           "ffmpeg\n"
           "                       (H.264 and AAC, or VP9 and Opus for .webm); anything else is\n"
           "                       a directory: one PNG per frame (frame-000000.png ...) and\n"
           "                       soundtrack.wav. It may be left out when --screenshot is given.\n"
           "  --size WxH           output size in pixels, 64x64 to 7680x4320 (default 1920x1080)\n"
           "  --fps N              frames per second, 1 to 240 (default 60)\n"
           "  --seed N|clock       the random generator's seed (default: a fixed one, the same\n"
           "                       show every time; clock: from the wall clock, as the demo does)\n"
           "  --until SECONDS      stop after that much demo time (default: the demo's own end)\n"
           "  --screenshot T=FILE  also write the frame at demo time T seconds as a PNG file\n"
           "                       (repeatable)\n"
           "  --crf N              video quality, lower is better: 0 to 51 for H.264 (default "
           "23),\n"
           "                       0 to 63 for VP9 (default 32)\n"
           "  --preset NAME        encoder speed: ultrafast (default), superfast, veryfast,\n"
           "                       faster, fast, medium, slow, slower, veryslow or placebo for\n"
           "                       H.264 (slower presets make smaller files);\n"
           "                       realtime, good (default) or best for VP9\n"
           "  --force              replace outputs that exist already\n"
           "  -h, --help           show this text\n";
}

ParsedOptions parseCaptureOptions(const std::vector<std::string>& arguments) {
    CaptureOptions options;
    std::vector<std::string> positional;
    bool sawCrf = false;
    bool sawPreset = false;

    for (size_t i = 0; i < arguments.size(); ++i) {
        std::string name = arguments[i];
        std::optional<std::string> inlineValue;
        if (name == "--") {
            positional.insert(positional.end(), arguments.begin() + static_cast<long>(i) + 1,
                              arguments.end());
            break;
        }
        if (name.rfind("--", 0) == 0) {
            const size_t equals = name.find('=');
            if (equals != std::string::npos) {
                inlineValue = name.substr(equals + 1);
                name.resize(equals);
            }
        } else if (name.size() > 1 && name[0] == '-' && name != "-h") {
            return usageError("unknown option " + quoted(name));
        } else if (name != "-h") {
            positional.push_back(name);
            continue;
        }

        if (name == "-h" || name == "--help" || name == "--force") {
            if (inlineValue) {
                return usageError("option " + name + " takes no value");
            }
            if (name == "--force") {
                options.force = true;
            } else {
                options.help = true;
            }
            continue;
        }
        static const char* const valued[] = {"--size", "--fps",        "--seed",  "--until",
                                             "--crf",  "--screenshot", "--preset"};
        if (std::find_if(std::begin(valued), std::end(valued),
                         [&](const char* known) { return name == known; }) == std::end(valued)) {
            return usageError("unknown option " + quoted(name));
        }
        if (!inlineValue) {
            if (i + 1 >= arguments.size()) {
                return usageError("option " + name + " needs a value");
            }
            inlineValue = arguments[++i];
        }
        const std::string& value = *inlineValue;
        const auto malformed = [&](const char* expected) {
            return usageError("option " + name + " expects " + expected + ", not " + quoted(value));
        };

        if (name == "--size") {
            const size_t x = value.find('x');
            const auto width =
                x == std::string::npos ? std::nullopt : parseInteger<int32_t>(value.substr(0, x));
            const auto height =
                x == std::string::npos ? std::nullopt : parseInteger<int32_t>(value.substr(x + 1));
            if (!width || !height) {
                return malformed("WIDTHxHEIGHT such as 1280x720");
            }
            options.width = *width;
            options.height = *height;
        } else if (name == "--fps") {
            const auto fps = parseInteger<int32_t>(value);
            if (!fps) {
                return malformed("a whole number of frames per second");
            }
            options.fps = *fps;
        } else if (name == "--seed") {
            if (value == "clock") {
                options.seed.reset();
            } else if (const auto seed = parseInteger<int64_t>(value)) {
                options.seed = *seed;
            } else {
                return malformed("a whole number or 'clock'");
            }
        } else if (name == "--until") {
            const auto until = parseSeconds(value);
            if (!until) {
                return malformed("a number of seconds such as 12 or 2.5");
            }
            options.until = *until;
        } else if (name == "--screenshot") {
            const size_t equals = value.find('=');
            const auto time =
                equals == std::string::npos ? std::nullopt : parseSeconds(value.substr(0, equals));
            if (!time || equals + 1 >= value.size()) {
                return malformed("SECONDS=FILE such as 12.5=shot.png");
            }
            options.screenshots.push_back({*time, value.substr(equals + 1)});
        } else if (name == "--crf") {
            const auto crf = parseInteger<int32_t>(value);
            if (!crf) {
                return malformed("a whole number");
            }
            options.crf = *crf;
            sawCrf = true;
        } else {
            if (value.empty()) {
                return malformed("a preset name");
            }
            options.preset = value;
            sawPreset = true;
        }
    }

    if (options.help) {
        ParsedOptions parsed;
        parsed.options = options;
        return parsed;
    }
    if (positional.size() > 1) {
        return usageError("one OUTPUT only, not " + quoted(positional[0]) + " and " +
                          quoted(positional[1]));
    }
    if (positional.empty() && options.screenshots.empty()) {
        return usageError("no OUTPUT given");
    }
    if (!positional.empty()) {
        options.output = positional[0];
        if (options.output.empty()) {
            return usageError("OUTPUT is empty");
        }
    }
    options.kind = outputKindOf(options.output);

    if (options.width < minWidth || options.height < minHeight || options.width > maxWidth ||
        options.height > maxHeight) {
        return rangeError("the size " + std::to_string(options.width) + "x" +
                          std::to_string(options.height) +
                          " is out of range: it must be from 64x64 up to 7680x4320");
    }
    if (options.fps < 1 || options.fps > maxFps) {
        return rangeError("the frame rate " + std::to_string(options.fps) +
                          " is out of range: it must be from 1 to 240 frames per second");
    }
    if (options.until && *options.until <= 0) {
        return rangeError("--until must be a time after the start, more than 0 seconds");
    }
    for (const Screenshot& shot : options.screenshots) {
        if (!endsWith(lowercase(shot.path), ".png")) {
            return rangeError("the screenshot " + quoted(shot.path) +
                              " must be a .png file: screenshots are written as PNG");
        }
        if (options.until && shot.time >= *options.until) {
            return rangeError("the screenshot at " + formatSeconds(shot.time) +
                              " s lies after the end of the capture set by --until");
        }
    }
    if (!isVideo(options.kind) && (sawCrf || sawPreset)) {
        return rangeError(std::string(sawCrf ? "--crf" : "--preset") +
                          " applies to a video file; a directory of frames is not encoded");
    }
    if (isVideo(options.kind)) {
        if (options.crf && (*options.crf < 0 || *options.crf > maxCrf(options.kind))) {
            return rangeError(
                "--crf " + std::to_string(*options.crf) + " is out of range: " +
                (options.kind == OutputKind::Webm ? "VP9 takes 0 to 63" : "H.264 takes 0 to 51"));
        }
        const auto& names = presetNames(options.kind);
        if (options.preset &&
            std::find(names.begin(), names.end(), *options.preset) == names.end()) {
            std::string list;
            for (const auto& known : names) {
                list += (list.empty() ? "" : ", ") + known;
            }
            return rangeError("unknown --preset " + quoted(*options.preset) + " for " +
                              (options.kind == OutputKind::Webm ? "VP9" : "H.264") +
                              "; use one of " + list);
        }
        // yuv420p halves both dimensions for the colour planes.
        if (options.width % 2 != 0 || options.height % 2 != 0) {
            return rangeError("the size " + std::to_string(options.width) + "x" +
                              std::to_string(options.height) +
                              " has an odd side; video files need an even width and height");
        }
    }

    ParsedOptions parsed;
    parsed.options = std::move(options);
    return parsed;
}
