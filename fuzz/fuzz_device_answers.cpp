// The library's side of the mouse protocol against a simulated mouse whose
// answers come from the fuzzer's input. The first byte picks an operation of
// the Session API; each vendor request of it then takes one byte of the
// input: mostly the mouse's own answer, or a stall, or an answer made of the
// bytes that follow (a length, then the data: any status value, a short or
// long answer, any slot limit; for a request that sends data, the number of
// bytes the mouse takes). No input may crash the library, and none may end
// in Done while a request of the operation failed or moved fewer bytes than
// asked.
#include <algorithm>
#include <array>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <mutex>
#include <vector>

#include "sim/MouseModel.h"
#include "sim/Preload.h"
#include "sim/Testbed.h"
#include "zentrova/device/Session.h"
#include "zentrova/integrity/crc.h"
#include "zentrova/integrity/dfu_image_writer.h"

using namespace zentrova;

namespace {

class ScriptedMouse : public sim::MouseModel {
public:
    void setScript(const uint8_t* data, size_t size)
    {
        std::lock_guard<std::mutex> lock(scriptMutex);
        script.assign(data, data + size);
        next = 0;
        faulted = false;
    }
    // Whether a request was stalled or answered short of its length.
    bool faultedRequest()
    {
        std::lock_guard<std::mutex> lock(scriptMutex);
        return faulted;
    }

    sim::ControlReply control(const sim::SetupPacket& s, const std::vector<uint8_t>& out) override
    {
        sim::ControlReply own = MouseModel::control(s, out); // keeps the model's state and transcript
        if (!s.isVendor())
            return own;
        std::lock_guard<std::mutex> lock(scriptMutex);
        if (next >= script.size())
            return own;
        const uint8_t choice = script[next++];
        if (choice < 0xC0)
            return own;
        if (choice < 0xE0) {
            faulted = true;
            return sim::ControlReply::stall();
        }
        const size_t length = next < script.size() ? script[next++] : 0;
        if (s.isIn()) {
            const size_t take = std::min(length, script.size() - next);
            sim::ControlReply r = sim::ControlReply::answer({script.begin() + next, script.begin() + next + take});
            next += take;
            faulted = faulted || r.data.size() < s.wLength;
            return r;
        }
        own.accepted = length;
        faulted = faulted || length < out.size();
        return own;
    }

private:
    std::mutex scriptMutex;
    std::vector<uint8_t> script;
    size_t next = 0;
    bool faulted = false;
};

struct World {
    sim::Testbed testbed;
    std::shared_ptr<ScriptedMouse> mouse = std::make_shared<ScriptedMouse>();
    Session session;
    std::vector<uint8_t> profile, firmware;
};
World* world = nullptr;

std::vector<uint8_t> profileImage()
{
    // Header, one record of program 1 with 5000 bytes (two chunks), CRC.
    std::vector<uint8_t> b(60 + 4 + 5000, 0x5A);
    const uint8_t header[] = {'Z', 'V', 'M', 'P', 0, 'F', 'u', 'z', 'z', 0};
    std::copy(header, header + sizeof header, b.begin() + 4);
    std::fill(b.begin() + 14, b.begin() + 60, 0);
    b[56] = 1;
    b[60] = 1;
    b[61] = 0;
    b[62] = 5000 & 0xFF;
    b[63] = 5000 >> 8;
    const uint32_t crc = qv_crc32_compute(b.data() + 4, b.size() - 4, 0);
    for (int i = 0; i < 4; ++i)
        b[static_cast<size_t>(i)] = static_cast<uint8_t>(crc >> (8 * i));
    return b;
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char*** argv)
{
    sim::ensurePreload(*argv);
    world = new World;
    world->testbed.addDevice(world->mouse);
    world->profile = profileImage();
    world->firmware = dfu_encode_image(std::array<uint8_t, 32>{}, "ZENTROVA", 0x0300, 0x0100,
                                       {{0x1000, std::vector<uint8_t>(5008, 0xA5)}});
    SessionOptions options;
    options.busyBoundMs = 20; // a script of busy answers ends soon
    if (!Session::open(Selector{}, world->session, options))
        std::abort();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size == 0)
        return 0;
    ScriptedMouse& mouse = *world->mouse;
    Session& s = world->session;
    mouse.setScript(data + 1, size - 1);
    Result r;
    switch (data[0] % 7) {
    case 0: r = s.check(); break;
    case 1: r = s.activateProfile(3); break;
    case 2: r = s.setLed({0x10203000, 0, 200, 100}); break;
    case 3: r = s.setPollingRate(4); break;
    case 4: r = s.runProgram(7); break;
    case 5: r = s.uploadProfile(2, world->profile); break;
    default: r = s.updateFirmware(world->firmware); break;
    }
    if (r.cause == Cause::Unexpected || (r.cause == Cause::Done && mouse.faultedRequest()))
        std::abort();
    mouse.clearTranscript();
    return 0;
}
