// The profile image loader: its layout, its log trace and every way an image is
// refused. The generator's images go through it in the configurator flow test.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "support/ProfileImage.h"
#include "support/TempDir.h"
#include "zentrova/device/PfuLog.h"
#include "zentrova/device/ProfileLoader.h"

using namespace testimg;

namespace {

constexpr unsigned long kToolBuffer = 8192; // what the device tool hands the loader
constexpr unsigned long kRoom = kToolBuffer - sizeof(LoadedProfile);

// What `f` writes to pfu_log, routed into memory.
template <typename F>
std::string logged(F f)
{
    char* data = nullptr;
    size_t size = 0;
    pfu_log = open_memstream(&data, &size);
    f();
    std::fclose(pfu_log);
    pfu_log = nullptr;
    std::string text(data, size);
    std::free(data);
    return text;
}

struct Loaded {
    bool ok = false;
    std::string log;
    // 8-byte aligned as malloc gives it, filled with a marker.
    std::vector<uint64_t> buffer = std::vector<uint64_t>(kToolBuffer / 8 + 1, 0xEEEEEEEEEEEEEEEEull);
    const LoadedProfile& head() const { return *reinterpret_cast<const LoadedProfile*>(buffer.data()); }
    const uint8_t* body() const { return reinterpret_cast<const uint8_t*>(buffer.data()) + sizeof(LoadedProfile); }
};

Loaded load(const std::string& path)
{
    Loaded r;
    r.log = logged([&] { r.ok = check_profile(r.buffer.data(), kToolBuffer, nullptr, path.c_str()); });
    return r;
}

// The records lie back to back in the body; the table points at the last
// record of each index; indexes without a record are empty.
void expectLayout(const Loaded& r, const ProfileImage& img)
{
    EXPECT_EQ(r.head().ctrl_deadzone, img.deadzone);
    ASSERT_EQ(r.head().program_count, img.programs.size());
    std::vector<const uint8_t*> data(81, nullptr);
    std::vector<size_t> sizes(81, 0);
    const uint8_t* at = r.body();
    for (const Program& p : img.programs) {
        EXPECT_EQ(Bytes(at, at + p.code.size()), p.code);
        data.at(p.index) = at;
        sizes.at(p.index) = p.code.size();
        at += p.code.size();
    }
    for (int index = 0; index <= 80; ++index) {
        EXPECT_EQ(r.head().programs[index].data, data[index]) << "program " << index;
        EXPECT_EQ(r.head().programs[index].size, sizes[index]) << "program " << index;
    }
}

ProfileImage withPrograms(std::vector<Program> programs, int count = -1, uint16_t deadzone = 0)
{
    ProfileImage img;
    img.programs = std::move(programs);
    img.programCount = count;
    img.deadzone = deadzone;
    return img;
}

TEST(ProfileLoader, AcceptedImagesAreLaidOutBackToBackWithTheirTrace)
{
    ProfileImage extra = withPrograms({{1, pattern(4, 9)}});
    extra.trailing = {0xAA, 0xBB};
    const ProfileImage cases[] = {
        withPrograms({}, -1, 12),
        withPrograms({{7, pattern(10, 1)}, {0, pattern(1, 2)}, {80, pattern(300, 3)}}, -1, 3),
        extra,                                              // extra data is only a warning
        withPrograms({{5, pattern(6, 1)}, {5, pattern(3, 50)}}), // the later record of an index wins
    };
    TempDir dir;
    for (const ProfileImage& img : cases) {
        const Bytes bytes = img.bytes();
        SCOPED_TRACE(std::to_string(img.programs.size()) + " programs, " + std::to_string(bytes.size()) + " bytes");
        writeFile(dir.path("p.bin"), bytes);
        const Loaded r = load(dir.path("p.bin"));
        ASSERT_TRUE(r.ok) << r.log;
        std::string log = "\r\nOpened. Size = " + std::to_string(bytes.size()) + "\r\n\r\nprogram deadzone: " +
                          std::to_string(img.deadzone) + "\r\n\r\nprogram count: " +
                          std::to_string(img.programs.size()) + "\r\n";
        for (size_t i = 0; i < img.programs.size(); ++i) {
            log += "\r\nProgram " + std::to_string(img.programs[i].index) + " - " +
                   std::to_string(img.programs[i].code.size()) + " bytes\r\n";
            for (int step = 1; step <= 5; ++step)
                log += "checkpoint #3 - " + std::to_string(i) + " - " + std::to_string(step) + "\r\n";
        }
        if (!img.trailing.empty())
            log += "\r\nWARNING: profile file has extra data";
        EXPECT_EQ(r.log, log + "checkpoint #4\r\ncheckpoint #5\r\n");
        expectLayout(r, img);
    }
}

TEST(ProfileLoader, RefusedImagesLogTheirStepAndCannotRead)
{
    ProfileImage badMagic, badVersion, badCrc = withPrograms({{1, pattern(8, 1)}}), oneOver;
    badMagic.magic = "ZVMQ";
    badVersion.version = 1;
    badCrc.badCrc = true;
    // The CRC is checked over the first 8192 body bytes only, so a body one
    // byte larger than the tool's buffer can never pass.
    oneOver.trailing = pattern(kToolBuffer + 1, 3);
    const auto cut = [](const ProfileImage& img, size_t size) {
        Bytes b = img.bytes();
        b.resize(size);
        return sealed(b); // the CRC is right for what is left: the cut is what fails
    };
    // ownLine: the step's own message, or empty.
    const struct { const char* name; Bytes image; std::string ownLine; } cases[] = {
        {"magic", badMagic.bytes(), "\r\nmagic error\r\n"},
        {"version", badVersion.bytes(), "\r\nversion error\r\n"},
        {"crc", badCrc.bytes(), "\r\ncrc error\r\n"},
        {"body over buffer", oneOver.bytes(), "\r\ncrc error\r\n"},
        {"index 81", withPrograms({{81, pattern(4, 1)}}).bytes(),
         "\r\nProgram 81 - 4 bytes\r\n\r\nProfile loader: index overflow\r\n"},
        {"record header missing", withPrograms({{1, pattern(4, 1)}}, 2).bytes(),
         "\r\nread the program header error\r\n"},
        // The room check comes before the read: nothing lands beyond the buffer.
        {"program over the room left", withPrograms({{1, pattern(10, 1)}, {2, pattern(kRoom - 9, 2)}}).bytes(),
         "checkpoint #3 - 1 - 2\r\n"},
        {"program bytes cut", cut(withPrograms({{1, pattern(40, 1)}}), 60 + 4 + 39),
         "\r\nProgram 1 - 40 bytes\r\ncheckpoint #3 - 0 - 1\r\ncheckpoint #3 - 0 - 2\r\ncheckpoint #3 - 0 - 3\r\n"},
    };
    TempDir dir;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        writeFile(dir.path("p.bin"), c.image);
        const Loaded r = load(dir.path("p.bin"));
        EXPECT_FALSE(r.ok);
        const std::string tail = c.ownLine + "\r\nCannot read profile file\r\n";
        ASSERT_GE(r.log.size(), tail.size()) << r.log;
        EXPECT_EQ(r.log.substr(r.log.size() - tail.size()), tail) << r.log;
        for (const char* other : {"checkpoint #4", "magic error", "version error", "crc error", "index overflow",
                                  "header error"})
            if (c.ownLine.find(other) == std::string::npos) {
                EXPECT_EQ(r.log.find(other), std::string::npos) << "logged " << other;
            }
    }
    EXPECT_EQ(load(dir.path("absent.bin")).log, "\r\nFile not found\r\n");
}

TEST(ProfileLoader, UnusableBuffersAndNoLog)
{
    TempDir dir;
    const std::string file = dir.path("p.bin"), absent = dir.path("absent");
    writeFile(file, ProfileImage{}.bytes());
    alignas(LoadedProfile) static uint8_t area[sizeof(LoadedProfile) + 16];
    EXPECT_EQ(logged([&] {
                  EXPECT_FALSE(check_profile(area, sizeof(LoadedProfile) - 1, nullptr, file.c_str()));
                  EXPECT_FALSE(check_profile(area + 1, sizeof(LoadedProfile) + 8, nullptr, file.c_str()));
                  EXPECT_FALSE(check_profile(nullptr, 8192, nullptr, file.c_str()));
              }),
              "");
    // Without an open log; the smallest usable buffer takes a header-only image.
    ASSERT_EQ(pfu_log, nullptr);
    EXPECT_TRUE(check_profile(area, sizeof(LoadedProfile), "Test", file.c_str()));
    EXPECT_FALSE(check_profile(area, sizeof(LoadedProfile), nullptr, absent.c_str()));
}

} // namespace
