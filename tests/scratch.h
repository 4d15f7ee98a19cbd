#pragma once

// Files for a test: an empty directory of the test's own, removed with
// everything in it when the test ends.

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <string>

inline bool exists(const std::string& path) {
    struct stat info {};
    return lstat(path.c_str(), &info) == 0;
}

struct Scratch {
    std::string path;
    explicit Scratch(const std::string& stem)
        : path(testing::TempDir() + stem + "-" + std::to_string(getpid())) {
        remove();
        EXPECT_EQ(mkdir(path.c_str(), 0777), 0) << path;
    }
    ~Scratch() { remove(); }
    Scratch(const Scratch&) = delete;
    Scratch& operator=(const Scratch&) = delete;
    void remove() const { EXPECT_EQ(std::system(("rm -rf '" + path + "'").c_str()), 0); }
};
