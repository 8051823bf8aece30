// doPfu: one device operation per call, traced into "pfu.log". The steps are
// those of the C++ Session (MouseLink); this layer adds the legacy selection
// by mouse ID, the file handling and trace lines, and the result codes.
#include "zentrova/device/DeviceTool.h"

#include <cstdint>
#include <cstdio>
#include <memory>
#include <new>
#include <stdexcept>
#include <vector>

#include "device/LedEffect.h"
#include "device/MouseLink.h"
#include "device/PfuLog.h"
#include "device/ProfileCheck.h"
#include "zentrova/device/PfuLog.h"
#include "zentrova/profile/ProfileImage.h"
#include "zentrova/util/File.h"
#include "util/file_handle.h"

using zentrova::MouseLink;
using zentrova::pfuLog;

namespace {

constexpr unsigned long kCheckBufferSize = zentrova::ProfileImage::kLoaderBufferSize;

using FilePtr = zentrova::FileHandle;

struct Request {
    int rightHand;
    int operation;
    int value;
    const char* file;
    unsigned int color;
    int ledProgram;
    int brightness;
    int speed;
    int program;
};

enum class ReadOutcome { Read, OpenFailed, ReadFailed };

// Reads the file at `path` once into `bytes`: all of it, or, when it is
// longer than any image the loader takes, its first `cap` bytes with its
// size in `fileSize`.
ReadOutcome readImage(const char* path, size_t cap, std::vector<uint8_t>& bytes, uint64_t& fileSize)
{
    FilePtr file(path ? std::fopen(path, "rb") : nullptr);
    if (!file)
        return ReadOutcome::OpenFailed;
    unsigned char chunk[4096];
    size_t n;
    while (bytes.size() <= cap && (n = std::fread(chunk, 1, sizeof chunk, file.get())) > 0)
        bytes.insert(bytes.end(), chunk, chunk + n);
    if (std::ferror(file.get()))
        return ReadOutcome::ReadFailed;
    fileSize = bytes.size();
    if (bytes.size() > cap && std::fseek(file.get(), 0, SEEK_END) == 0) {
        const int64_t end = ftello(file.get());
        if (end > 0 && static_cast<uint64_t>(end) > fileSize)
            fileSize = static_cast<uint64_t>(end);
    }
    return ReadOutcome::Read;
}

// Operation 2. The file is read once; exactly the bytes that were validated
// are sent. The loader's steps trace into pfu.log as they did on the file.
int uploadProfile(MouseLink& link, const Request& r)
{
    pfuLog("\nProfile sepecified, upload profile to position %d\r\n", r.value);
    pfuLog("\nCheck if profile is valid or not\r\n");
    std::vector<uint8_t> image;
    uint64_t fileSize = 0;
    switch (readImage(r.file, zentrova::ProfileImage::kHeaderSize + kCheckBufferSize, image, fileSize)) {
    case ReadOutcome::OpenFailed:
        pfuLog("\nOpen profile file is failed");
        return ZENTROVA_PFU_PROFILE_UNREADABLE;
    case ReadOutcome::ReadFailed:
        pfuLog("\nRead profile file is failed");
        return ZENTROVA_PFU_PROFILE_UNREADABLE;
    case ReadOutcome::Read:
        break;
    }
    // uint64_t elements: the loader lays its head record out at the start.
    std::unique_ptr<uint64_t[]> check(new (std::nothrow) uint64_t[kCheckBufferSize / sizeof(uint64_t)]);
    if (!check) {
        pfuLog("\nmalloc profile buffer failed. tried to malloc %d bytes\r\n", static_cast<int>(kCheckBufferSize));
        return ZENTROVA_PFU_PROFILE_UNREADABLE;
    }
    // The loader's walk, for its trace; then the full checks it leaves out
    // (nothing behind the last record).
    if (!zentrova::checkProfileBytes(check.get(), kCheckBufferSize, image.data(), image.size(), fileSize) ||
        !zentrova::checkProfileImage(image)) {
        pfuLog("\nProfile is invalid\r\n");
        return ZENTROVA_PFU_PROFILE_INVALID;
    }
    pfuLog("\nProfile is valid\r\n");
    pfuLog("\nStart upload profile\r\n");
    link.sendProfile(static_cast<unsigned char>(r.value), image.data(), image.size(), nullptr);
    pfuLog("\nProfile is uploaded successfully\r\n");
    return ZENTROVA_PFU_PROFILE_UPLOADED;
}

// Operation 1. File failures throw FileException (result 82).
int updateFirmware(MouseLink& link, const Request& r)
{
    File file(r.file ? r.file : "", "rb");
    file.open();
    const int64_t size = file.getSize();
    std::vector<uint8_t> data(static_cast<size_t>(size > 0 ? size : 0));
    // One item of the whole size; a short read leaves zeros that the header
    // checks then refuse.
    if (!data.empty())
        file.read(data.data(), data.size(), 1);
    int result = ZENTROVA_PFU_FIRMWARE_INVALID;
    if (zentrova::firmwareImageAcceptable(data.data(), data.size())) {
        link.sendFirmware(data.data(), data.size(), nullptr);
        result = ZENTROVA_PFU_FIRMWARE_SENT;
    }
    file.close();
    return result;
}

// Operation 4.
int setLed(MouseLink& link, const Request& r)
{
    pfuLog("Led color is 0x%x(brg)\r\n", zentrova::ledLogColor(r.color));
    zentrova::LedEffect effect = zentrova::makeLedEffect(r.color, r.ledProgram, r.brightness, r.speed);
    if (effect.line)
        pfuLog("%s", effect.line);
    pfuLog("Led brightness is %d\r\n", r.brightness);
    pfuLog("Led speed is %d\r\n", r.speed);
    if (effect.known) {
        link.setLed(effect);
        if (effect.breathing)
            pfuLog("Led cycle is %d\r\n", effect.cycle);
    }
    return ZENTROVA_PFU_LED_DONE;
}

int perform(MouseLink& link, const Request& r)
{
    switch (r.operation) {
    case ZENTROVA_PFU_OP_CHECK:
        pfuLog("Just checking the mouse\r\n");
        return ZENTROVA_PFU_DONE;
    case ZENTROVA_PFU_OP_FIRMWARE:
        return updateFirmware(link, r);
    case ZENTROVA_PFU_OP_UPLOAD_PROFILE:
        return uploadProfile(link, r);
    case ZENTROVA_PFU_OP_LED:
        return setLed(link, r);
    case ZENTROVA_PFU_OP_RUN_PROGRAM:
        pfuLog("Simulate button program(%d) running\r\n", r.program);
        link.runProgram(static_cast<unsigned char>(r.program));
        return ZENTROVA_PFU_PROGRAM_STARTED;
    case ZENTROVA_PFU_OP_ACTIVATE_PROFILE:
        pfuLog("\nActivate the profile %d\r\n", r.value);
        link.activeProfile(static_cast<unsigned char>(r.value));
        return ZENTROVA_PFU_DONE;
    case ZENTROVA_PFU_OP_POLLING_RATE:
        pfuLog("\nSet polling rate%d\r\n", r.value);
        link.setPollingRate(static_cast<unsigned char>(r.value));
        return ZENTROVA_PFU_DONE;
    default:
        return ZENTROVA_PFU_NOT_DONE; // filtered out before the device is opened
    }
}

bool inByteRange(int v) { return v >= 0 && v <= 255; }

// Whether the operation's arguments are within their ranges: slots and rate
// codes 0..255, programs 0..64, LED brightness and speed 0..255. Nothing is
// cut down to its low bits.
bool argumentsInRange(const Request& r)
{
    switch (r.operation) {
    case ZENTROVA_PFU_OP_UPLOAD_PROFILE:
    case ZENTROVA_PFU_OP_ACTIVATE_PROFILE:
    case ZENTROVA_PFU_OP_POLLING_RATE:
        return inByteRange(r.value);
    case ZENTROVA_PFU_OP_RUN_PROGRAM:
        return r.program >= 0 && r.program <= 64;
    case ZENTROVA_PFU_OP_LED:
        return inByteRange(r.brightness) && inByteRange(r.speed);
    default:
        return true;
    }
}

// Everything between the log heading and the end step.
int run(std::unique_ptr<MouseLink>& linkSlot, std::vector<UsbDeviceInfo>& devices, const Request& r)
{
    pfuLog("\nZentrova doPfu\n");
    linkSlot = std::make_unique<MouseLink>("driver.log");
    MouseLink& link = *linkSlot;
    if (r.rightHand != 0 && r.rightHand != 1)
        return ZENTROVA_PFU_BAD_HAND;
    const bool right = r.rightHand == 1;
    pfuLog("Requested mouse: %d (0:unknow, 1: left, 2: right)\n", right ? 2 : 1);

    const std::vector<zentrova::MouseInfo> mice =
        link.findMice(right ? zentrova::Hand::Right : zentrova::Hand::Left, devices);
    if (mice.empty())
        return ZENTROVA_PFU_NO_DEVICE;
    if (r.operation == 3 || r.operation < 0 || r.operation > 7) {
        pfuLog("Nothing defined, just return with OK\n");
        return ZENTROVA_PFU_NOT_DONE;
    }
    if (!argumentsInRange(r)) {
        pfuLog("Value out of range, nothing done\n");
        return ZENTROVA_PFU_NOT_DONE;
    }

    pfuLog("Zentrova mice found\n");
    pfuLog("%-24s%-16s%s\n", "Manufacturer", "Product", "Serial Number");
    pfuLog("%-24s%-16s%s\n", "------------", "-------", "-------------");
    for (const zentrova::MouseInfo& m : mice)
        pfuLog("%-24s%-16s%s\n", m.manufacturer.c_str(), m.product.c_str(), m.serialNumber.c_str());
    pfuLog("\n");
    pfuLog("\nChecking device list and ID");

    const unsigned char wanted = right ? ZENTROVA_MOUSE_ID_RIGHT : ZENTROVA_MOUSE_ID_LEFT;
    int chosen = -1;
    for (size_t i = 0; i < devices.size(); ++i) {
        link.open(devices[i]);
        pfuLog("Open device(%d) for checking mouse ID\n", static_cast<int>(i));
        {
            // Another program's operation on this mouse ends first.
            const zentrova::DeviceLock lock = link.lockOperation();
            if (link.getMouseId() == wanted)
                chosen = static_cast<int>(i); // the last match wins
        }
        link.close();
        pfuLog("Close device(%d) for checking mouse ID\n", static_cast<int>(i));
    }
    if (chosen < 0)
        return ZENTROVA_PFU_NOT_DONE;

    link.open(devices[static_cast<size_t>(chosen)]);
    pfuLog("Device is opened\r\n");
    int result;
    {
        const zentrova::DeviceLock lock = link.lockOperation();
        result = perform(link, r);
    }
    link.close();
    pfuLog("Device is Closed\r\n");
    return result;
}

} // namespace

