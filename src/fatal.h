#pragma once

#include <stdexcept>
#include <string>

// A fatal error: thrown wherever the demo cannot go on and caught only by the
// entry, which reports it on standard error and exits with status 2. what()
// is the error's own text (for a failed SDL call, SDL's error string exactly);
// context() optionally names the step that failed, for the report.
class FatalError : public std::runtime_error {
  public:
    explicit FatalError(const std::string& message, std::string context = {})
        : std::runtime_error(message), context_(std::move(context)) {}
    const std::string& context() const { return context_; }

  private:
    std::string context_;
};

// Stops the demo with the given text.
[[noreturn]] void fatal(const std::string& message, std::string context = {});

// Stops the demo with SDL's current error string (shared by SDL2_image,
// SDL2_ttf and SDL2_mixer, whose own *_GetError are the same function).
[[noreturn]] void fatalSdl(std::string context = {});

// The line the entry writes for a fatal error.
std::string fatalReport(const FatalError& error);

// Writes a fatal report on standard error, then hands it to the sink the
// platform's entry has set, if any (a message box, for a program started
// where nobody reads its error output).
void reportFatal(const std::string& report);
using FatalReportSink = void (*)(const std::string& report);
void setFatalReportSink(FatalReportSink sink);
