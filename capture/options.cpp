#include "options.h"

#include <CLI/CLI.hpp>

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

std::string inQuotes(const std::string& text) {
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
           "  -h, --help           show this text\n"
           "  --version            show the tool's version\n";
}

const char* captureVersion() {
    return "vimbel-capture " VIMBEL_VERSION "\n";
}

namespace {

// The option a CLI11 argument error names ("--size: 1 required TEXT missing",
// "force was given a disallowed flag override"), as written on the command line.
const CLI::Option* optionOfError(const CLI::App& app, const std::string& message) {
    for (const CLI::Option* option : app.get_options()) {
        for (const std::string& name : option->get_lnames()) {
            if (message.rfind("--" + name + ":", 0) == 0 || message.rfind(name + " ", 0) == 0) {
                return option;
            }
        }
    }
    return nullptr;
}

}  // namespace

ParsedOptions parseCaptureOptions(const std::vector<std::string>& arguments) {
    CaptureOptions options;
    CLI::App app("Plays the demo on a virtual clock and writes every frame with its music.",
                 "vimbel-capture");
    // Unknown options are collected and reported in this tool's own words.
    app.allow_extras();
    // A repeated option counts with its last value, --screenshot with all of them.
    app.option_defaults()->multi_option_policy(CLI::MultiOptionPolicy::TakeLast);
    app.set_help_flag("-h,--help")->disable_flag_override();
    app.set_version_flag("--version", captureVersion())->disable_flag_override();
    std::string size, fps, seed, until, crf, preset;
    std::vector<std::string> screenshots, positional;
    CLI::Option* sizeOption = app.add_option("--size", size);
    CLI::Option* fpsOption = app.add_option("--fps", fps);
    CLI::Option* seedOption = app.add_option("--seed", seed);
    CLI::Option* untilOption = app.add_option("--until", until);
    app.add_option("--screenshot", screenshots)
        ->expected(1)
        ->allow_extra_args(false)
        ->multi_option_policy(CLI::MultiOptionPolicy::TakeAll);
    CLI::Option* crfOption = app.add_option("--crf", crf);
    CLI::Option* presetOption = app.add_option("--preset", preset);
    app.add_flag("--force", options.force)->disable_flag_override();
    app.add_option("OUTPUT", positional)->multi_option_policy(CLI::MultiOptionPolicy::TakeAll);

    // CLI11 takes the arguments as a vector, last one first.
    std::vector<std::string> reversed(arguments.rbegin(), arguments.rend());
    try {
        app.parse(reversed);
    } catch (const CLI::CallForHelp&) {
        options.help = true;
    } catch (const CLI::CallForVersion&) {
        options.version = true;
    } catch (const CLI::ParseError& error) {
        const std::string message = error.what();
        const CLI::Option* option = optionOfError(app, message);
        if (!option) {
            return usageError(message);
        }
        const std::string name = "--" + option->get_lnames().front();
        return usageError("option " + name +
                          (option->get_expected_min() == 0 ? " takes no value" : " needs a value"));
    }
    for (const std::string& extra : app.remaining()) {
        if (extra != "--") {
            return usageError("unknown option " + inQuotes(extra.substr(0, extra.find('='))));
        }
    }
    if (options.help || options.version) {
        ParsedOptions parsed;
        parsed.options = options;
        return parsed;
    }

    const auto malformed = [](const CLI::Option* option, const std::string& value,
                              const char* expected) {
        return usageError("option " + option->get_name() + " expects " + expected + ", not " +
                          inQuotes(value));
    };
    if (sizeOption->count() > 0) {
        const size_t x = size.find('x');
        const auto width =
            x == std::string::npos ? std::nullopt : parseInteger<int32_t>(size.substr(0, x));
        const auto height =
            x == std::string::npos ? std::nullopt : parseInteger<int32_t>(size.substr(x + 1));
        if (!width || !height) {
            return malformed(sizeOption, size, "WIDTHxHEIGHT such as 1280x720");
        }
        options.width = *width;
        options.height = *height;
    }
    if (fpsOption->count() > 0) {
        const auto value = parseInteger<int32_t>(fps);
        if (!value) {
            return malformed(fpsOption, fps, "a whole number of frames per second");
        }
        options.fps = *value;
    }
    if (seedOption->count() > 0) {
        if (seed == "clock") {
            options.seed.reset();
        } else if (const auto value = parseInteger<int64_t>(seed)) {
            options.seed = *value;
        } else {
            return malformed(seedOption, seed, "a whole number or 'clock'");
        }
    }
    if (untilOption->count() > 0) {
        options.until = parseSeconds(until);
        if (!options.until) {
            return malformed(untilOption, until, "a number of seconds such as 12 or 2.5");
        }
    }
    for (const std::string& value : screenshots) {
        const size_t equals = value.find('=');
        const auto time =
            equals == std::string::npos ? std::nullopt : parseSeconds(value.substr(0, equals));
        if (!time || equals + 1 >= value.size()) {
            return usageError(
                "option --screenshot expects SECONDS=FILE such as 12.5=shot.png, not " +
                inQuotes(value));
        }
        options.screenshots.push_back({*time, value.substr(equals + 1)});
    }
    const bool sawCrf = crfOption->count() > 0;
    if (sawCrf) {
        options.crf = parseInteger<int32_t>(crf);
        if (!options.crf) {
            return malformed(crfOption, crf, "a whole number");
        }
    }
    const bool sawPreset = presetOption->count() > 0;
    if (sawPreset) {
        if (preset.empty()) {
            return malformed(presetOption, preset, "a preset name");
        }
        options.preset = preset;
    }

    if (positional.size() > 1) {
        return usageError("one OUTPUT only, not " + inQuotes(positional[0]) + " and " +
                          inQuotes(positional[1]));
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
            return rangeError("the screenshot " + inQuotes(shot.path) +
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
            return rangeError("unknown --preset " + inQuotes(*options.preset) + " for " +
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
