#include "bindata.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <zlib.h>

#include <fstream>
#include <functional>
#include <iterator>
#include <string>
#include <vector>

namespace {

const std::vector<std::string> assetNames = {"res/asteroid.png", "res/font.ttf", "res/music.wav",
                                             "res/rymdskepp.png", "res/vimbel.png"};

std::vector<uint8_t> sourceFile(const std::string& name) {
    std::ifstream in(std::string(VIMBEL_SOURCE_DIR) + "/" + name, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

std::vector<uint8_t> gzipped(const std::vector<uint8_t>& content) {
    z_stream stream{};
    deflateInit2(&stream, Z_DEFAULT_COMPRESSION, Z_DEFLATED, 16 + MAX_WBITS, 8, Z_DEFAULT_STRATEGY);
    std::vector<uint8_t> out(deflateBound(&stream, content.size()) + 32);
    stream.next_in = const_cast<Bytef*>(content.data());
    stream.avail_in = static_cast<uInt>(content.size());
    stream.next_out = out.data();
    stream.avail_out = static_cast<uInt>(out.size());
    deflate(&stream, Z_FINISH);
    out.resize(stream.total_out);
    deflateEnd(&stream);
    return out;
}

// Compressible bytes, so that the damaged members below exercise the decoder.
std::vector<uint8_t> payload() {
    std::vector<uint8_t> bytes;
    for (int i = 0; i < 5000; ++i) {
        bytes.push_back(static_cast<uint8_t>((i * 7) ^ (i >> 3)));
    }
    return bytes;
}

// The build records the commit's time (or SOURCE_DATE_EPOCH) for every file;
// only a build outside a git checkout records the file's own time.
time_t expectedModTime(const std::string& name) {
    const std::string epoch = VIMBEL_SOURCE_DATE_EPOCH;
    struct stat info {};
    stat((std::string(VIMBEL_SOURCE_DIR) + "/" + name).c_str(), &info);
    return epoch.empty() ? info.st_mtime : static_cast<time_t>(std::stoll(epoch));
}

}  // namespace

TEST(Bindata, EveryFileOfResIsEmbeddedByteForByteWithItsInfoAndTheTreeMirrorsTheTable) {
    ASSERT_EQ(bindata::_bindata.size(), assetNames.size());
    ASSERT_EQ(bindata::_bintree.Children.size(), 1u);
    const bintree& res = *bindata::_bintree.Children.at("res");
    EXPECT_FALSE(bindata::_bintree.Func);
    EXPECT_FALSE(res.Func);
    ASSERT_EQ(res.Children.size(), assetNames.size());
    for (const auto& name : assetNames) {
        const auto result = Asset(name);
        ASSERT_TRUE(result.ok()) << *result.error;
        const auto expected = sourceFile(name);
        ASSERT_FALSE(expected.empty()) << name;
        EXPECT_EQ(result.value, expected) << name;

        const bintree& leaf = *res.Children.at(name.substr(4));
        ASSERT_TRUE(leaf.Func) << name;
        EXPECT_TRUE(leaf.Children.empty());
        const auto loaded = leaf.Func();
        ASSERT_TRUE(loaded.ok());
        EXPECT_EQ(loaded.value.info.name, name);
        EXPECT_EQ(loaded.value.info.size, static_cast<int64_t>(expected.size()));
        EXPECT_EQ(loaded.value.bytes, expected);
        EXPECT_EQ(std::chrono::system_clock::to_time_t(loaded.value.info.modTime),
                  expectedModTime(name));
    }
}

TEST(Bindata, BackslashesCountAsSlashesButNothingElseIsNormalised) {
    const auto slash = Asset("res/font.ttf");
    const auto backslash = Asset("res\\font.ttf");
    ASSERT_TRUE(backslash.ok());
    EXPECT_EQ(backslash.value, slash.value);

    for (const std::string name : {"res/Font.ttf", "font.ttf", "/res/font.ttf", "./res/font.ttf",
                                   "res", "res/", "", "res\\Font.ttf"}) {
        const auto result = Asset(name);
        ASSERT_FALSE(result.ok()) << name;
        EXPECT_EQ(*result.error, "Asset " + name + " not found");
        EXPECT_TRUE(result.value.empty());
    }
}

TEST(Bindata, DamagedArraysAreReportedWithTheWrappedDecoderError) {
    const auto good = gzipped(payload());
    // The decoder's error after the wrapping that the program's own lookup
    // gives it, or "" if the lookup succeeded.
    const auto why = [](const std::vector<uint8_t>& data) -> std::string {
        const bindataTable table = {{"res/damaged.bin", [&data] {
                                         return bindataAsset(bindataRead(data, "res/damaged.bin"),
                                                             {"res/damaged.bin", 0, 0644, {}});
                                     }}};
        const auto result = assetFrom(table, "res/damaged.bin");
        const std::string prefix =
            "Asset res/damaged.bin can't read by error: Read \"res/damaged.bin\": ";
        if (result.ok()) {
            return "";
        }
        EXPECT_TRUE(result.value.empty());
        EXPECT_EQ(result.error->rfind(prefix, 0), 0u) << *result.error;
        return result.error->substr(prefix.size());
    };
    // Changes to the end: the last byte dropped, a bit of the CRC-32 or of the
    // length flipped, a byte added.
    const auto changed = [&good](const std::function<void(std::vector<uint8_t>&)>& change) {
        auto data = good;
        change(data);
        return data;
    };
    EXPECT_EQ(why({}), "EOF");
    EXPECT_EQ(why({0x1f, 0x8b, 8, 0}), "unexpected EOF");
    EXPECT_EQ(why(sourceFile("res/rymdskepp.png")), "gzip: invalid header");
    EXPECT_EQ(why(changed([](auto& d) { d.pop_back(); })), "unexpected EOF");
    EXPECT_EQ(why(changed([](auto& d) { d[d.size() - 8] ^= 0x01; })), "gzip: incorrect data check");
    EXPECT_EQ(why(changed([](auto& d) { d.back() ^= 0x01; })), "gzip: incorrect length check");
    EXPECT_EQ(why(changed([](auto& d) { d.push_back(0); })),
              "gzip: data after the end of the member");
    // A flipped bit in the compressed data is caught by the decoder or by the CRC-32.
    for (size_t at = 10; at < good.size() - 8; at += 97) {
        EXPECT_EQ(why(changed([at](auto& d) { d[at] ^= 0x10; })).rfind("gzip: ", 0), 0u)
            << "bit flipped at " << at;
    }
    EXPECT_EQ(why(good), "");
}

TEST(Bindata, QuotedNamesEscapeQuotesBackslashesAndControlCharacters) {
    EXPECT_EQ(quoteName("res/font.ttf"), "\"res/font.ttf\"");
    EXPECT_EQ(quoteName("a\"b\\c"), "\"a\\\"b\\\\c\"");
    EXPECT_EQ(quoteName("tab\there\nnl"), "\"tab\\there\\nnl\"");
    EXPECT_EQ(quoteName(std::string("\x01\x7f", 2)), "\"\\x01\\x7f\"");
    EXPECT_EQ(quoteName("V\xc3\xa4lkommen"), "\"V\xc3\xa4lkommen\"");
    EXPECT_EQ(quoteName("\xc2\x85"), "\"\\u0085\"");
    EXPECT_EQ(bindataRead({}, "a\"b").error.value(), "Read \"a\\\"b\": EOF");
}
