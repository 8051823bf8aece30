// The profile image loader on crafted images: its layout, its log trace and
// every way an image is refused.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "device/ProfileImage.h"
#include "device/TempDir.h"
#include "zentrova/device/PfuLog.h"
#include "zentrova/device/ProfileLoader.h"

using namespace testimg;

namespace {

constexpr unsigned long kToolBuffer = 8192; // what the device tool hands the loader
constexpr unsigned long kRoom = kToolBuffer - sizeof(LoadedProfile);

// Routes pfu_log into memory for one test.
class LogCapture {
public:
    LogCapture() { pfu_log = open_memstream(&data, &size); }
    ~LogCapture()
    {
        std::fclose(pfu_log);
        pfu_log = nullptr;
        std::free(data);
    }
    std::string text()
    {
        std::fflush(pfu_log);
        return std::string(data, size);
    }

private:
    char* data = nullptr;
    size_t size = 0;
};

struct Loaded {
    bool ok;
    std::string log;
};

class ProfileLoaderTest : public ::testing::Test {
protected:
    Loaded load(const Bytes& image, unsigned long bufferSize = kToolBuffer)
    {
        writeFile(dir.path("p.bin"), image);
        return loadPath(dir.path("p.bin"), bufferSize);
    }
    Loaded loadPath(const std::string& path, unsigned long bufferSize = kToolBuffer)
    {
        LogCapture log;
        buffer.assign(bufferSize / sizeof(uint64_t) + 1, 0xEEEEEEEEEEEEEEEEull);
        bool ok = check_profile(buffer.data(), bufferSize, nullptr, path.c_str());
        return {ok, log.text()};
    }
    const LoadedProfile& head() const { return *reinterpret_cast<const LoadedProfile*>(buffer.data()); }
    const uint8_t* body() const { return reinterpret_cast<const uint8_t*>(buffer.data()) + sizeof(LoadedProfile); }

