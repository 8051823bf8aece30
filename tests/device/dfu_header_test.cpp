// The header checks the device tool makes before sending a DFU image.
#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "device/DfuHeader.h"
#include "device/ProfileImage.h"
#include "zentrova/integrity/dfu_image_writer.h"

using testimg::Bytes;
using zentrova::dfuHeaderAcceptable;

namespace {

const std::array<uint8_t, 32> kKey = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16,
                                      17, 18, 19, 20, 21, 22, 23, 24, 25, 26, 27, 28, 29, 30, 31, 32};

Bytes image(uint16_t version1 = 0x0123, uint16_t version2 = 0x0100, const char* tag = "ZENTROVA")
{
    return dfu_encode_image(kKey, tag, version1, version2, {{0x08004000, testimg::pattern(64, 5)}});
}

void fixCrc(Bytes& b) { testimg::putLe32(b, 0, testimg::zcrc(b.data() + 4, b.size() - 4)); }

bool accepted(const Bytes& b) { return dfuHeaderAcceptable(b.data(), b.size()); }

TEST(DfuHeader, WriterImagesPass)
{
    EXPECT_TRUE(accepted(image()));
    EXPECT_TRUE(accepted(image(0x9999)));
}

TEST(DfuHeader, EachCheckRefuses)
{
    struct Case {
        const char* name;
        Bytes bytes;
    };
    std::vector<Case> cases;
    {
        Bytes b = image();
        b[0] ^= 1;
        cases.push_back({"crc", b});
    }
    {
        Bytes b = image();
        b.back() ^= 0x80; // payload damage is caught by the CRC over the whole file
        cases.push_back({"payload", b});
    }
    cases.push_back({"tag", image(0x0123, 0x0100, "ZENTROVB")});
    {
        Bytes b = image();
        b.push_back(0); // trailing byte: length + 20 no longer equals the size
        fixCrc(b);
        cases.push_back({"length", b});
    }
    {
        Bytes b = image();
        testimg::putLe16(b, 12, 0x012A);
        fixCrc(b);
        cases.push_back({"version1 digit", b});
    }
    cases.push_back({"version2 0x0101", image(0x0123, 0x0101)});
    {
        Bytes b = image();
        testimg::putLe16(b, 14, 0x01A0);
        fixCrc(b);
        cases.push_back({"version2 digit", b});
    }
    for (const Case& c : cases)
        EXPECT_FALSE(accepted(c.bytes)) << c.name;
}

TEST(DfuHeader, FilesShorterThanTheHeaderAreRefusedWithoutReadingPastThem)
{
    // A 20-byte header-only image with a zero length passes the header checks.
    const Bytes full = image();
    Bytes header(full.begin(), full.begin() + 20);
    testimg::putLe32(header, 16, 0);
    fixCrc(header);
    EXPECT_TRUE(accepted(header));
    for (size_t size : {19u, 4u, 0u}) {
        Bytes shorter(header.begin(), header.begin() + size); // exact size: ASan sees any overread
        EXPECT_FALSE(dfuHeaderAcceptable(shorter.empty() ? nullptr : shorter.data(), shorter.size())) << size;
    }
}

} // namespace
