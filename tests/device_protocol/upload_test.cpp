// Profile and firmware uploads: chunking, the device's size limit, the two
// log orders, and an unplug in the middle.
#include <cinttypes>
#include <numeric>

#include "device_protocol/ProtocolFixture.h"

using zentrova::sim::MouseConfig;
using zentrova::sim::MouseFaults;

namespace {

std::vector<uint8_t> pattern(size_t size)
{
    std::vector<uint8_t> v(size);
    for (size_t i = 0; i < size; ++i)
        v[i] = static_cast<uint8_t>(i * 7 + i / 4096);
    return v;
}

constexpr uint32_t SLOT_LIMIT = 3 * 4096;
constexpr uint32_t DFU_LIMIT = 3 * 4096 + 1;

// Which upload, and the requests that tell the two apart.
struct Kind {
    const char* name;
    uint8_t start, upload, end;
    uint16_t startIndex;
    uint32_t limit;
    const char* tooLarge;
};
const Kind PROFILE{"profile", ZENTROVA_CTRL_REQUEST_PROFILE_START, ZENTROVA_CTRL_REQUEST_PROFILE_UPLOAD,
                   ZENTROVA_CTRL_REQUEST_PROFILE_END, 2, SLOT_LIMIT, "profile too large"};
const Kind FIRMWARE{"firmware", ZENTROVA_CTRL_REQUEST_DFU_START, ZENTROVA_CTRL_REQUEST_DFU_UPLOAD,
                    ZENTROVA_CTRL_REQUEST_DFU_END, 0, DFU_LIMIT, "DFU image too large"};

} // namespace

class UploadTest : public ProtocolTest, public ::testing::WithParamInterface<Kind> {
protected:
    MouseConfig mouseConfig() override
    {
        MouseConfig c;
        c.slotLimits = {1000, SLOT_LIMIT, 4096};
        c.dfuMaxSize = DFU_LIMIT;
        return c;
    }
    void send(const std::vector<uint8_t>& image)
    {
        if (GetParam().start == PROFILE.start)
            driver->uploadProfile(2, image.data(), image.size());
        else
            driver->updateFirmware(image.data(), image.size());
    }
    std::vector<uint8_t> stored()
    {
        const auto s = mouse->state();
        if (GetParam().start == PROFILE.start)
            return s.slots.count(2) ? s.slots.at(2) : std::vector<uint8_t>{0xEE};
        return s.firmwareReceived ? s.firmware : std::vector<uint8_t>{0xEE};
    }
};

TEST_P(UploadTest, ChunksOfAtMost4096BytesBetweenStartAndEnd)
{
    const Kind& k = GetParam();
    const struct {
        size_t size;
        std::vector<size_t> chunks;
    } table[] = {
        {0, {}},
        {1, {1}},
        {4096, {4096}},
        {4097, {4096, 1}},
        {3 * 4096, {4096, 4096, 4096}},
    };
    for (const auto& row : table) {
        mouse->clearTranscript();
        const std::vector<uint8_t> image = pattern(row.size);
        send(image);

        std::vector<Req> expected = {reset(), status(), in(k.start, k.startIndex, 4), status()};
        size_t offset = 0;
        for (size_t chunk : row.chunks) {
            expected.push_back(out(k.upload, 0, std::vector<uint8_t>(image.begin() + offset, image.begin() + offset + chunk)));
            expected.push_back(status());
            offset += chunk;
        }
        expected.push_back(out(k.end));
        expected.push_back(status());
        EXPECT_EQ(requests(), expected) << k.name << " of " << row.size << " bytes";
        EXPECT_EQ(stored(), image) << k.name << " of " << row.size << " bytes";
    }
}

TEST_P(UploadTest, TheAnnouncedMaximumIsAcceptedOneByteMoreIsNot)
{
    const Kind& k = GetParam();
    send(pattern(k.limit));
    EXPECT_EQ(stored().size(), k.limit);

    mouse->clearTranscript();
    try {
        send(pattern(k.limit + 1));
        FAIL() << "no exception";
    } catch (const ZentrovaException& e) {
        EXPECT_STREQ(e.what(), k.tooLarge);
    }
    // The start request was answered; no chunk and no end followed.
    EXPECT_EQ(requests(), (std::vector<Req>{reset(), status(), in(k.start, k.startIndex, 4), status()}));
    EXPECT_EQ(stored().size(), k.limit); // the earlier image stays
}

TEST_P(UploadTest, EveryHandshakeIsPolledUntilTheDeviceIsReady)
{
    MouseFaults f;
    f.busyPolls = 2;
    mouse->setFaults(f);
    const std::vector<uint8_t> image = pattern(2 * 4096 + 5);
    send(image);
    // reset, start, three chunks, end: six handshakes of three polls each
    EXPECT_EQ(statusPolls(), 18u);
    EXPECT_EQ(stored(), image);
}

