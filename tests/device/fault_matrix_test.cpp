// Every device operation of the zentrova command, through the Session API,
// against every fault the simulated mouse can inject at every one of the
// operation's requests. Each cell checks the Result's cause (and so the
// command's exit code), the time taken against the operation's bound, that
// no descriptor or thread is left behind and the node is closed, and that a
// profile or firmware image reported stored is the one the mouse holds.
#include <chrono>
#include <cstdio>
#include <functional>
#include <map>
#include <string>

#include "exit_codes.h"
#include "support/ProcessCounts.h"
#include "support/ProfileImage.h"
#include "support/SimFixture.h"
#include "zentrova/device/Session.h"
#include "zentrova/integrity/dfu_image_writer.h"

using namespace zentrova;
using sim::ControlRecord;
using sim::MouseFaults;

namespace {

// The command's documented exit status for a cause (its --help, manual page
// and README); the command's own mapping must agree with it.
int exitCode(Cause c)
{
    static const std::map<Cause, int> codes = {
        {Cause::Done, 0}, {Cause::UsbError, 1}, {Cause::Unexpected, 1}, {Cause::NoMouse, 3},
        {Cause::SeveralMice, 3}, {Cause::AccessDenied, 4}, {Cause::Disconnected, 5}, {Cause::Timeout, 6},
        {Cause::Busy, 6}, {Cause::DeviceError, 7}, {Cause::InvalidFile, 8}, {Cause::UnreadableFile, 8},
        {Cause::NothingToDo, 9}};
    return codes.at(c);
}

constexpr unsigned kBoundMs = 1000;    // the sessions' handshake bound (a loaded machine may take 250 ms over 4 polls)
constexpr unsigned kTransferMs = 1000; // a request the mouse does not answer

struct Operation {
    const char* name;
    size_t chunks;
    std::function<Result(Session&, uint8_t seed)> run; // `seed` varies the image sent
    // Of an upload: what the mouse holds in the place the image goes.
    std::function<std::vector<uint8_t>(const sim::MouseState&)> held;
    std::vector<uint8_t> (*image)(uint8_t seed);
};

std::vector<uint8_t> profile(uint8_t seed)
{
    testimg::ProfileImage img;
    img.programs = {{1, testimg::pattern(5000, seed)}}; // two chunks
    return img.bytes();
}

std::vector<uint8_t> firmware(uint8_t seed)
{
    return dfu_encode_image(std::array<uint8_t, 32>{}, "ZENTROVA", 0x0300, 0x0100,
                            {{0x1000, testimg::pattern(5008, seed)}});
}

bool isStatus(const ControlRecord& r) { return r.setup.bRequest == 0x02; }

// How a fault at request k (1-based) of the clean transcript `t` ends the operation.
using Expect = Cause (*)(const std::vector<ControlRecord>& t, unsigned k);

struct Fault {
    const char* name;
    unsigned MouseFaults::*field;
    unsigned value; // 0: each request index k of the operation
    Expect expect;
};

const Fault kFaults[] = {
    {"busy 3", &MouseFaults::busyPolls, 3, [](auto&, unsigned) { return Cause::Done; }},
    {"busy past the bound", &MouseFaults::busyPolls, MouseFaults::BUSY_FOREVER,
     [](auto&, unsigned) { return Cause::Busy; }},
    {"status error after", &MouseFaults::statusErrorAfter, 0,
     [](auto& t, unsigned k) {
         for (size_t i = k; i < t.size(); ++i)
             if (isStatus(t[i]))
                 return Cause::DeviceError;
         return Cause::Done;
     }},
    {"stall at", &MouseFaults::stallAt, 0, [](auto&, unsigned) { return Cause::DeviceError; }},
    {"no answer at", &MouseFaults::noAnswerAt, 0, [](auto&, unsigned) { return Cause::Timeout; }},
    {"unplug at", &MouseFaults::unplugAt, 0, [](auto&, unsigned) { return Cause::Disconnected; }},
    {"short answer at", &MouseFaults::shortAnswerAt, 0,
     [](auto& t, unsigned k) { return t[k - 1].setup.wLength ? Cause::DeviceError : Cause::Done; }},
    {"undefined status at", &MouseFaults::badStatusAt, 0,
     [](auto& t, unsigned k) { return isStatus(t[k - 1]) ? Cause::DeviceError : Cause::Done; }},
};

std::vector<uint8_t> slot2(const sim::MouseState& m) { return m.slots.count(2) ? m.slots.at(2) : std::vector<uint8_t>(); }

const Operation kOperations[] = {
    {"check (mouse ID)", 0, [](Session& s, uint8_t) { return s.check(); }, nullptr, nullptr},
    {"activate", 0, [](Session& s, uint8_t) { return s.activateProfile(3); }, nullptr, nullptr},
    {"LED", 0, [](Session& s, uint8_t) { return s.setLed({0x10203000, 0, 200, 100}); }, nullptr, nullptr},
    {"polling rate", 0, [](Session& s, uint8_t) { return s.setPollingRate(4); }, nullptr, nullptr},
    {"run program", 0, [](Session& s, uint8_t) { return s.runProgram(7); }, nullptr, nullptr},
    {"upload", 2, [](Session& s, uint8_t seed) { return s.uploadProfile(2, profile(seed)); }, slot2, profile},
    {"firmware", 2, [](Session& s, uint8_t seed) { return s.updateFirmware(firmware(seed)); },
     [](const sim::MouseState& m) { return m.firmware; }, firmware},
};

class FaultMatrix : public SimTest {
protected:
    std::shared_ptr<sim::MouseModel> mouse;
    std::string node; // the mouse's node as the process sees it

