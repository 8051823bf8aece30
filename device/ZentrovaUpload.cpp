// Chunked uploads of profile and firmware images to the mouse.
#include <libusb.h>

#include <algorithm>

#include "device/ZentrovaTransfer.h"
#include "zentrova/device/ZentrovaDriver.h"
#include "util/byte_order.h"

using namespace zentrova_device;

namespace {

// The upload requests carry no offset: the device appends the chunks in
// arrival order. `send` transfers one chunk with its handshake and log line.
template <typename Send>
void sendChunks(const void* image, size_t size, const std::function<void(size_t, size_t)>* progress, Send send)
{
    auto* bytes = static_cast<unsigned char*>(const_cast<void*>(image)); // OUT data is only read
    for (size_t offset = 0; offset < size;) {
        const size_t chunk = std::min<size_t>(ZENTROVA_MAX_CHUNK, size - offset);
        send(bytes + offset, static_cast<uint16_t>(chunk));
        offset += chunk;
        if (progress && *progress)
            (*progress)(offset, size);
    }
}

size_t chunkCount(size_t size) { return (size + ZENTROVA_MAX_CHUNK - 1) / ZENTROVA_MAX_CHUNK; }

} // namespace

void ZentrovaDriver::updateFirmware(const void* image, size_t size)
{
    sendFirmware(image, size, nullptr);
}

void ZentrovaDriver::uploadProfile(unsigned char slot, const void* image, size_t size)
{
    sendProfile(slot, image, size, nullptr);
}

// Each request is logged after its transfer succeeded.
void ZentrovaDriver::sendFirmware(const void* image, size_t size, const ChunkProgress* progress)
{
    if (!image && size)
        throwUsbError(LIBUSB_ERROR_INVALID_PARAM);
    const Deadline end = operationDeadline(chunkCount(size));

    vendorTransfer(handle, ZENTROVA_REQUEST_TYPE_OUT, ZENTROVA_CTRL_REQUEST_RESET, 0, nullptr, 0);
    zentrova::logTo(logFile, "updateFirmware() ZENTROVA_CTRL_REQUEST_RESET\r\n");
    handshake(end);

    unsigned char answer[4] = {0, 0, 0, 0};
    vendorTransfer(handle, ZENTROVA_REQUEST_TYPE_IN, ZENTROVA_CTRL_REQUEST_DFU_START, 0, answer, sizeof answer);
    const uint32_t maxSize = zentrova::getLe32(answer);
    zentrova::logTo(logFile, "updateFirmware() ZENTROVA_CTRL_REQUEST_DFU_START %p, %ld(max size=%ld)\r\n", image,
            static_cast<long>(size), static_cast<long>(maxSize));
    handshake(end);

    if (maxSize < size) {
        zentrova::logTo(logFile, "updateFirmware() DFU image too large\r\n");
        throw ZentrovaException("DFU image too large");
    }

    sendChunks(image, size, progress, [this, end](unsigned char* chunk, uint16_t length) {
        vendorTransfer(handle, ZENTROVA_REQUEST_TYPE_OUT, ZENTROVA_CTRL_REQUEST_DFU_UPLOAD, 0, chunk, length);
        zentrova::logTo(logFile, "updateFirmware() ZENTROVA_CTRL_REQUEST_DFU_UPLOAD\r\n");
        handshake(end);
    });

    vendorTransfer(handle, ZENTROVA_REQUEST_TYPE_OUT, ZENTROVA_CTRL_REQUEST_DFU_END, 0, nullptr, 0);
    zentrova::logTo(logFile, "updateFirmware() ZENTROVA_CTRL_REQUEST_DFU_END\r\n");
    handshake(end);
}

// Each request is logged before its transfer.
void ZentrovaDriver::sendProfile(unsigned char slot, const void* image, size_t size, const ChunkProgress* progress)
{
    if (!slot)
        return;
    if (!image && size)
        throwUsbError(LIBUSB_ERROR_INVALID_PARAM);
    const Deadline end = operationDeadline(chunkCount(size));

    zentrova::logTo(logFile, "uploadProfile() ZENTROVA_CTRL_REQUEST_RESET\r\n");
    vendorTransfer(handle, ZENTROVA_REQUEST_TYPE_OUT, ZENTROVA_CTRL_REQUEST_RESET, 0, nullptr, 0);
    handshake(end);

    zentrova::logTo(logFile, "uploadProfile() ZENTROVA_CTRL_REQUEST_PROFILE_START\r\n");
    unsigned char answer[4] = {0, 0, 0, 0};
    vendorTransfer(handle, ZENTROVA_REQUEST_TYPE_IN, ZENTROVA_CTRL_REQUEST_PROFILE_START, slot, answer,
                   sizeof answer);
    const uint32_t maxSize = zentrova::getLe32(answer);
    handshake(end);

    if (maxSize < size) {
        zentrova::logTo(logFile, "uploadProfile() Profile image too large\r\n");
        throw ZentrovaException("profile too large");
    }

    sendChunks(image, size, progress, [this, end](unsigned char* chunk, uint16_t length) {
        zentrova::logTo(logFile, "uploadProfile() ZENTROVA_CTRL_REQUEST_PROFILE_UPLOAD\r\n");
        vendorTransfer(handle, ZENTROVA_REQUEST_TYPE_OUT, ZENTROVA_CTRL_REQUEST_PROFILE_UPLOAD, 0, chunk, length);
        handshake(end);
    });

    zentrova::logTo(logFile, "uploadProfile() ZENTROVA_CTRL_REQUEST_PROFILE_END\r\n");
    vendorTransfer(handle, ZENTROVA_REQUEST_TYPE_OUT, ZENTROVA_CTRL_REQUEST_PROFILE_END, 0, nullptr, 0);
    handshake(end);
}