TEST_P(UploadTest, UnplugInTheMiddleReportsNoDevice)
{
    MouseFaults f;
    f.unplugAt = 7; // reset, status, start, status, chunk, status, chunk
    mouse->setFaults(f);
    try {
        send(pattern(3 * 4096));
        FAIL() << "no exception";
    } catch (const UsbException& e) {
        EXPECT_STREQ(e.what(), "no such device (it may have been disconnected)");
    }
    EXPECT_EQ(requests().size(), 7u);
    EXPECT_EQ(stored(), std::vector<uint8_t>{0xEE}); // nothing stored
    EXPECT_THROW(send(pattern(10)), UsbException);
}

TEST_P(UploadTest, StatusErrorStopsTheUpload)
{
    MouseFaults f;
    f.statusErrorAfter = 5; // after the first chunk
    mouse->setFaults(f);
    try {
        send(pattern(2 * 4096));
        FAIL() << "no exception";
    } catch (const ZentrovaException& e) {
        EXPECT_STREQ(e.what(), "communication error");
    }
    EXPECT_EQ(requests().size(), 6u);
    EXPECT_EQ(stored(), std::vector<uint8_t>{0xEE});
}

INSTANTIATE_TEST_SUITE_P(Both, UploadTest, ::testing::Values(PROFILE, FIRMWARE),
                         [](const auto& info) { return std::string(info.param.name); });

// --- the two log orders -------------------------------------------------------

TEST_F(ProtocolTest, ProfileUploadLogsEachRequestBeforeItsTransfer)
{
    const std::vector<uint8_t> image = pattern(4097);
    driver->uploadProfile(1, image.data(), image.size());
    EXPECT_EQ(driverLog(),
              "uploadProfile() ZENTROVA_CTRL_REQUEST_RESET\r\n"
              "uploadProfile() ZENTROVA_CTRL_REQUEST_PROFILE_START\r\n"
              "uploadProfile() ZENTROVA_CTRL_REQUEST_PROFILE_UPLOAD\r\n"
              "uploadProfile() ZENTROVA_CTRL_REQUEST_PROFILE_UPLOAD\r\n"
              "uploadProfile() ZENTROVA_CTRL_REQUEST_PROFILE_END\r\n");
}

TEST_F(ProtocolTest, FirmwareUpdateLogsEachRequestAfterItsTransfer)
{
    const std::vector<uint8_t> image = pattern(4097);
    driver->updateFirmware(image.data(), image.size());
    char start[160];
    std::snprintf(start, sizeof start,
                  "updateFirmware() ZENTROVA_CTRL_REQUEST_DFU_START %p, 4097(max size=262144)\r\n",
                  static_cast<const void*>(image.data()));
    EXPECT_EQ(driverLog(), std::string("updateFirmware() ZENTROVA_CTRL_REQUEST_RESET\r\n") + start +
                               "updateFirmware() ZENTROVA_CTRL_REQUEST_DFU_UPLOAD\r\n"
                               "updateFirmware() ZENTROVA_CTRL_REQUEST_DFU_UPLOAD\r\n"
                               "updateFirmware() ZENTROVA_CTRL_REQUEST_DFU_END\r\n");
}

TEST_F(ProtocolTest, AStalledStartRequestShowsTheLogOrder)
{
    MouseFaults f;
    f.stallAt = 3; // the start request
    mouse->setFaults(f);
    const std::vector<uint8_t> image = pattern(100);
    EXPECT_THROW(driver->uploadProfile(1, image.data(), image.size()), UsbException);
    EXPECT_EQ(driverLog(),
              "uploadProfile() ZENTROVA_CTRL_REQUEST_RESET\r\n"
              "uploadProfile() ZENTROVA_CTRL_REQUEST_PROFILE_START\r\n");

    mouse->clearTranscript();
    mouse->setFaults(f);
    const std::string before = driverLog();
    EXPECT_THROW(driver->updateFirmware(image.data(), image.size()), UsbException);
    EXPECT_EQ(driverLog().substr(before.size()), "updateFirmware() ZENTROVA_CTRL_REQUEST_RESET\r\n");
}

TEST_F(ProtocolTest, TooLargeImagesAreLogged)
{
    const std::vector<uint8_t> image = pattern(64 * 1024 + 1);
    EXPECT_THROW(driver->uploadProfile(1, image.data(), image.size()), ZentrovaException);
    EXPECT_NE(driverLog().find("uploadProfile() Profile image too large\r\n"), std::string::npos);
    const std::vector<uint8_t> firmware = pattern(256 * 1024 + 1);
    EXPECT_THROW(driver->updateFirmware(firmware.data(), firmware.size()), ZentrovaException);
    EXPECT_NE(driverLog().find("updateFirmware() DFU image too large\r\n"), std::string::npos);
}
