#include "fatal.h"

#include <SDL.h>

#include <cstdio>

namespace {
FatalReportSink fatalReportSink = nullptr;
}  // namespace

void fatal(const std::string& message, std::string context) {
    throw FatalError(message, std::move(context));
}

void fatalSdl(std::string context) {
    fatal(SDL_GetError(), std::move(context));
}

std::string fatalReport(const FatalError& error) {
    std::string report = "vimbel-demo: ";
    if (!error.context().empty()) {
        report += error.context() + ": ";
    }
    return report + error.what();
}

void reportFatal(const std::string& report) {
    std::fprintf(stderr, "%s\n", report.c_str());
    if (fatalReportSink) {
        fatalReportSink(report);
    }
}

void setFatalReportSink(FatalReportSink sink) {
    fatalReportSink = sink;
}