    void plugMouse()
    {
        if (mouse)
            testbed->unplug(*mouse);
        const sim::SimDevice d = testbed->addDevice(mouse = std::make_shared<sim::MouseModel>());
        node = testbed->rootDir() + d.devnode;
    }
};

TEST_F(FaultMatrix, EveryOperationEveryFaultEveryRequest)
{
    using Clock = std::chrono::steady_clock;
    const SessionOptions options{"", kBoundMs};
    unsigned cells = 0;
    std::vector<std::string> wrong;
    uint8_t seed = 0;
    plugMouse();
    for (const Operation& op : kOperations) {
        // The operation's requests without a fault.
        std::vector<ControlRecord> clean;
        {
            Session s;
            ASSERT_TRUE(Session::open(Selector{}, s, options));
            mouse->clearTranscript();
            ASSERT_TRUE(op.run(s, ++seed)) << op.name;
            clean = mouse->vendorTranscript();
        }
        const auto bound = std::chrono::milliseconds(3 * kBoundMs + op.chunks * kBoundMs / 50 + kTransferMs + 1000);
        for (const Fault& fault : kFaults) {
            for (unsigned k = 1; k <= (fault.value ? 1 : clean.size()); ++k) {
                ++cells;
                const std::string cell = std::string(op.name) + " / " + fault.name + (fault.value ? "" : " " +
                                         std::to_string(k));
                const Cause expected = fault.expect(clean, k);
                const size_t fds = testsupport::openDescriptors(), nodeFds = testsupport::openDescriptors(node),
                             threads = testsupport::threads();
                const sim::MouseState before = mouse->state();
                std::string problems;
                {
                    Session s;
                    if (Result r = Session::open(Selector{}, s, options); !r) {
                        wrong.push_back(cell + ": open: " + r.message);
                        continue;
                    }
                    MouseFaults f;
                    f.*fault.field = fault.value ? fault.value : k;
                    mouse->clearTranscript();
                    mouse->setFaults(f);
                    const Clock::time_point start = Clock::now();
                    const Result r = op.run(s, ++seed);
                    const auto took = Clock::now() - start;
                    mouse->setFaults({});
                    if (r.cause != expected)
                        problems += std::string(" cause ") + causeName(r.cause) + " (exit " +
                                    std::to_string(exitCode(r.cause)) + ", " + r.message + "), not " +
                                    causeName(expected) + " (exit " + std::to_string(exitCode(expected)) + ");";
                    if (exitCodeFor(r.cause) != exitCode(expected))
                        problems += " the command would exit " + std::to_string(exitCodeFor(r.cause)) + ";";
                    if (took > bound)
                        problems += " took " + std::to_string(took / std::chrono::milliseconds(1)) + " ms;";
                    if (testsupport::openDescriptors(node) > nodeFds + 1)
                        problems += " a descriptor on the node beside the session's;";
                    if (op.image) {
                        const std::vector<uint8_t> held = op.held(mouse->state());
                        const bool stored = held == op.image(seed);
                        if (r.cause == Cause::Done ? !stored : !(stored || held == op.held(before)))
                            problems += " the mouse holds neither the old image nor this one whole;";
                    }
                }
                if (!testsupport::settlesWithin(fds, [] { return testsupport::openDescriptors(); }) ||
                    testsupport::openDescriptors(node) != nodeFds)
                    problems += " descriptors left open;";
                if (!testsupport::settlesWithin(threads, testsupport::threads))
                    problems += " threads left running;";
                if (!problems.empty())
                    wrong.push_back(cell + ":" + problems);
                if (mouse->unpluggedFlag())
                    plugMouse();
            }
        }
    }
    std::printf("fault matrix: %u cells, %zu wrong\n", cells, wrong.size());
    for (const std::string& w : wrong)
        ADD_FAILURE() << w;
    RecordProperty("cells", static_cast<int>(cells));
    RecordProperty("wrong", static_cast<int>(wrong.size()));
}

} // namespace
