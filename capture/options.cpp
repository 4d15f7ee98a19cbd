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

const char* captureVersion() {
    return "vimbel-capture " VIMBEL_VERSION "\n";
}

namespace {

struct Size {
    int32_t width = 0;
    int32_t height = 0;
};

// "1280x720": two whole numbers with an x between them, nothing else.
std::optional<Size> readSize(const std::string& text) {
    const size_t x = text.find('x');
    if (x == std::string::npos) {
        return std::nullopt;
    }
    const auto width = parseInteger<int32_t>(text.substr(0, x));
    const auto height = parseInteger<int32_t>(text.substr(x + 1));
    if (!width || !height) {
        return std::nullopt;
    }
    return Size{*width, *height};
}

// A whole decimal number that fits T, rewritten without leading zeros: CLI11
// itself reads 010 as octal and 0x10 as hexadecimal.
template <typename T>
CLI::Validator decimal(const std::string& what) {
    return CLI::Validator(
        [what](std::string& text) -> std::string {
            const auto value = parseInteger<T>(text);
            if (!value) {
                return "expects " + what + ", not " + inQuotes(text);
            }
            text = std::to_string(*value);
            return "";
        },
        "");
}

// CLI11 reports every refused value as a ValidationError. A value of the
// wrong form is a usage error, shown with the usage text; one of the right
// form outside its limits is not, so the checks of limits note their
// refusals here. (Each option checks its form first.)
class Limits {
  public:
    CLI::Validator operator()(const CLI::Validator& check) {
        bool& refused = refused_;
        CLI::Validator noted(
            [check, &refused](std::string& value) {
                std::string error = check(value);
                refused = refused || !error.empty();
                return error;
            },
            "");
        return noted;
    }
    bool refused() const { return refused_; }

  private:
    bool refused_ = false;
};

std::vector<std::string> allPresetNames() {
    std::vector<std::string> names = x264Presets;
    names.insert(names.end(), vp9Deadlines.begin(), vp9Deadlines.end());
    return names;
}

// CLI11 lays out the help in two columns and starts a description's lines in
// the second; this breaks a description into lines that fit it.
constexpr size_t helpNameWidth = 24;
constexpr size_t helpWidth = 80;

std::string wrapped(const std::string& text) {
    std::string lines, line;
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find(' ', start);
        end = end == std::string::npos ? text.size() : end;
        const std::string word = text.substr(start, end - start);
        if (!line.empty() && line.size() + 1 + word.size() > helpWidth - helpNameWidth) {
            lines += line + "\n";
            line.clear();
        }
        line += (line.empty() ? "" : " ") + word;
        start = end + 1;
    }
    return lines + line;
}

// The tool's command line: the options, their checks and their help.
struct CommandLine {
    CLI::App app{"Plays the demo on a virtual clock and writes every frame with its music.",
                 "vimbel-capture"};
    Limits limits;
    std::string size = "1920x1080";
    int32_t fps = 60;
    std::string seed;
    std::optional<int64_t> until;
    std::vector<std::string> screenshots;
    std::optional<int32_t> crf;
    std::optional<std::string> preset;
    bool force = false;
    std::string output;
    CLI::Option* outputOption = nullptr;

    CommandLine();
};