    TempDir dir;
    std::vector<uint64_t> buffer; // 8-byte aligned, as malloc gives it
};

std::string opened(size_t size) { return "\r\nOpened. Size = " + std::to_string(size) + "\r\n"; }

std::string checkpoints(int i)
{
    std::string s;
    for (int step = 1; step <= 5; ++step) {
        s += "checkpoint #3 - " + std::to_string(i) + " - " + std::to_string(step) + "\r\n";
    }
    return s;
}

std::string record(int i, unsigned index, unsigned size)
{
    return "\r\nProgram " + std::to_string(index) + " - " + std::to_string(size) + " bytes\r\n" + checkpoints(i);
}

TEST_F(ProfileLoaderTest, HeaderOnlyImageLoadsEmpty)
{
    ProfileImage img;
    img.deadzone = 12;
    Loaded r = load(img.bytes());
    ASSERT_TRUE(r.ok);
    EXPECT_EQ(r.log, opened(60) + "\r\nprogram deadzone: 12\r\n\r\nprogram count: 0\r\ncheckpoint #4\r\ncheckpoint #5\r\n");
    EXPECT_EQ(head().ctrl_deadzone, 12);
    EXPECT_EQ(head().program_count, 0);
    for (const ProgramRef& ref : head().programs) {
        EXPECT_EQ(ref.data, nullptr);
        EXPECT_EQ(ref.size, 0);
    }
}

TEST_F(ProfileLoaderTest, ProgramsAreLaidOutBackToBackWithFullTrace)
{
    ProfileImage img;
    img.deadzone = 3;
    img.programs = {{7, pattern(10, 1)}, {0, pattern(1, 2)}, {80, pattern(300, 3)}};
    const Bytes bytes = img.bytes();
    Loaded r = load(bytes);
    ASSERT_TRUE(r.ok) << r.log;
    EXPECT_EQ(r.log, opened(bytes.size()) + "\r\nprogram deadzone: 3\r\n\r\nprogram count: 3\r\n" + record(0, 7, 10) +
                         record(1, 0, 1) + record(2, 80, 300) + "checkpoint #4\r\ncheckpoint #5\r\n");
    EXPECT_EQ(head().program_count, 3);
    const uint8_t* at = body();
    for (const Program& p : img.programs) {
        const ProgramRef& ref = head().programs[p.index];
        EXPECT_EQ(ref.data, at) << "program " << int(p.index);
        ASSERT_EQ(ref.size, p.code.size());
        EXPECT_EQ(Bytes(ref.data, ref.data + ref.size), p.code);
        at += ref.size;
    }
    int used = 0;
    for (const ProgramRef& ref : head().programs)
        used += ref.data != nullptr;
    EXPECT_EQ(used, 3);
}

TEST_F(ProfileLoaderTest, ExtraDataIsOnlyAWarning)
{
    ProfileImage img;
    img.programs = {{1, pattern(4, 9)}};
    img.trailing = {0xAA, 0xBB};
    Loaded r = load(img.bytes());
    ASSERT_TRUE(r.ok);
    EXPECT_NE(r.log.find(record(0, 1, 4) + "\r\nWARNING: profile file has extra data" + "checkpoint #4\r\n"),
              std::string::npos)
        << r.log;
    EXPECT_EQ(Bytes(head().programs[1].data, head().programs[1].data + 4), pattern(4, 9));
}

TEST_F(ProfileLoaderTest, LaterRecordOfTheSameIndexWins)
{
    ProfileImage img;
    img.programs = {{5, pattern(6, 1)}, {5, pattern(3, 50)}};
    Loaded r = load(img.bytes());
    ASSERT_TRUE(r.ok) << r.log;
    const ProgramRef& ref = head().programs[5];
    EXPECT_EQ(ref.data, body() + 6);
    EXPECT_EQ(Bytes(ref.data, ref.data + ref.size), pattern(3, 50));
    // The replaced program's bytes stay where they were.
    EXPECT_EQ(Bytes(body(), body() + 6), pattern(6, 1));
}

TEST_F(ProfileLoaderTest, ProgramExactlyFillingTheRoomLoads)
{
    ProfileImage img;
    img.programs = {{2, pattern(kRoom, 4)}};
    Loaded r = load(img.bytes());
    ASSERT_TRUE(r.ok) << r.log;
    EXPECT_EQ(head().programs[2].size, kRoom);
}

struct Refusal {
    const char* name;
    ProfileImage image;
    std::string ownLine; // the step's own message, or empty
    size_t truncateTo = 0; // cut the written file to this size (0: keep)
};

ProfileImage withPrograms(std::vector<Program> programs, int count = -1)
{
    ProfileImage img;
    img.programs = std::move(programs);
    img.programCount = count;
    return img;
}

TEST_F(ProfileLoaderTest, RefusedImagesLogTheirStepAndCannotRead)
{
    ProfileImage badMagic;
    badMagic.magic = "ZVMQ";
    ProfileImage badVersion;
    badVersion.version = 1;
    ProfileImage badCrc = withPrograms({{1, pattern(8, 1)}});
    badCrc.badCrc = true;
    // The CRC is checked over the first 8192 body bytes only, so a body one
    // byte larger than the tool's buffer can never pass.
    ProfileImage oneOver;
    oneOver.trailing = pattern(kToolBuffer + 1, 3);
    ProfileImage tooLarge = withPrograms({{1, pattern(10, 1)}, {2, pattern(kRoom - 9, 2)}});

    const std::vector<Refusal> cases = {
        {"short header", ProfileImage{}, "", 59},
        {"magic", badMagic, "\r\nmagic error\r\n"},
        {"version", badVersion, "\r\nversion error\r\n"},
        {"crc", badCrc, "\r\ncrc error\r\n"},
        {"body over buffer", oneOver, "\r\ncrc error\r\n"},
        {"index 81", withPrograms({{81, pattern(4, 1)}}), "\r\nProgram 81 - 4 bytes\r\n\r\nProfile loader: index overflow\r\n"},
        {"index 255", withPrograms({{3, pattern(2, 1)}, {255, pattern(1, 1)}}), "\r\nProfile loader: index overflow\r\n"},
        {"record header missing", withPrograms({{1, pattern(4, 1)}}, 2), "\r\nread the program header error\r\n"},
        {"record header cut", withPrograms({{1, pattern(4, 1)}, {2, pattern(4, 1)}}), "\r\nread the program header error\r\n", 60 + 8 + 2},
        {"program larger than the room left", tooLarge, ""},
        {"program bytes cut", withPrograms({{1, pattern(40, 1)}}), "", 60 + 4 + 39},
    };
    for (const Refusal& c : cases) {
        Bytes bytes = c.image.bytes();
        if (c.truncateTo) {
            bytes.resize(c.truncateTo);
            // Keep the CRC right for what is left, so the cut is what fails.
            if (bytes.size() >= 60)
                putLe32(bytes, 0, zcrc(bytes.data() + 4, bytes.size() - 4));
        }
        Loaded r = load(bytes);
        EXPECT_FALSE(r.ok) << c.name;
        const std::string tail = c.ownLine + "\r\nCannot read profile file\r\n";
        ASSERT_GE(r.log.size(), tail.size()) << c.name;
        EXPECT_EQ(r.log.substr(r.log.size() - tail.size()), tail) << c.name << ":\n" << r.log;
        EXPECT_EQ(r.log.find("checkpoint #4"), std::string::npos) << c.name;
        for (const char* other : {"magic error", "version error", "crc error", "index overflow", "header error"})
            if (c.ownLine.find(other) == std::string::npos) {
                EXPECT_EQ(r.log.find(other), std::string::npos) << c.name << " logged " << other;
            }
    }
}

TEST_F(ProfileLoaderTest, RoomCheckComesBeforeTheRead)
{
    // The program that does not fit still gets its table entry and the first
    // two checkpoints, but nothing is read into the buffer beyond the room.
    ProfileImage img = withPrograms({{1, pattern(kRoom + 1, 1)}});
    Loaded r = load(img.bytes());
    EXPECT_FALSE(r.ok);
    EXPECT_NE(r.log.find("checkpoint #3 - 0 - 2\r\n\r\nCannot read profile file\r\n"), std::string::npos) << r.log;
}

TEST_F(ProfileLoaderTest, MissingFileIsNotFound)
{
    Loaded r = loadPath(dir.path("absent.bin"));
    EXPECT_FALSE(r.ok);
    EXPECT_EQ(r.log, "\r\nFile not found\r\n");
}

TEST_F(ProfileLoaderTest, UnusableBufferIsRefusedSilently)
{
    writeFile(dir.path("p.bin"), ProfileImage{}.bytes());
    LogCapture log;
    alignas(LoadedProfile) static uint8_t area[sizeof(LoadedProfile) + 16];
    EXPECT_FALSE(check_profile(area, sizeof(LoadedProfile) - 1, nullptr, dir.path("p.bin").c_str()));
    EXPECT_FALSE(check_profile(area + 1, sizeof(LoadedProfile) + 8, nullptr, dir.path("p.bin").c_str()));
    EXPECT_FALSE(check_profile(nullptr, 8192, nullptr, dir.path("p.bin").c_str()));
    EXPECT_EQ(log.text(), "");
    // The smallest usable buffer takes a header-only image.
    EXPECT_TRUE(check_profile(area, sizeof(LoadedProfile), "Test", dir.path("p.bin").c_str()));
}

TEST_F(ProfileLoaderTest, WorksWithoutAnOpenLog)
{
    ProfileImage img = withPrograms({{1, pattern(4, 1)}});
    writeFile(dir.path("p.bin"), img.bytes());
    ASSERT_EQ(pfu_log, nullptr);
    std::vector<uint64_t> area(kToolBuffer / 8);
    EXPECT_TRUE(check_profile(area.data(), kToolBuffer, nullptr, dir.path("p.bin").c_str()));
    EXPECT_FALSE(check_profile(area.data(), kToolBuffer, nullptr, dir.path("absent").c_str()));
}

} // namespace

