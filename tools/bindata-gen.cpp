// Build-time generator: writes the embedded asset table of the program from the
// files of res/. Each file becomes one gzip member (header FLG 0, MTIME 0,
// XFL 0, OS 255, default compression) emitted as a compact string literal,
// with its loader, its table entry and its leaf in the directory tree.
//
// The output depends on the files' contents only, so that two builds of one
// commit are byte-identical: every file is recorded with mode 0644 whatever
// permissions the checkout gave it, and with the modification time taken from
// SOURCE_DATE_EPOCH (seconds since the Unix epoch) when that is set. Without
// it, the file's own modification time is recorded.
//
// Usage: bindata-gen ROOT OUTPUT.cpp res/NAME...

#include <sys/stat.h>
#include <zlib.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iostream>
#include <optional>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

namespace {

std::vector<unsigned char> readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        throw std::runtime_error("cannot open " + path);
    }
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

std::vector<unsigned char> gzip(const std::vector<unsigned char>& content) {
    z_stream stream{};
    if (deflateInit2(&stream, Z_DEFAULT_COMPRESSION, Z_DEFLATED, 16 + MAX_WBITS, 8,
                     Z_DEFAULT_STRATEGY) != Z_OK) {
        throw std::runtime_error("deflateInit2 failed");
    }
    gz_header header{};
    header.os = 255;  // unknown operating system
    deflateSetHeader(&stream, &header);
    std::vector<unsigned char> out(deflateBound(&stream, content.size()) + 32);
    stream.next_in = const_cast<Bytef*>(content.data());
    stream.avail_in = static_cast<uInt>(content.size());
    stream.next_out = out.data();
    stream.avail_out = static_cast<uInt>(out.size());
    if (deflate(&stream, Z_FINISH) != Z_STREAM_END) {
        deflateEnd(&stream);
        throw std::runtime_error("deflate failed");
    }
    out.resize(stream.total_out);
    deflateEnd(&stream);
    // The member must start with the plain header: ID, CM 8, FLG 0, MTIME 0, XFL 0, OS 255.
    static const unsigned char expected[10] = {0x1f, 0x8b, 8, 0, 0, 0, 0, 0, 0, 255};
    if (out.size() < 18 || !std::equal(expected, expected + 10, out.begin())) {
        throw std::runtime_error("unexpected gzip header from zlib");
    }
    return out;
}

// "res/asteroid.png" -> "resAsteroidPng"
std::string identifierFor(const std::string& name) {
    std::string id;
    bool upper = false;
    for (char c : name) {
        if (std::isalnum(static_cast<unsigned char>(c))) {
            id += upper ? static_cast<char>(std::toupper(static_cast<unsigned char>(c))) : c;
            upper = false;
        } else {
            upper = !id.empty();
        }
    }
    return id;
}

std::string cString(const std::string& text) {
    std::string out = "\"";
    for (char c : text) {
        if (c == '"' || c == '\\') {
            out += '\\';
        }
        out += c;
    }
    return out + "\"";
}

// Printable characters stand for themselves; every other byte is a three-digit
// octal escape, which cannot swallow a following digit.
void writeLiteral(std::ostream& out, const std::vector<unsigned char>& bytes) {
    std::string line;
    for (unsigned char b : bytes) {
        if (b >= 0x20 && b < 0x7f && b != '"' && b != '\\' && b != '?') {
            line += static_cast<char>(b);
        } else {
            char escape[5];
            std::snprintf(escape, sizeof escape, "\\%03o", b);
            line += escape;
        }
        if (line.size() >= 120) {
            out << "    \"" << line << "\"\n";
            line.clear();
        }
    }
    out << "    \"" << line << "\"";
}

// The recorded mode of every embedded file: owner read and write, everyone
// else read.
constexpr unsigned recordedMode = 0644;