CommandLine::CommandLine() {
    const CLI::Validator sizeForm(
        [](std::string& text) -> std::string {
            return readSize(text) ? ""
                                  : "expects WIDTHxHEIGHT such as 1280x720, not " + inQuotes(text);
        },
        "");
    const CLI::Validator sizeRange(
        [](std::string& text) -> std::string {
            const Size asked = *readSize(text);
            if (asked.width < minWidth || asked.height < minHeight || asked.width > maxWidth ||
                asked.height > maxHeight) {
                return "the size " + text +
                       " is out of range: it must be from 64x64 up to 7680x4320";
            }
            return "";
        },
        "");
    const CLI::Validator seconds(
        [](std::string& text) -> std::string {
            const auto milliseconds = parseSeconds(text);
            if (!milliseconds) {
                return "expects a number of seconds such as 12 or 2.5, not " + inQuotes(text);
            }
            text = std::to_string(*milliseconds);
            return "";
        },
        "");
    const CLI::Validator afterStart(
        [](std::string& milliseconds) -> std::string {
            return milliseconds == "0" ? "must be a time after the start, more than 0 seconds" : "";
        },
        "");
    const CLI::Validator screenshot(
        [](std::string& text) -> std::string {
            const size_t equals = text.find('=');
            if (equals == std::string::npos || !parseSeconds(text.substr(0, equals)) ||
                equals + 1 >= text.size()) {
                return "expects SECONDS=FILE such as 12.5=shot.png, not " + inQuotes(text);
            }
            return "";
        },
        "");
    const CLI::Validator png(
        [](std::string& text) -> std::string {
            const std::string path = text.substr(text.find('=') + 1);
            return endsWith(lowercase(path), ".png")
                       ? ""
                       : "the screenshot " + inQuotes(path) +
                             " must be a .png file: screenshots are written as PNG";
        },
        "");

    app.set_help_flag("-h,--help", "Show this text and exit")->disable_flag_override();
    app.set_version_flag("--version", captureVersion(), "Show the tool's version and exit")
        ->disable_flag_override();
    // A repeated option counts with its last value, --screenshot with all of them.
    app.option_defaults()->multi_option_policy(CLI::MultiOptionPolicy::TakeLast);
    app.add_option("--size", size,
                   "Output size in pixels, 64x64 to 7680x4320; a video file needs even sides")
        ->type_name("WxH")
        ->capture_default_str()
        ->check(sizeForm)
        ->check(limits(sizeRange));
    app.add_option("--fps", fps, "Frames per second, 1 to 240")
        ->type_name("N")
        ->capture_default_str()
        ->transform(decimal<int32_t>("a whole number of frames per second"))
        ->check(limits(CLI::Range(1, maxFps)));
    app.add_option("--seed", seed,
                   "The random generator's seed: a whole number, or clock to seed it from the "
                   "wall clock as the demo does (default: a fixed seed, the same show every time)")
        ->type_name("N|clock")
        ->check((CLI::IsMember({"clock"}) | decimal<int64_t>("a whole number")).description(""));
    app.add_option("--until", until, "Stop after that much demo time (default: the demo's own end)")
        ->type_name("SECONDS")
        ->transform(seconds)
        ->check(limits(afterStart));
    app.add_option("--screenshot", screenshots,
                   "Also write the frame at demo time T seconds as the PNG file FILE; repeatable")
        ->type_name("T=FILE")
        ->expected(1)
        ->allow_extra_args(false)
        ->multi_option_policy(CLI::MultiOptionPolicy::TakeAll)
        ->check(screenshot)
        ->check(limits(png));
    app.add_option("--crf", crf,
                   "Video quality, lower is better: 0 to 51 for H.264 (default 23), 0 to 63 "
                   "for VP9 (default 32)")
        ->type_name("N")
        ->transform(decimal<int32_t>("a whole number"))
        ->check(limits(CLI::Range(0, maxCrf(OutputKind::Webm))));
    app.add_option("--preset", preset,
                   "Encoder speed: ultrafast (default), superfast, veryfast, faster, fast, "
                   "medium, slow, slower, veryslow or placebo for H.264 (slower presets make "
                   "smaller files); realtime, good (default) or best for VP9")
        ->type_name("NAME")
        ->check(limits(CLI::IsMember(allPresetNames())));
    app.add_flag("--force", force, "Replace outputs that exist already")->disable_flag_override();
    outputOption = app.add_option("OUTPUT", output,
                                  "A .mp4, .mkv or .webm file: video with sound, encoded by "
                                  "ffmpeg (H.264 and AAC, or VP9 and Opus for .webm); anything "
                                  "else is a directory: one PNG per frame (frame-000000.png ...) "
                                  "and soundtrack.wav. It may be left out when --screenshot is "
                                  "given")
                       ->type_name("");
    for (CLI::Option* option : app.get_options()) {
        option->description(wrapped(option->get_description()));
    }
    app.get_formatter()->column_width(helpNameWidth);
    app.get_formatter()->label("Positionals", "Arguments");
}

}  // namespace

std::string captureHelp() {
    return CommandLine().app.help();
}

ParsedOptions parseCaptureOptions(const std::vector<std::string>& arguments) {
    CommandLine line;
    CaptureOptions options;
    // CLI11 takes the arguments as a vector, last one first.
    std::vector<std::string> reversed(arguments.rbegin(), arguments.rend());
    try {
        line.app.parse(reversed);
    } catch (const CLI::CallForHelp&) {
        options.help = true;
    } catch (const CLI::CallForVersion&) {
        options.version = true;
    } catch (const CLI::ParseError& error) {
        ParsedOptions parsed;
        parsed.error = error.what();
        parsed.usageError = !line.limits.refused();
        return parsed;
    }
    if (options.help || options.version) {
        ParsedOptions parsed;
        parsed.options = options;
        return parsed;
    }

    const Size size = *readSize(line.size);
    options.width = size.width;
    options.height = size.height;
    options.fps = line.fps;
    if (line.seed == "clock") {
        options.seed.reset();
    } else if (!line.seed.empty()) {
        options.seed = parseInteger<int64_t>(line.seed);
    }
    options.until = line.until;
    for (const std::string& value : line.screenshots) {
        const size_t equals = value.find('=');
        options.screenshots.push_back(
            {*parseSeconds(value.substr(0, equals)), value.substr(equals + 1)});
    }
    options.crf = line.crf;
    options.preset = line.preset;
    options.force = line.force;

    if (line.outputOption->count() == 0 && options.screenshots.empty()) {
        return usageError("no OUTPUT given");
    }
    if (line.outputOption->count() > 0 && line.output.empty()) {
        return usageError("OUTPUT is empty");
    }
    options.output = line.output;
    options.kind = outputKindOf(options.output);

    for (const Screenshot& shot : options.screenshots) {
        if (options.until && shot.time >= *options.until) {
            return rangeError("the screenshot at " + formatSeconds(shot.time) +
                              " s lies after the end of the capture set by --until");
        }
    }
    const bool sawCrf = options.crf.has_value();
    const bool sawPreset = options.preset.has_value();
    if (!isVideo(options.kind) && (sawCrf || sawPreset)) {
        return rangeError(std::string(sawCrf ? "--crf" : "--preset") +
                          " applies to a video file; a directory of frames is not encoded");
    }
    if (isVideo(options.kind)) {
        if (options.crf && *options.crf > maxCrf(options.kind)) {
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
