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

std::string inQuotes(const std::string& text) {
    return "'" + text + "'";
}

// The names --preset accepts for a video file's codec.
const std::vector<std::string>& presetNames(OutputKind kind) {
    return kind == OutputKind::Webm ? vp9Deadlines : x264Presets;
}

int32_t maxCrf(OutputKind kind) {
    return kind == OutputKind::Webm ? 63 : 51;
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

const char* captureVersion() {
    return "vimbel-capture " VIMBEL_VERSION "\n";
}

namespace {

// What a reader of option values throws for a value it refuses: what is
// wrong with it, without the option's name.
struct Refusal {
    std::string reason;
};

// The one way a value outside its limits is refused, for every option:
// "--fps: 0 is out of range: it must be from 1 to 240".
Refusal outOfRange(const std::string& value, const std::string& limits,
                   const std::string& forWhat = "") {
    return {value + " is out of range" + (forWhat.empty() ? "" : " for " + forWhat) +
            ": it must be " + limits};
}

// The whole text as one decimal number that fits T. CLI11's own conversion
// would read 010 as octal and 0x10 as hexadecimal.
template <typename T>
T wholeNumber(const std::string& text, const std::string& what) {
    const auto value = parseInteger<T>(text);
    if (!value) {
        throw Refusal{"expects " + what + ", not " + inQuotes(text)};
    }
    return *value;
}

struct Size {
    int32_t width = 0;
    int32_t height = 0;
};

// "1280x720": two whole numbers with an x between them, nothing else.
Size readSize(const std::string& text) {
    const size_t x = text.find('x');
    const auto width = parseInteger<int32_t>(text.substr(0, x));
    const auto height =
        x == std::string::npos ? std::nullopt : parseInteger<int32_t>(text.substr(x + 1));
    if (!width || !height) {
        throw Refusal{"expects WIDTHxHEIGHT such as 1280x720, not " + inQuotes(text)};
    }
    if (*width < minWidth || *height < minHeight || *width > maxWidth || *height > maxHeight) {
        throw outOfRange(text, "from " + std::to_string(minWidth) + "x" +
                                   std::to_string(minHeight) + " to " + std::to_string(maxWidth) +
                                   "x" + std::to_string(maxHeight));
    }
    return {*width, *height};
}

int32_t readFps(const std::string& text) {
    const auto fps = wholeNumber<int32_t>(text, "a whole number of frames per second");
    if (fps < 1 || fps > maxFps) {
        throw outOfRange(text, "from 1 to " + std::to_string(maxFps));
    }
    return fps;
}

// A number for the seed, or nothing for the wall clock.
std::optional<int64_t> readSeed(const std::string& text) {
    if (text == "clock") {
        return std::nullopt;
    }
    return wholeNumber<int64_t>(text, "a whole number or clock");
}

int64_t readSeconds(const std::string& text) {
    const auto milliseconds = parseSeconds(text);
    if (!milliseconds) {
        throw Refusal{"expects a number of seconds such as 12 or 2.5, not " + inQuotes(text)};
    }
    return *milliseconds;
}

int64_t readUntil(const std::string& text) {
    const int64_t milliseconds = readSeconds(text);
    if (milliseconds == 0) {
        throw outOfRange(text, "at least 0.001 seconds");
    }
    return milliseconds;
}

// "12.5=shot.png": a time in seconds and the PNG file to write.
Screenshot readScreenshot(const std::string& text) {
    const size_t equals = text.find('=');
    const std::string path = equals == std::string::npos ? "" : text.substr(equals + 1);
    const auto time =
        equals == std::string::npos ? std::nullopt : parseSeconds(text.substr(0, equals));
    if (!time || path.empty()) {
        throw Refusal{"expects SECONDS=FILE such as 12.5=shot.png, not " + inQuotes(text)};
    }
    if (!endsWith(lowercase(path), ".png")) {
        throw Refusal{inQuotes(path) + " is not a .png file: screenshots are written as PNG"};
    }
    return {*time, path};
}

// Adds an option whose every value is read into its typed form by `read`
// (which throws a Refusal for a bad one) and handed to `keep`, in the order
// given: the last value counts, and every one is checked.
template <typename Read, typename Keep>
CLI::Option* addOption(CLI::App& app, const std::string& name, const std::string& description,
                       Read read, Keep keep) {
    return app
        .add_option(
            name,
            [name, read, keep](const CLI::results_t& values) {
                for (const std::string& text : values) {
                    try {
                        keep(read(text));
                    } catch (const Refusal& refusal) {
                        throw CLI::ValidationError(name, refusal.reason);
                    }
                }
                return true;
            },
            description)
        ->multi_option_policy(CLI::MultiOptionPolicy::TakeAll);
}

std::string codecName(OutputKind kind) {
    return kind == OutputKind::Webm ? "VP9" : "H.264";
}

// "a, b or c"
std::string listed(const std::vector<std::string>& names) {
    std::string list;
    for (size_t i = 0; i < names.size(); ++i) {
        list += (i == 0 ? "" : i + 1 == names.size() ? " or " : ", ") + names[i];
    }
    return list;
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

// The tool's command line: the options, their checks and their help. Parsing
// fills `options`; the checks that depend on the output run once all of it
// is read.
struct CommandLine {
    CLI::App app{"Plays the demo on a virtual clock and writes every frame with its music.",
                 "vimbel-capture"};
    CaptureOptions options;
    CLI::Option* outputOption = nullptr;

    CommandLine();
    void checkAgainstOutput();
};

CommandLine::CommandLine() {
    CaptureOptions& o = options;
    app.set_help_flag("-h,--help", "Show this text and exit")->disable_flag_override();
    app.set_version_flag("--version", captureVersion(), "Show the tool's version and exit")
        ->disable_flag_override();
    // A repeated option counts with its last value, --screenshot with all of them.
    app.option_defaults()->multi_option_policy(CLI::MultiOptionPolicy::TakeLast);
    addOption(app, "--size",
              "Output size in pixels, 64x64 to 7680x4320; a video file needs even sides", readSize,
              [&o](Size size) {
                  o.width = size.width;
                  o.height = size.height;
              })
        ->type_name("WxH")
        ->default_str(std::to_string(o.width) + "x" + std::to_string(o.height));
    addOption(app, "--fps", "Frames per second, 1 to 240", readFps,
              [&o](int32_t fps) { o.fps = fps; })
        ->type_name("N")
        ->default_str(std::to_string(o.fps));
    addOption(app, "--seed",
              "The random generator's seed: a whole number, or clock to seed it from the wall "
              "clock as the demo does (default: a fixed seed, the same show every time)",
              readSeed, [&o](std::optional<int64_t> seed) { o.seed = seed; })
        ->type_name("N|clock");
    addOption(app, "--until", "Stop after that much demo time (default: the demo's own end)",
              readUntil, [&o](int64_t until) { o.until = until; })
        ->type_name("SECONDS");
    addOption(app, "--screenshot",
              "Also write the frame at demo time T seconds as the PNG file FILE; repeatable",
              readScreenshot, [&o](Screenshot shot) { o.screenshots.push_back(std::move(shot)); })
        ->type_name("T=FILE");
    addOption(
        app, "--crf",
        "Video quality, lower is better: 0 to 51 for H.264 (default 23), 0 to 63 for VP9 "
        "(default 32)",
        [](const std::string& text) { return wholeNumber<int32_t>(text, "a whole number"); },
        [&o](int32_t crf) { o.crf = crf; })
        ->type_name("N");
    addOption(
        app, "--preset",
        "Encoder speed: ultrafast (default), superfast, veryfast, faster, fast, medium, "
        "slow, slower, veryslow or placebo for H.264 (slower presets make smaller files); "
        "realtime, good (default) or best for VP9",
        [](const std::string& text) { return text; },
        [&o](std::string preset) { o.preset = std::move(preset); })
        ->type_name("NAME");
    app.add_flag("--force", o.force, "Replace outputs that exist already")->disable_flag_override();
    outputOption = app.add_option("OUTPUT", o.output,
                                  "A .mp4, .mkv or .webm file: video with sound, encoded by "
                                  "ffmpeg (H.264 and AAC, or VP9 and Opus for .webm); anything "
                                  "else is a directory: one PNG per frame (frame-000000.png ...) "
                                  "and soundtrack.wav. It may be left out when --screenshot is "
                                  "given")
                       ->type_name("");
    app.callback([this] { checkAgainstOutput(); });

    for (CLI::Option* option : app.get_options()) {
        option->description(wrapped(option->get_description()));
    }
    app.get_formatter()->column_width(helpNameWidth);
    app.get_formatter()->label("Positionals", "Arguments");
}

// The limits that depend on the output and on other options, refused as the
// options' own are.
void CommandLine::checkAgainstOutput() {
    CaptureOptions& o = options;
    if (outputOption->count() == 0 && o.screenshots.empty()) {
        throw CLI::ValidationError("no OUTPUT given");
    }
    if (outputOption->count() > 0 && o.output.empty()) {
        throw CLI::ValidationError("OUTPUT", "is empty");
    }
    o.kind = outputKindOf(o.output);
    const auto refuse = [](const std::string& name, const Refusal& refusal) {
        return CLI::ValidationError(name, refusal.reason);
    };
    for (const Screenshot& shot : o.screenshots) {
        if (o.until && shot.time >= *o.until) {
            throw refuse("--screenshot",
                         outOfRange(formatSeconds(shot.time) + " s",
                                    "before the end set by --until " + formatSeconds(*o.until)));
        }
    }
    if (!isVideo(o.kind)) {
        if (o.crf || o.preset) {
            throw CLI::ValidationError(o.crf ? "--crf" : "--preset",
                                       "applies to a video file; a directory of frames is not "
                                       "encoded");
        }
        return;
    }
    if (o.crf && (*o.crf < 0 || *o.crf > maxCrf(o.kind))) {
        throw refuse("--crf",
                     outOfRange(std::to_string(*o.crf),
                                "from 0 to " + std::to_string(maxCrf(o.kind)), codecName(o.kind)));
    }
    const auto& names = presetNames(o.kind);
    if (o.preset && std::find(names.begin(), names.end(), *o.preset) == names.end()) {
        throw refuse("--preset",
                     outOfRange(inQuotes(*o.preset), "one of " + listed(names), codecName(o.kind)));
    }
    // yuv420p halves both dimensions for the colour planes.
    if (o.width % 2 != 0 || o.height % 2 != 0) {
        throw refuse("--size", outOfRange(std::to_string(o.width) + "x" + std::to_string(o.height),
                                          "even in width and height", "a video file"));
    }
}

}  // namespace

std::string captureHelp() {
    return CommandLine().app.help();
}

ParsedOptions parseCaptureOptions(const std::vector<std::string>& arguments) {
    CommandLine line;
    ParsedOptions parsed;
    // CLI11 takes the arguments as a vector, last one first.
    std::vector<std::string> reversed(arguments.rbegin(), arguments.rend());
    try {
        line.app.parse(reversed);
    } catch (const CLI::CallForHelp&) {
        parsed.options.help = true;
        return parsed;
    } catch (const CLI::CallForVersion&) {
        parsed.options.version = true;
        return parsed;
    } catch (const CLI::ParseError& error) {
        // CLI11's own report: the reason, then where to find the help.
        parsed.error = CLI::FailureMessage::simple(&line.app, error);
        while (!parsed.error.empty() && parsed.error.back() == '\n') {
            parsed.error.pop_back();
        }
        return parsed;
    }
    parsed.options = std::move(line.options);
    return parsed;
}
