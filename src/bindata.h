#pragma once

// The embedded asset store: every file of res/ is compiled into the program as
// one gzip member and decompressed afresh, by name, whenever it is asked for.

#include <chrono>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

// A value or the text of what went wrong.
template <typename T>
struct Result {
    T value{};
    std::optional<std::string> error;

    bool ok() const { return !error.has_value(); }
};

// The recorded file information of one embedded file, taken from the source
// file when the program was built.
struct bindataFileInfo {
    std::string name;
    int64_t size = 0;
    uint32_t mode = 0;
    // Whole seconds since the Unix epoch; shown in the local time zone.
    std::chrono::system_clock::time_point modTime;
};

// One decompressed embedded file; belongs to the caller.
struct asset {
    std::vector<uint8_t> bytes;
    bindataFileInfo info;
};

using bindataLoader = std::function<Result<asset>()>;
using bindataTable = std::map<std::string, bindataLoader>;

// One node of the directory tree of the embedded files.
struct bintree {
    bindataLoader Func;  // empty for a directory
    std::map<std::string, std::unique_ptr<bintree>> Children;
};

// Decompresses one gzip member, verifying its CRC-32 and length. The name is
// used in error messages only: "Read %q: <decoder's error>".
Result<std::vector<uint8_t>> bindataRead(std::span<const uint8_t> data, const std::string& name);

// Wraps decompressed bytes with their file information, or passes the error on.
Result<asset> bindataAsset(Result<std::vector<uint8_t>> bytes, bindataFileInfo info);

// The decompressed content of the named asset. Backslashes in the name count as
// forward slashes; nothing else is normalised. Every call returns a new buffer.
Result<std::vector<uint8_t>> Asset(const std::string& name);

// Asset over a given table, so that damaged arrays can be looked up in tests.
Result<std::vector<uint8_t>> assetFrom(const bindataTable& table, const std::string& name);

// The name written between double quotes with quotes, backslashes and control
// characters escaped.
std::string quoteName(const std::string& name);

// Written by the build from the files of res/.
namespace bindata {
extern const bindataTable _bindata;
extern const bintree _bintree;
}  // namespace bindata
