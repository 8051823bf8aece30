// Profile and firmware uploads: chunking, the device's size limit and the two
// log orders. Faults in the middle of an upload: the fault matrix.
#include <algorithm>
#include <cstring>

#include "device_protocol/ProtocolFixture.h"

using zentrova::sim::MouseConfig;
using zentrova::sim::MouseFaults;

namespace {

// Which upload, and the requests that tell the two apart.
struct Kind {
    const char* name;
    uint8_t start, upload, end;
    uint16_t startIndex;
    uint32_t limit;
    const char* tooLarge;
    const char* tooLargeLog;
};
const Kind PROFILE{"profile", ZENTROVA_CTRL_REQUEST_PROFILE_START, ZENTROVA_CTRL_REQUEST_PROFILE_UPLOAD,
                   ZENTROVA_CTRL_REQUEST_PROFILE_END, 2, 3 * 4096, "profile too large",
                   "uploadProfile() Profile image too large\r\n"};
const Kind FIRMWARE{"firmware", ZENTROVA_CTRL_REQUEST_DFU_START, ZENTROVA_CTRL_REQUEST_DFU_UPLOAD,
                    ZENTROVA_CTRL_REQUEST_DFU_END, 0, 3 * 4096 + 1, "DFU image too large",
                    "updateFirmware() DFU image too large\r\n"};
void PrintTo(const Kind& k, std::ostream* os) { *os << k.name; }

} // namespace

class UploadTest : public ProtocolTest, public ::testing::WithParamInterface<Kind> {
protected:
    MouseConfig mouseConfig() override
    {
        MouseConfig c;
        c.slotLimits = {1000, PROFILE.limit, 4096};
        c.dfuMaxSize = FIRMWARE.limit;
        return c;
    }
    bool profile() const { return GetParam().start == PROFILE.start; }
    void send(const std::vector<uint8_t>& image)
    {
        if (profile())
            driver->uploadProfile(2, image.data(), image.size());
        else
            driver->updateFirmware(image.data(), image.size());
    }
    std::vector<uint8_t> stored() // {0xEE}: nothing stored
    {
        const auto s = mouse->state();
        if (profile())
            return s.slots.count(2) ? s.slots.at(2) : std::vector<uint8_t>{0xEE};
        return s.firmwareReceived ? s.firmware : std::vector<uint8_t>{0xEE};
    }
    std::vector<Req> started() const
    {
        return {reset(), status(), in(GetParam().start, GetParam().startIndex, 4), status()};
    }
};

TEST_P(UploadTest, ChunksOfAtMost4096BytesBetweenStartAndEnd)
{
    const Kind& k = GetParam();
    const struct {
        size_t size;
        std::vector<size_t> chunks;
    } table[] = {
        {0, {}}, {1, {1}}, {4096, {4096}}, {4097, {4096, 1}}, {3 * 4096, {4096, 4096, 4096}},
    };
    for (const auto& row : table) {
        SCOPED_TRACE(::testing::Message() << k.name << " of " << row.size << " bytes");
        mouse->clearTranscript();
        const std::vector<uint8_t> image = pattern(row.size);
        send(image);

        std::vector<Req> expected = started();
        auto from = image.begin();
        for (size_t chunk : row.chunks) {
            expected.push_back(out(k.upload, 0, std::vector<uint8_t>(from, from + chunk)));
            expected.push_back(status());
            from += chunk;
        }
        expected.push_back(out(k.end));
        expected.push_back(status());
        EXPECT_EQ(requests(), expected);
        EXPECT_EQ(stored(), image);
    }
}

TEST_P(UploadTest, TheAnnouncedMaximumIsAcceptedOneByteMoreIsNot)
{
    const Kind& k = GetParam();
    send(pattern(k.limit));
    EXPECT_EQ(stored().size(), k.limit);

    mouse->clearTranscript();
    EXPECT_EQ(failureOf<ZentrovaException>([&] { send(pattern(k.limit + 1)); }), k.tooLarge);
    EXPECT_EQ(requests(), started()); // the start request was answered; no chunk and no end followed
    const std::string log = driverLog();
    EXPECT_EQ(log.substr(log.size() - std::min(log.size(), std::strlen(k.tooLargeLog))), k.tooLargeLog);
    EXPECT_EQ(stored().size(), k.limit); // the earlier image stays
}

INSTANTIATE_TEST_SUITE_P(Both, UploadTest, ::testing::Values(PROFILE, FIRMWARE),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(ProtocolTest, ProfileUploadLogsBeforeEachTransferFirmwareUpdateAfter)
{
    const std::vector<uint8_t> image = pattern(4097);
    driver->uploadProfile(1, image.data(), image.size());
    driver->updateFirmware(image.data(), image.size());
    char start[160];
    std::snprintf(start, sizeof start,
                  "updateFirmware() ZENTROVA_CTRL_REQUEST_DFU_START %p, 4097(max size=262144)\r\n",
                  static_cast<const void*>(image.data()));
    EXPECT_EQ(driverLog(), std::string("uploadProfile() ZENTROVA_CTRL_REQUEST_RESET\r\n"
                                       "uploadProfile() ZENTROVA_CTRL_REQUEST_PROFILE_START\r\n"
                                       "uploadProfile() ZENTROVA_CTRL_REQUEST_PROFILE_UPLOAD\r\n"
                                       "uploadProfile() ZENTROVA_CTRL_REQUEST_PROFILE_UPLOAD\r\n"
                                       "uploadProfile() ZENTROVA_CTRL_REQUEST_PROFILE_END\r\n"
                                       "updateFirmware() ZENTROVA_CTRL_REQUEST_RESET\r\n") +
                               start +
                               "updateFirmware() ZENTROVA_CTRL_REQUEST_DFU_UPLOAD\r\n"
                               "updateFirmware() ZENTROVA_CTRL_REQUEST_DFU_UPLOAD\r\n"
                               "updateFirmware() ZENTROVA_CTRL_REQUEST_DFU_END\r\n");

    // A stalled start request shows the difference.
    const std::string before = driverLog();
    inject(&MouseFaults::stallAt, 3);
    EXPECT_THROW(driver->uploadProfile(1, image.data(), image.size()), UsbException);
    inject(&MouseFaults::stallAt, 3);
    EXPECT_THROW(driver->updateFirmware(image.data(), image.size()), UsbException);
    EXPECT_EQ(driverLog().substr(before.size()), "uploadProfile() ZENTROVA_CTRL_REQUEST_RESET\r\n"
                                                 "uploadProfile() ZENTROVA_CTRL_REQUEST_PROFILE_START\r\n"
                                                 "updateFirmware() ZENTROVA_CTRL_REQUEST_RESET\r\n");
}
