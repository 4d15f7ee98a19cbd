#include "bindata.h"

#include <zlib.h>

#include <algorithm>
#include <cstdio>

std::string quoteName(const std::string& name) {
    std::string quoted = "\"";
    for (size_t i = 0; i < name.size(); ++i) {
        const auto c = static_cast<unsigned char>(name[i]);
        char escape[8];
        switch (c) {
            case '"':
                quoted += "\\\"";
                continue;
            case '\\':
                quoted += "\\\\";
                continue;
            case '\a':
                quoted += "\\a";
                continue;
            case '\b':
                quoted += "\\b";
                continue;
            case '\f':
                quoted += "\\f";
                continue;
            case '\n':
                quoted += "\\n";
                continue;
            case '\r':
                quoted += "\\r";
                continue;
            case '\t':
                quoted += "\\t";
                continue;
            case '\v':
                quoted += "\\v";
                continue;
            default:
                break;
        }
        if (c < 0x20 || c == 0x7f) {
            std::snprintf(escape, sizeof escape, "\\x%02x", c);
            quoted += escape;
        } else if (c == 0xc2 && i + 1 < name.size() &&
                   static_cast<unsigned char>(name[i + 1]) >= 0x80 &&
                   static_cast<unsigned char>(name[i + 1]) <= 0x9f) {
            // A C1 control character in UTF-8.
            std::snprintf(escape, sizeof escape, "\\u%04x",
                          static_cast<unsigned char>(name[i + 1]));
            quoted += escape;
            ++i;
        } else {
            quoted += static_cast<char>(c);
        }
    }
    return quoted + "\"";
}

namespace {

// Checks the fixed part of a gzip header, so that data that is not a gzip
// member at all is refused before any decompression.
std::optional<std::string> checkHeader(std::span<const uint8_t> data) {
    if (data.empty()) {
        return "EOF";
    }
    if (data.size() < 10) {
        return "unexpected EOF";
    }
    if (data[0] != 0x1f || data[1] != 0x8b || data[2] != Z_DEFLATED || (data[3] & 0xe0) != 0) {
        return "gzip: invalid header";
    }
    return std::nullopt;
}

}  // namespace

Result<std::vector<uint8_t>> bindataRead(std::span<const uint8_t> data, const std::string& name) {
    const auto failure = [&name](const std::string& why) {
        return Result<std::vector<uint8_t>>{{}, "Read " + quoteName(name) + ": " + why};
    };
    if (auto headerError = checkHeader(data)) {
        return failure(*headerError);
    }

    z_stream stream{};
    if (inflateInit2(&stream, 16 + MAX_WBITS) != Z_OK) {
        return failure(stream.msg ? stream.msg : "gzip: cannot start the decoder");
    }
    stream.next_in = const_cast<Bytef*>(data.data());
    stream.avail_in = static_cast<uInt>(data.size());

    // The trailer's length field is only a hint here (it may be damaged), so
    // the reservation is capped by deflate's largest possible expansion.
    std::vector<uint8_t> out;
    const size_t n = data.size();
    const uint32_t hintedSize = uint32_t(data[n - 4]) | uint32_t(data[n - 3]) << 8 |
                                uint32_t(data[n - 2]) << 16 | uint32_t(data[n - 1]) << 24;
    out.reserve(std::min<size_t>(hintedSize, n * 1032));

    std::optional<std::string> error;
    uint8_t chunk[64 * 1024];
    for (;;) {
        stream.next_out = chunk;
        stream.avail_out = sizeof chunk;
        const int status = inflate(&stream, Z_NO_FLUSH);
        out.insert(out.end(), chunk, chunk + (sizeof chunk - stream.avail_out));
        if (status == Z_STREAM_END) {
            if (stream.avail_in != 0) {
                error = "gzip: data after the end of the member";
            }
            break;
        }
        if (status == Z_BUF_ERROR) {
            // No progress is possible although output space was given: the
            // input ended before the member did.
            error = "unexpected EOF";
            break;
        }
        if (status != Z_OK && status != Z_BUF_ERROR) {
            error = stream.msg ? std::string("gzip: ") + stream.msg : "gzip: corrupt input";
            break;
        }
    }
    inflateEnd(&stream);

    if (error) {
        return failure(*error);
    }
    return {std::move(out), std::nullopt};
}

Result<asset> bindataAsset(Result<std::vector<uint8_t>> bytes, bindataFileInfo info) {
    if (!bytes.ok()) {
        return {{}, bytes.error};
    }
    return {asset{std::move(bytes.value), std::move(info)}, std::nullopt};
}

Result<std::vector<uint8_t>> assetFrom(const bindataTable& table, const std::string& name) {
    std::string canonical = name;
    std::replace(canonical.begin(), canonical.end(), '\\', '/');
    const auto found = table.find(canonical);
    if (found == table.end()) {
        return {{}, "Asset " + name + " not found"};
    }
    auto loaded = found->second();
    if (!loaded.ok()) {
        return {{}, "Asset " + name + " can't read by error: " + *loaded.error};
    }
    return {std::move(loaded.value.bytes), std::nullopt};
}

Result<std::vector<uint8_t>> Asset(const std::string& name) {
    return assetFrom(bindata::_bindata, name);
}