// SOURCE_DATE_EPOCH as a count of seconds, or nothing when it is unset. A value
// that is not a plain non-negative decimal number is refused rather than
// silently replaced by the files' times.
std::optional<long long> sourceDateEpoch() {
    const char* text = std::getenv("SOURCE_DATE_EPOCH");
    if (text == nullptr) {
        return std::nullopt;
    }
    const std::string value = text;
    if (value.empty() || value.size() > 18 || !std::all_of(value.begin(), value.end(), [](char c) {
            return std::isdigit(static_cast<unsigned char>(c));
        })) {
        throw std::runtime_error("SOURCE_DATE_EPOCH is not a number of seconds: \"" + value + "\"");
    }
    return std::stoll(value);
}

struct Entry {
    std::string name;
    std::string id;
    size_t size;
    unsigned mode;
    long long modTime;
};

}  // namespace

int main(int argc, char** argv) {
    if (argc < 3) {
        std::cerr << "usage: bindata-gen ROOT OUTPUT.cpp res/NAME...\n";
        return 2;
    }
    try {
        const auto epoch = sourceDateEpoch();
        const std::string root = argv[1];
        const std::string output = argv[2];
        std::ostringstream out;
        out << "// Generated by bindata-gen from the files of res/. Do not edit.\n"
               "#include \"bindata.h\"\n\n"
               "namespace bindata {\n\n"
               "using namespace std::chrono;\n\n";

        std::vector<Entry> entries;
        for (int i = 3; i < argc; ++i) {
            const std::string name = argv[i];
            const std::string path = root + "/" + name;
            struct stat info {};
            if (stat(path.c_str(), &info) != 0) {
                throw std::runtime_error("cannot stat " + path);
            }
            const auto content = readFile(path);
            const auto packed = gzip(content);
            Entry e{name, identifierFor(name), content.size(), recordedMode,
                    epoch ? *epoch : static_cast<long long>(info.st_mtime)};
            entries.push_back(e);

            out << "static const unsigned char _" << e.id << "[" << packed.size() + 1 << "] =\n";
            writeLiteral(out, packed);
            out << ";\n\n"
                << "static Result<std::vector<uint8_t>> " << e.id << "Bytes() {\n"
                << "    return bindataRead({_" << e.id << ", " << packed.size() << "}, "
                << cString(name) << ");\n}\n\n"
                << "static Result<asset> " << e.id << "() {\n"
                << "    return bindataAsset(" << e.id << "Bytes(), {" << cString(name) << ", "
                << e.size << ", 0" << std::oct << e.mode << std::dec
                << ", system_clock::time_point(seconds(" << e.modTime << "))});\n}\n\n";
        }

        out << "const bindataTable _bindata = {\n";
        for (const auto& e : entries) {
            out << "    {" << cString(e.name) << ", " << e.id << "},\n";
        }
        out << "};\n\n";

        // The directory tree: one node per path component, a loader at each leaf.
        out << "static bintree makeTree() {\n"
               "    bintree root;\n"
               "    for (const auto& [name, loader] : _bindata) {\n"
               "        bintree* node = &root;\n"
               "        size_t start = 0;\n"
               "        for (;;) {\n"
               "            const size_t slash = name.find('/', start);\n"
               "            auto& child = node->Children[name.substr(start, slash - start)];\n"
               "            if (!child) {\n"
               "                child = std::make_unique<bintree>();\n"
               "            }\n"
               "            node = child.get();\n"
               "            if (slash == std::string::npos) {\n"
               "                break;\n"
               "            }\n"
               "            start = slash + 1;\n"
               "        }\n"
               "        node->Func = loader;\n"
               "    }\n"
               "    return root;\n"
               "}\n\n"
               "const bintree _bintree = makeTree();\n\n"
               "}  // namespace bindata\n";

        const std::string text = out.str();
        std::ofstream file(output, std::ios::binary | std::ios::trunc);
        file << text;
        if (!file) {
            throw std::runtime_error("cannot write " + output);
        }
    } catch (const std::exception& e) {
        std::cerr << "bindata-gen: " << e.what() << "\n";
        return 1;
    }
    return 0;
}
