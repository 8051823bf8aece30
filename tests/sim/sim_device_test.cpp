// The testbed's generic path for other simulated devices, through plain
// libusb: standard descriptors over endpoint 0, bulk transfers answered at
// once, and interrupt transfers that a model completes later or never.
#include <libusb.h>

#include <atomic>
#include <chrono>
#include <mutex>
#include <thread>

#include "sim/StandardDevice.h"
#include "usb/SimFixture.h"

using namespace zentrova::sim;

namespace {

const std::vector<uint8_t> CONFIG = {
    0x09, 0x02, 0x27, 0x00, 0x01, 0x01, 0x00, 0x80, 0x32, // configuration, 39 bytes
    0x09, 0x04, 0x00, 0x00, 0x03, 0xFF, 0x00, 0x00, 0x00, // vendor interface, three endpoints
    0x07, 0x05, 0x01, 0x02, 0x40, 0x00, 0x00,             // bulk OUT 0x01
    0x07, 0x05, 0x82, 0x02, 0x40, 0x00, 0x00,             // bulk IN 0x82
    0x07, 0x05, 0x83, 0x03, 0x08, 0x00, 0x04,             // interrupt IN 0x83
};

// Bulk OUT data comes back on bulk IN; interrupt IN transfers wait for post().
class EchoDevice : public StandardDevice {
public:
    EchoDevice() : StandardDevice(descriptor(), {CONFIG}, {{1, "Echo"}}) {}

    static std::vector<uint8_t> descriptor()
    {
        DeviceDescriptorFields f;
        f.idVendor = 0x1209;
        f.idProduct = 0x0001;
        f.bcdDevice = 0x0100;
        f.iProduct = 1;
        return deviceDescriptorBytes(f);
    }

    void transfer(const std::shared_ptr<Transfer>& t) override
    {
        std::lock_guard<std::mutex> lock(mutex);
        if (t->endpoint() == 0x01) {
            echo = t->outData();
            t->complete(0);
        } else if (t->endpoint() == 0x82) {
            t->complete(0, echo);
        } else if (t->endpoint() == 0x83) {
            pending = t;
        } else {
            t->complete(-32); // stall
        }
    }
    void discarded(const Transfer& t) override
    {
        std::lock_guard<std::mutex> lock(mutex);
        if (&t == pending.get())
            ++discards;
    }
    // Completes the waiting interrupt transfer, from any thread.
    bool post(std::vector<uint8_t> report)
    {
        std::shared_ptr<Transfer> t;
        {
            std::lock_guard<std::mutex> lock(mutex);
            t = pending;
        }
        return t && t->complete(0, std::move(report));
    }
    bool waiting()
    {
        std::lock_guard<std::mutex> lock(mutex);
        return pending && !pending->finished();
    }

    std::mutex mutex;
    std::vector<uint8_t> echo;
    std::shared_ptr<Transfer> pending;
    int discards = 0;
};

class SimDeviceTest : public SimTest {
protected:
    void SetUp() override
    {
        SimTest::SetUp();
        if (HasFatalFailure())
            return;
        device = std::make_shared<EchoDevice>();
        testbed->addDevice(device);
        ASSERT_EQ(libusb_init(&context), 0);
        handle = libusb_open_device_with_vid_pid(context, 0x1209, 0x0001);
        ASSERT_NE(handle, nullptr);
        ASSERT_EQ(libusb_claim_interface(handle, 0), 0);
    }
    void TearDown() override
    {
        if (handle) {
            libusb_release_interface(handle, 0);
            libusb_close(handle);
        }
        if (context)
            libusb_exit(context);
        SimTest::TearDown();
    }

    std::shared_ptr<EchoDevice> device;
    libusb_context* context = nullptr;
    libusb_device_handle* handle = nullptr;
};

} // namespace

