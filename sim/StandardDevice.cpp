#include "sim/StandardDevice.h"

#include <algorithm>

namespace zentrova::sim {

namespace {

constexpr uint8_t GET_STATUS = 0x00;
constexpr uint8_t CLEAR_FEATURE = 0x01;
constexpr uint8_t SET_FEATURE = 0x03;
constexpr uint8_t SET_ADDRESS = 0x05;
constexpr uint8_t GET_DESCRIPTOR = 0x06;
constexpr uint8_t GET_CONFIGURATION = 0x08;
constexpr uint8_t SET_CONFIGURATION = 0x09;
constexpr uint8_t GET_INTERFACE = 0x0A;
constexpr uint8_t SET_INTERFACE = 0x0B;

constexpr uint8_t DT_DEVICE = 1;
constexpr uint8_t DT_CONFIG = 2;
constexpr uint8_t DT_STRING = 3;

void putLe16(std::vector<uint8_t>& v, uint16_t x)
{
    v.push_back(static_cast<uint8_t>(x));
    v.push_back(static_cast<uint8_t>(x >> 8));
}

} // namespace

std::vector<uint8_t> deviceDescriptorBytes(const DeviceDescriptorFields& f)
{
    std::vector<uint8_t> d{18, DT_DEVICE};
    putLe16(d, f.bcdUSB);
    d.push_back(f.bDeviceClass);
    d.push_back(f.bDeviceSubClass);
    d.push_back(f.bDeviceProtocol);
    d.push_back(f.bMaxPacketSize0);
    putLe16(d, f.idVendor);
    putLe16(d, f.idProduct);
    putLe16(d, f.bcdDevice);
    d.push_back(f.iManufacturer);
    d.push_back(f.iProduct);
    d.push_back(f.iSerialNumber);
    d.push_back(f.bNumConfigurations);
    return d;
}

std::vector<uint8_t> stringDescriptorBytes(const std::string& text)
{
    const size_t chars = std::min<size_t>(text.size(), 126);
    std::vector<uint8_t> d{static_cast<uint8_t>(2 + 2 * chars), DT_STRING};
    for (size_t i = 0; i < chars; ++i)
        putLe16(d, static_cast<uint8_t>(text[i]));
    return d;
}

StandardDevice::StandardDevice(std::vector<uint8_t> deviceDescriptor,
                               std::vector<std::vector<uint8_t>> configurations,
                               std::map<uint8_t, std::string> strings)
    : device(std::move(deviceDescriptor)), configurations(std::move(configurations)), strings(std::move(strings))
{
}

std::vector<uint8_t> StandardDevice::descriptors() const
{
    std::vector<uint8_t> all = device;
    for (const auto& c : configurations)
        all.insert(all.end(), c.begin(), c.end());
    return all;
}

ControlReply StandardDevice::control(const SetupPacket& setup, const std::vector<uint8_t>& out)
{
    if (setup.isStandard())
        return standardRequest(setup, out);
    return otherRequest(setup, out);
}

ControlReply StandardDevice::standardRequest(const SetupPacket& setup, const std::vector<uint8_t>&)
{
    switch (setup.bRequest) {
    case GET_DESCRIPTOR: {
        if (!setup.isIn())
            return ControlReply::stall();
        const uint8_t type = setup.wValue >> 8;
        const uint8_t index = setup.wValue & 0xFF;
        if (type == DT_DEVICE)
            return ControlReply::answer(device);
        if (type == DT_CONFIG) {
            if (index >= configurations.size())
                return ControlReply::stall();
            return ControlReply::answer(configurations[index]);
        }
        if (type == DT_STRING) {
            if (index == 0)
                return ControlReply::answer({4, DT_STRING, 0x09, 0x04});
            auto it = strings.find(index);
            if (it == strings.end())
                return ControlReply::stall();
            return ControlReply::answer(stringDescriptorBytes(it->second));
        }
        return ControlReply::stall();
    }
    case GET_STATUS:
        return ControlReply::answer({0, 0});
    case GET_CONFIGURATION:
        return ControlReply::answer({1});
    case GET_INTERFACE:
        return ControlReply::answer({0});
    case CLEAR_FEATURE:
    case SET_FEATURE:
    case SET_ADDRESS:
    case SET_CONFIGURATION:
    case SET_INTERFACE:
        return ControlReply::answer();
    default:
        return ControlReply::stall();
    }
}

ControlReply StandardDevice::otherRequest(const SetupPacket&, const std::vector<uint8_t>&)
{
    return ControlReply::stall();
}

} // namespace zentrova::sim
