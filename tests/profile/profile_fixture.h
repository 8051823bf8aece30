// Shared helpers of the profile compiler tests: byte strings as hex, a
// private working directory (pfg.log is written to the current directory)
// and the generator's records and log in memory.
#ifndef ZENTROVA_TESTS_PROFILE_PROFILE_FIXTURE_H
#define ZENTROVA_TESTS_PROFILE_PROFILE_FIXTURE_H

#include <cstdio>
#include <cstdlib>
#include <sstream>

#include <gtest/gtest.h>

#include "support/TempDir.h"
#include "profile/action_params.h"
#include "profile/pfg_state.h"
#include "zentrova/profile/ProfileImage.h"

/// "06 00 02 00" -> bytes.
inline std::string hex(const std::string& text)
{
    std::istringstream in(text);
    std::string out, byte;
    while (in >> byte)
        out += static_cast<char>(std::stoul(byte, nullptr, 16));
    return out;
}

/// Bytes -> "06 00 02 00".
inline std::string toHex(const std::string& bytes)
{
    std::string out;
    char buf[4];
    for (unsigned char b : bytes) {
        std::snprintf(buf, sizeof buf, out.empty() ? "%02X" : " %02X", b);
        out += buf;
    }
    return out;
}

inline std::string readFile(const std::filesystem::path& path)
{
    std::ostringstream text;
    text << std::ifstream(path, std::ios::binary).rdbuf();
    return text.str();
}

inline void writeFile(const std::filesystem::path& path, const std::string& text)
{
    std::ofstream(path, std::ios::binary) << text;
}

/// `text` with the first `from` replaced by `to`.
inline std::string replaced(std::string text, const std::string& from, const std::string& to)
{
    const auto at = text.find(from);
    EXPECT_NE(at, std::string::npos) << from;
    return at == std::string::npos ? text : text.replace(at, from.size(), to);
}

inline void addMacro(int32_t id, std::vector<ST_MACRO_DATA> steps)
{
    ST_MACRO m{};
    m.macro_id = id;
    m.steps = std::move(steps);
    pfg_state.macros.push_back(std::move(m));
}

/// Each test in a fresh directory, the generator state as after loading the
/// library. Below doPfg, the log goes to memory; it and the records the
/// compiler appended to pfg_state.image are read back piece by piece.
class ProfileTest : public ::testing::Test {
protected:
    explicit ProfileTest(bool memoryLog = true) : memoryLog_(memoryLog) {}

    void SetUp() override
    {
        ASSERT_FALSE(dir_.dir.empty());
        pfg_state = pfg_state_t{};
        action_params = action_params_t{};
        if (memoryLog_)
            pfg_state.log = &log_;
    }

    void TearDown() override { pfg_state.log = nullptr; }

    /// Record bytes (as hex) and log text appended since the previous call.
    std::string newImage()
    {
        zentrova::ProfileImage added;
        added.programs.swap(pfg_state.image.programs);  // taken: the counters stay
        const std::vector<uint8_t> bytes = added.serialize();
        return toHex(std::string(bytes.begin() + zentrova::ProfileImage::kHeaderSize, bytes.end()));
    }
    std::string newLog()
    {
        std::string added = log_.text.substr(logSeen_);
        logSeen_ = log_.text.size();
        return added;
    }

private:
    struct MemoryLog : PfgLogSink {
        std::string text;
        void write(const char* data, size_t length) override { text.append(data, length); }
    };
    TempDir dir_{true};
    bool memoryLog_;
    MemoryLog log_;
    size_t logSeen_ = 0;
};

#endif
