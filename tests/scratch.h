#pragma once

// Files for a test: an empty directory of its own (mode 0700, a fresh name
// each time), removed with everything in it when the test ends; and reading
// files and directories back.

#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/stat.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

inline bool exists(const std::string& path) {
    struct stat info {};
    return lstat(path.c_str(), &info) == 0;
}

// The whole file, or "" if it cannot be read.
inline std::string readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// The names in a directory, sorted; none if it cannot be read.
inline std::vector<std::string> entries(const std::string& directory) {
    std::vector<std::string> names;
    std::error_code error;
    for (const auto& entry : std::filesystem::directory_iterator(directory, error)) {
        names.push_back(entry.path().filename().string());
    }
    std::sort(names.begin(), names.end());
    return names;
}

struct Scratch {
    std::string path;
    explicit Scratch(const std::string& stem) {
        std::string name = testing::TempDir() + stem + "-XXXXXX";
        EXPECT_TRUE(mkdtemp(name.data())) << name;
        path = name;
    }
    ~Scratch() {
        std::error_code ignored;
        std::filesystem::remove_all(path, ignored);
    }
    Scratch(const Scratch&) = delete;
    Scratch& operator=(const Scratch&) = delete;
};
