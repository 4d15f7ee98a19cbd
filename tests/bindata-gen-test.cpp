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

TEST(BindataGen, RecordsMode0644AndTheEpochOrElseTheFilesTimesAndRefusesAMalformedEpoch) {
    const auto count = [](const std::string& text, const std::string& part) {
        size_t n = 0;
        for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) {
            ++n;
        }
        return n;
    };
    Scratch root{"bindata-gen"};
    std::filesystem::create_directories(root.path + "/res");
    const auto write = [&](const std::string& name, const std::string& content) {
        std::ofstream(root.path + "/" + name, std::ios::binary) << content;
    };
    // A checkout of both files with the given modes and times.
    const auto checkout = [&](mode_t modeA, time_t timeA, mode_t modeB, time_t timeB) {
        for (const auto& [name, mode, time] :
             {std::tuple{"/res/a.bin", modeA, timeA}, std::tuple{"/res/b.png", modeB, timeB}}) {
            const timespec times[2] = {{time, 0}, {time, 0}};
            EXPECT_EQ(chmod((root.path + name).c_str(), mode), 0);
            EXPECT_EQ(utimensat(AT_FDCWD, (root.path + name).c_str(), times, 0), 0);
        }
    };
    // The generator's exit status over both files with SOURCE_DATE_EPOCH set
    // to the given value, or unset, and the unit it wrote ("" if none).
    const auto generate = [&](const std::optional<std::string>& epoch) {
        const auto output = root.path + "/out.cpp";
        std::filesystem::remove(output);
        Environment environment = inheritedEnvironment();
        environment.erase("SOURCE_DATE_EPOCH");
        if (epoch) {
            environment["SOURCE_DATE_EPOCH"] = *epoch;
        }
        const Outcome outcome =
            ChildProcess::start(
                {VIMBEL_BINDATA_GEN_PATH, root.path, output, "res/a.bin", "res/b.png"}, environment)
                .finish(exitLimit);
        return std::pair{outcome.exited ? outcome.status : -1, readFile(output)};
    };
    write("res/a.bin", "first file");
    write("res/b.png", std::string(300, 'x'));

    checkout(0600, 1500000000, 0755, 1600000000);
    const auto [status, first] = generate("1684444323");
    ASSERT_EQ(status, 0);
    EXPECT_EQ(count(first, "0644, system_clock::time_point(seconds(1684444323))"), 2u)
        << lastLines(first);
    EXPECT_EQ(count(first, "0600") + count(first, "0755"), 0u);
    // Another checkout: other permissions, other times, the same unit.
    checkout(0664, 1700000000, 0644, 1400000000);
    EXPECT_EQ(generate("1684444323"), std::pair(0, first));

    // Without an epoch, each file's own time.
    checkout(0600, 1500000000, 0600, 1600000000);
    const auto own = generate(std::nullopt).second;
    EXPECT_EQ(count(own, "10, 0644, system_clock::time_point(seconds(1500000000))"), 1u);
    EXPECT_EQ(count(own, "300, 0644, system_clock::time_point(seconds(1600000000))"), 1u);

    for (const std::string epoch : {"", "12abc", "-5", "1.5", " 12", "99999999999999999999"}) {
        const auto [refused, unit] = generate(epoch);
        EXPECT_TRUE(refused == 1 && unit.empty())
            << "SOURCE_DATE_EPOCH=\"" << epoch << "\": exit " << refused;
    }
    // 0 is a time like any other, the epoch itself, not "unset".
    const auto zero = generate("0");
    EXPECT_EQ(zero.first, 0);
    EXPECT_EQ(count(zero.second, "0644, system_clock::time_point(seconds(0))"), 2u);

    // The content still counts.
    write("res/a.bin", "changed");
    EXPECT_NE(generate("1684444323").second, first);
}