// Images as the generator writes them for the example profiles.
#include "zentrova/profile/pfg.h"

namespace {

struct Example {
    const char* file;
    int rightHand;
    const char* profile;
};

TEST(ProfileLoaderOnGeneratedImages, ExampleProfilesLoadAsWritten)
{
    const std::vector<Example> examples = {
        {"office.json", 1, "Work"},   {"shooter.json", 0, "Default"}, {"shooter.json", 1, "Sniper"},
        {"mmo.json", 0, "Raid"},      {"mmo.json", 1, "Solo"},
    };
    TempDir dir(true); // the generator writes pfg.log into the current directory
    for (const Example& e : examples) {
        const std::string json = std::string(ZENTROVA_SOURCE_DIR) + "/examples/profiles/" + e.file;
        const std::string out = dir.path("image.bin");
        ASSERT_EQ(doPfg(json.c_str(), e.rightHand, e.profile, out.c_str()), 0);
        const Bytes file = readFile(out);
        ASSERT_GT(file.size(), 60u) << e.file << " " << e.profile;

        std::vector<uint64_t> buffer(kToolBuffer / sizeof(uint64_t));
        LogCapture log;
        ASSERT_TRUE(check_profile(buffer.data(), kToolBuffer, e.profile, out.c_str()))
            << e.file << " " << e.profile << ":\n" << log.text();
        EXPECT_EQ(log.text().find("WARNING"), std::string::npos);

        // Walk the file's records and compare each with its reference.
        const auto& head = *reinterpret_cast<const LoadedProfile*>(buffer.data());
        EXPECT_EQ(head.ctrl_deadzone, file[40] | (file[41] << 8));
        ASSERT_EQ(head.program_count, file[56] | (file[57] << 8));
        std::vector<Bytes> latest(81);
        size_t at = 60;
        for (int i = 0; i < head.program_count; ++i) {
            const size_t size = file[at + 2] | (file[at + 3] << 8);
            latest.at(file[at]) = Bytes(file.begin() + at + 4, file.begin() + at + 4 + size);
            at += 4 + size;
        }
        EXPECT_EQ(at, file.size());
        for (int index = 0; index <= 80; ++index) {
            const ProgramRef& ref = head.programs[index];
            EXPECT_EQ(ref.size, latest[index].size()) << e.profile << " program " << index;
            if (ref.data) {
                EXPECT_EQ(Bytes(ref.data, ref.data + ref.size), latest[index]) << e.profile << " program " << index;
            }
        }
    }
}

} // namespace