TEST_F(SimDeviceTest, DescriptorsComeOverEndpointZero)
{
    unsigned char buffer[256] = {};
    ASSERT_EQ(libusb_get_descriptor(handle, LIBUSB_DT_DEVICE, 0, buffer, sizeof buffer), 18);
    EXPECT_EQ(std::vector<uint8_t>(buffer, buffer + 18), EchoDevice::descriptor());
    ASSERT_EQ(libusb_get_descriptor(handle, LIBUSB_DT_CONFIG, 0, buffer, sizeof buffer), int(CONFIG.size()));
    EXPECT_EQ(std::vector<uint8_t>(buffer, buffer + CONFIG.size()), CONFIG);
    // wLength cuts the answer.
    EXPECT_EQ(libusb_get_descriptor(handle, LIBUSB_DT_CONFIG, 0, buffer, 9), 9);
    EXPECT_EQ(libusb_get_descriptor(handle, LIBUSB_DT_CONFIG, 1, buffer, sizeof buffer), LIBUSB_ERROR_PIPE);
    EXPECT_EQ(libusb_get_string_descriptor_ascii(handle, 1, buffer, sizeof buffer), 4);
    EXPECT_STREQ(reinterpret_cast<char*>(buffer), "Echo");
}

TEST_F(SimDeviceTest, BulkDataGoesOutAndComesBack)
{
    std::vector<unsigned char> data(3000);
    for (size_t i = 0; i < data.size(); ++i)
        data[i] = static_cast<unsigned char>(i * 13);
    int done = 0;
    ASSERT_EQ(libusb_bulk_transfer(handle, 0x01, data.data(), int(data.size()), &done, 1000), 0);
    EXPECT_EQ(done, 3000);
    std::vector<unsigned char> back(4096, 0xEE);
    ASSERT_EQ(libusb_bulk_transfer(handle, 0x82, back.data(), int(back.size()), &done, 1000), 0);
    ASSERT_EQ(done, 3000);
    EXPECT_TRUE(std::equal(data.begin(), data.end(), back.begin()));
    EXPECT_EQ(back[3000], 0xEE); // nothing written past the answer

    // A shorter host buffer takes the first bytes only.
    ASSERT_EQ(libusb_bulk_transfer(handle, 0x82, back.data(), 10, &done, 1000), 0);
    EXPECT_EQ(done, 10);
    EXPECT_EQ(libusb_bulk_transfer(handle, 0x04, data.data(), 1, &done, 1000), LIBUSB_ERROR_PIPE);
}

TEST_F(SimDeviceTest, InterruptDataArrivesLaterFromAnotherThread)
{
    std::thread poster([this] {
        while (!device->waiting())
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
        std::this_thread::sleep_for(std::chrono::milliseconds(30));
        device->post({1, 2, 3, 4, 5, 6, 7, 8});
    });
    unsigned char report[8] = {};
    int done = 0;
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(libusb_interrupt_transfer(handle, 0x83, report, sizeof report, &done, 3000), 0);
    poster.join();
    EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(30));
    EXPECT_EQ(done, 8);
    EXPECT_EQ(report[7], 8);
}

TEST_F(SimDeviceTest, AnUnansweredInterruptTransferTimesOutAndIsDiscarded)
{
    unsigned char report[8] = {};
    int done = -1;
    EXPECT_EQ(libusb_interrupt_transfer(handle, 0x83, report, sizeof report, &done, 100), LIBUSB_ERROR_TIMEOUT);
    EXPECT_EQ(done, 0);
    {
        std::lock_guard<std::mutex> lock(device->mutex);
        EXPECT_EQ(device->discards, 1);
    }
    EXPECT_FALSE(device->post({9})); // already finished by the discard
}

TEST_F(SimDeviceTest, UnplugFinishesWaitingTransfers)
{
    std::thread unplugger([this] {
        while (!device->waiting())
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
        testbed->unplug(*device);
    });
    unsigned char report[8] = {};
    int done = 0;
    EXPECT_EQ(libusb_interrupt_transfer(handle, 0x83, report, sizeof report, &done, 3000), LIBUSB_ERROR_NO_DEVICE);
    unplugger.join();
    EXPECT_EQ(libusb_bulk_transfer(handle, 0x01, report, 1, &done, 1000), LIBUSB_ERROR_NO_DEVICE);
}