int doPfu(int rightHand, int operation, int value, const char* file, unsigned int color, int ledProgram,
          int brightness, int speed, int program)
{
    const std::lock_guard<std::mutex> oneCallAtATime(zentrova::deviceEntryLock());
    // A log that cannot be opened leaves pfu_log null: the call goes on
    // without a trace.
    pfu_log = std::fopen("pfu.log", "a");
    const Request request{rightHand, operation, value, file, color, ledProgram, brightness, speed, program};
    std::unique_ptr<MouseLink> link;
    std::vector<UsbDeviceInfo> devices;
    int result;
    bool failed = true;
    // The caller is a foreign runtime behind a C interface: nothing may
    // escape, so every exception ends in a result code.
    try {
        result = run(link, devices, request);
        failed = false;
    } catch (const ZentrovaException& e) {
        pfuLog("\nERROR (Zentrova:) %s\n", e.what());
        result = ZENTROVA_PFU_DEVICE_ERROR;
    } catch (const UsbException& e) {
        pfuLog("\nERROR: (USB) %s\n", e.what());
        result = ZENTROVA_PFU_USB_ERROR;
    } catch (const FileException& e) {
        pfuLog("\nERROR: %s\n", e.what());
        result = ZENTROVA_PFU_FILE_ERROR;
    } catch (const std::exception& e) { // std::runtime_error and any other
        pfuLog("\nERROR: %s\n", e.what());
        result = ZENTROVA_PFU_OTHER_ERROR;
    } catch (...) {
        pfuLog("\nERROR: %s\n", "unknown error");
        result = ZENTROVA_PFU_OTHER_ERROR;
    }
    if (failed && link)
        link->forceClose(); // without the close hook
    pfuLog("doPfu end\n");
    if (pfu_log)
        std::fclose(pfu_log);
    pfu_log = nullptr;
    devices.clear();
    link.reset();
    return result;
}
