#pragma once

// A test whose server or tool cannot start has proven nothing. Under CI (CI
// set to anything but "", "false" or "0") it fails, so that a broken install
// step shows; elsewhere it is skipped and says why. It never passes.

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

inline bool underCi() {
    const char* ci = std::getenv("CI");
    const std::string value = ci ? ci : "";
    return !value.empty() && value != "false" && value != "0";
}

// Ends the current test (or its SetUp) for want of `reason` unless
// `condition` holds.
#define NEEDS(condition, reason)                               \
    do {                                                       \
        if (!(condition)) {                                    \
            if (underCi()) {                                   \
                FAIL() << "cannot run under CI: " << (reason); \
            }                                                  \
            GTEST_SKIP() << (reason);                          \
        }                                                      \
    } while (false)
