// Shared helpers of the profile compiler tests: a generator with its image
// and log in memory, hex byte strings, and a private working directory.
#ifndef ZENTROVA_TESTS_PROFILE_GENERATOR_FIXTURE_H
#define ZENTROVA_TESTS_PROFILE_GENERATOR_FIXTURE_H

#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "profile/action_params.h"
#include "profile/pfg_state.h"

using Bytes = std::vector<uint8_t>;

/// "06 00 02 00 43 04" -> bytes.
inline Bytes hex(const std::string& text)
{
    Bytes out;
    std::istringstream in(text);
    std::string byte;
    while (in >> byte)
        out.push_back(static_cast<uint8_t>(std::stoul(byte, nullptr, 16)));
    return out;
}

inline std::string toHex(const Bytes& bytes)
{
    std::string out;
    char buf[4];
    for (uint8_t b : bytes) {
        std::snprintf(buf, sizeof buf, out.empty() ? "%02X" : " %02X", b);
        out += buf;
    }
    return out;
}

inline Bytes readBytes(const std::filesystem::path& path)
{
    std::ifstream in(path, std::ios::binary);
    return Bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

inline std::string readText(const std::filesystem::path& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

inline void writeText(const std::filesystem::path& path, const std::string& text)
{
    std::ofstream(path, std::ios::binary) << text;
}

/// Runs each test in a fresh directory of its own (pfg.log is written to the
/// current directory) with the generator state as after loading the library.
class TempDirTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        previous_ = std::filesystem::current_path();
        std::string pattern = (std::filesystem::temp_directory_path() / "zentrova-profile-XXXXXX").string();
        ASSERT_NE(mkdtemp(pattern.data()), nullptr);
        dir_ = pattern;
        std::filesystem::current_path(dir_);
        pfg_state.pfg_log = nullptr;
        pfg_state.pfg_out = nullptr;
        pfg_reset_generation();
        for (uint16_t& v : pfg_state.dpi_table)
            v = 0;
        pfg_state.freeform_dpi = 0;
        pfg_state.freeform_center_joystick_mode = false;
        action_params = action_params_t{};
    }

    void TearDown() override
    {
        std::filesystem::current_path(previous_);
        std::error_code ec;
        std::filesystem::remove_all(dir_, ec);
    }

    static std::filesystem::path example(const char* name)
    {
        return std::filesystem::path(ZENTROVA_SOURCE_DIR) / "examples" / "profiles" / name;
    }

    std::filesystem::path dir_;
    std::filesystem::path previous_;
};

/// The compiler with pfg_out and pfg_log in memory streams.
class GeneratorTest : public TempDirTest {
protected:
    void SetUp() override
    {
        TempDirTest::SetUp();
        pfg_state.pfg_out = open_memstream(&out_, &outSize_);
        pfg_state.pfg_log = open_memstream(&log_, &logSize_);
    }

    void TearDown() override
    {
        std::fclose(pfg_state.pfg_out);
        std::fclose(pfg_state.pfg_log);
        pfg_state.pfg_out = nullptr;
        pfg_state.pfg_log = nullptr;
        std::free(out_);
        std::free(log_);
        TempDirTest::TearDown();
    }

    /// Everything appended to the image so far.
    Bytes image()
    {
        std::fflush(pfg_state.pfg_out);
        return Bytes(out_, out_ + outSize_);
    }

    std::string log()
    {
        std::fflush(pfg_state.pfg_log);
        return std::string(log_, logSize_);
    }

private:
    char* out_ = nullptr;
    size_t outSize_ = 0;
    char* log_ = nullptr;
    size_t logSize_ = 0;
};

#endif
