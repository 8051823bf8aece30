// A device model with fixed descriptors and string table that answers the
// standard requests of chapter 9 itself (GET_DESCRIPTOR for device,
// configuration and string descriptors, GET_STATUS, GET/SET_CONFIGURATION,
// SET_INTERFACE, ...). Class and vendor requests go to otherRequest(),
// which stalls unless a derived model answers them.
#ifndef ZENTROVA_SIM_STANDARDDEVICE_H
#define ZENTROVA_SIM_STANDARDDEVICE_H

#include <map>
#include <string>
#include <vector>

#include "sim/DeviceModel.h"

namespace zentrova::sim {

// Field values of a standard device descriptor (USB 2.0, 18 bytes).
struct DeviceDescriptorFields {
    uint16_t bcdUSB = 0x0200;
    uint8_t bDeviceClass = 0;
    uint8_t bDeviceSubClass = 0;
    uint8_t bDeviceProtocol = 0;
    uint8_t bMaxPacketSize0 = 64;
    uint16_t idVendor = 0;
    uint16_t idProduct = 0;
    uint16_t bcdDevice = 0;
    uint8_t iManufacturer = 0;
    uint8_t iProduct = 0;
    uint8_t iSerialNumber = 0;
    uint8_t bNumConfigurations = 1;
};

// The 18 wire bytes of a device descriptor.
std::vector<uint8_t> deviceDescriptorBytes(const DeviceDescriptorFields& fields);

// A string descriptor: UTF-16LE code units of the (ASCII/Latin-1) text,
// cut to the 126 characters that fit in one descriptor.
std::vector<uint8_t> stringDescriptorBytes(const std::string& text);

class StandardDevice : public DeviceModel {
public:
    // `configurations` holds each configuration descriptor with everything
    // that follows it (wTotalLength bytes); `strings` maps string indices
    // to their text (index 0, the language list, is answered as 0x0409).
    StandardDevice(std::vector<uint8_t> deviceDescriptor, std::vector<std::vector<uint8_t>> configurations,
                   std::map<uint8_t, std::string> strings);

    std::vector<uint8_t> descriptors() const override;
    ControlReply control(const SetupPacket& setup, const std::vector<uint8_t>& out) override;

    const std::vector<uint8_t>& deviceDescriptor() const { return device; }

protected:
    virtual ControlReply standardRequest(const SetupPacket& setup, const std::vector<uint8_t>& out);
    virtual ControlReply otherRequest(const SetupPacket& setup, const std::vector<uint8_t>& out);

private:
    std::vector<uint8_t> device;
    std::vector<std::vector<uint8_t>> configurations;
    std::map<uint8_t, std::string> strings;
};

} // namespace zentrova::sim

#endif
