// The embedding generator run as the build runs it: what it records of each
// file must depend on the file's content and the build's time only, never on
// the checkout's permissions or file times.

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <fstream>
#include <optional>
#include <string>

#include "child-process.h"
#include "scratch.h"

namespace {

struct Generated {
    int status = -1;
    std::string text;  // the generated unit, empty when none was written
};

class BindataGen : public testing::Test {
  protected:
    Scratch root{"bindata-gen"};

    void SetUp() override {
        std::filesystem::create_directories(root.path + "/res");
        write("res/a.bin", "first file");
        write("res/b.png", std::string(300, 'x'));
    }

    void write(const std::string& name, const std::string& content) {
        std::ofstream(root.path + "/" + name, std::ios::binary) << content;
    }

    void setFile(const std::string& name, mode_t mode, time_t modTime) {
        const auto path = root.path + "/" + name;
        ASSERT_EQ(chmod(path.c_str(), mode), 0);
        const timespec times[2] = {{modTime, 0}, {modTime, 0}};
        ASSERT_EQ(utimensat(AT_FDCWD, path.c_str(), times, 0), 0);
    }

    // Runs the generator over both files with SOURCE_DATE_EPOCH set to the
    // given value, or unset.
    Generated generate(const std::optional<std::string>& epoch) {
        const auto output = root.path + "/out.cpp";
        std::filesystem::remove(output);
        Environment environment = inheritedEnvironment();
        environment.erase("SOURCE_DATE_EPOCH");
        if (epoch) {
            environment["SOURCE_DATE_EPOCH"] = *epoch;
        }
        ChildProcess generator = ChildProcess::start(
            {VIMBEL_BINDATA_GEN_PATH, root.path, output, "res/a.bin", "res/b.png"}, environment);
        const Outcome outcome = generator.finish(exitLimit);
        return {outcome.exited ? outcome.status : -1, readFile(output)};
    }
};

size_t count(const std::string& text, const std::string& part) {
    size_t n = 0;
    for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) {
        ++n;
    }
    return n;
}

}  // namespace

TEST_F(BindataGen, RecordsMode0644AndTheEpochWhateverTheCheckoutGave) {
    setFile("res/a.bin", 0600, 1500000000);
    setFile("res/b.png", 0755, 1600000000);
    const auto first = generate("1684444323");
    ASSERT_EQ(first.status, 0);
    EXPECT_EQ(count(first.text, "0644, system_clock::time_point(seconds(1684444323))"), 2u)
        << lastLines(first.text);
    EXPECT_EQ(count(first.text, "0600"), 0u);
    EXPECT_EQ(count(first.text, "0755"), 0u);

    // Another checkout: other permissions, other times, the same unit.
    setFile("res/a.bin", 0664, 1700000000);
    setFile("res/b.png", 0644, 1400000000);
    const auto second = generate("1684444323");
    ASSERT_EQ(second.status, 0);
    EXPECT_EQ(second.text, first.text);

    // The content still counts.
    write("res/a.bin", "changed");
    EXPECT_NE(generate("1684444323").text, first.text);
}

TEST_F(BindataGen, WithoutAnEpochTheFilesOwnTimesAreRecorded) {
    setFile("res/a.bin", 0600, 1500000000);
    setFile("res/b.png", 0600, 1600000000);
    const auto generated = generate(std::nullopt);
    ASSERT_EQ(generated.status, 0);
    EXPECT_EQ(count(generated.text, "10, 0644, system_clock::time_point(seconds(1500000000))"), 1u);
    EXPECT_EQ(count(generated.text, "300, 0644, system_clock::time_point(seconds(1600000000))"),
              1u);
}

TEST_F(BindataGen, AMalformedEpochIsRefusedAndNothingIsWritten) {
    for (const std::string epoch : {"", "12abc", "-5", "1.5", " 12", "99999999999999999999"}) {
        const auto generated = generate(epoch);
        EXPECT_EQ(generated.status, 1) << "SOURCE_DATE_EPOCH=\"" << epoch << "\"";
        EXPECT_TRUE(generated.text.empty()) << epoch;
    }
    // 0 is a time like any other, the epoch itself, not "unset".
    const auto zero = generate("0");
    EXPECT_EQ(zero.status, 0);
    EXPECT_EQ(count(zero.text, "0644, system_clock::time_point(seconds(0))"), 2u);
}
