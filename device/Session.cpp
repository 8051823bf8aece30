// The C++ device API: finding, selecting and opening a mouse, and each
// operation with a Result in place of an exception.
#include "zentrova/device/Session.h"

#include "zentrova/integrity/DfuHeader.h"
#include "zentrova/profile/ProfileImage.h"

#include <cstdio>
#include <cstring>
#include <cerrno>

#include <libusb.h>

#include "device/MouseLink.h"
#include "util/file_handle.h"

namespace zentrova {

namespace {

const char* handName(Hand hand) { return hand == Hand::Right ? "right" : "left"; }

// Runs a step of the link under the mouse's lock; whatever it throws
// becomes the Result.
template <typename Step>
Result guarded(MouseLink* link, Step step)
{
    if (!link)
        return {Cause::NoMouse, "no mouse is open", ""};
    try {
        const DeviceLock lock = link->lockOperation();
        step(*link);
        return {};
    } catch (...) {
        return failureResult();
    }
}

// The mice a search left out, for a message: " (left out: NODE: timeout, ...)".
std::string leftOutNote(const std::vector<MouseLink::LeftOut>& leftOut)
{
    std::string note;
    for (const MouseLink::LeftOut& m : leftOut)
        note += (note.empty() ? " (left out: " : ", ") + m.deviceNode + ": " + libusb_strerror(m.usbCode);
    return note.empty() ? note : note + ")";
}

// A mouse that may not be opened, as the Result of a search: AccessDenied
// naming its node; Done when there is none.
Result deniedMouse(const std::vector<MouseLink::LeftOut>& leftOut)
{
    for (const MouseLink::LeftOut& m : leftOut)
        if (m.usbCode == LIBUSB_ERROR_ACCESS)
            return {Cause::AccessDenied, "access denied (insufficient permissions) to " + m.deviceNode, m.deviceNode};
    return {};
}

// Reads at most `limit` bytes of the file at `path`; a longer file is
// InvalidFile without being read further (/dev/zero ends at once).
Result readFile(const std::string& path, size_t limit, std::vector<uint8_t>& bytes)
{
    FileHandle file(std::fopen(path.c_str(), "rb"));
    const auto unreadable = [&] { return Result{Cause::UnreadableFile, path + ": " + std::strerror(errno), ""}; };
    if (!file)
        return unreadable();
    try {
        bytes.clear();
        unsigned char chunk[65536];
        size_t n;
        while (bytes.size() <= limit && (n = std::fread(chunk, 1, sizeof chunk, file.get())) > 0)
            bytes.insert(bytes.end(), chunk, chunk + n);
    } catch (...) {
        return failureResult();
    }
    if (std::ferror(file.get()))
        return unreadable();
    if (bytes.size() > limit) {
        bytes.clear();
        return {Cause::InvalidFile, path + ": larger than " + std::to_string(limit) + " bytes", ""};
    }
    return {};
}

// An invalid image read from a file is named by its path.
Result namingFile(const std::string& path, Result r)
{
    if (r.cause == Cause::InvalidFile)
        r.message = path + ": " + r.message;
    return r;
}

} // namespace

const char* causeName(Cause cause)
{
    switch (cause) {
    case Cause::Done: return "done";
    case Cause::NothingToDo: return "nothing to do";
    case Cause::NoMouse: return "no mouse";
    case Cause::SeveralMice: return "several mice";
    case Cause::AccessDenied: return "access denied";
    case Cause::Disconnected: return "disconnected";
    case Cause::Timeout: return "timeout";
    case Cause::Busy: return "busy";
    case Cause::DeviceError: return "device error";
    case Cause::UsbError: return "USB error";
    case Cause::InvalidFile: return "invalid file";
    case Cause::UnreadableFile: return "unreadable file";
    case Cause::Unexpected: return "unexpected";
    }
    return "unexpected";
}

Result listMice(std::vector<MouseInfo>& mice, std::optional<Hand> hand)
{
    mice.clear();
    try {
        MouseLink link(nullptr);
        std::vector<UsbDeviceInfo> devices;
        std::vector<MouseLink::LeftOut> leftOut;
        mice = link.findMice(hand, devices, &leftOut);
        return deniedMouse(leftOut);
    } catch (...) {
        return failureResult();
    }
}

Result selectMouse(const std::vector<MouseInfo>& mice, const Selector& selector, size_t& index)
{
    std::vector<size_t> matches;
    for (size_t i = 0; i < mice.size(); ++i)
        if ((!selector.hand || mice[i].hand == *selector.hand) &&
            (!selector.serialNumber || mice[i].serialNumber == *selector.serialNumber))
            matches.push_back(i);
    std::string which = selector.hand ? std::string(handName(*selector.hand)) + "-hand mouse" : "mouse";
    if (selector.serialNumber)
        which += " with serial number \"" + *selector.serialNumber + "\"";
    if (matches.empty())
        return {Cause::NoMouse, "no " + which + " is attached", ""};
    if (matches.size() > 1) {
        std::string list;
        for (size_t i : matches)
            list += (list.empty() ? "" : ", ") + mice[i].serialNumber + " (" + handName(mice[i].hand) + ")";
        return {Cause::SeveralMice,
                std::to_string(matches.size()) + " mice match (" + list + "); select one by hand or serial number",
                ""};
    }
    index = matches.front();
    return {};
}

Session::Session() = default;
Session::~Session() = default;
Session::Session(Session&&) noexcept = default;
Session& Session::operator=(Session&&) noexcept = default;

Result Session::open(const Selector& selector, Session& session, const SessionOptions& options)
{
    session.close();
    try {
        auto link = std::make_unique<MouseLink>(options.driverLog.empty() ? nullptr : options.driverLog.c_str(),
                                                options.busyBoundMs);
        std::vector<UsbDeviceInfo> devices;
        std::vector<MouseLink::LeftOut> leftOut;
        const std::vector<MouseInfo> mice = link->findMice(selector.hand, devices, &leftOut);
        size_t index = 0;
        Result r = selectMouse(mice, selector, index);
        // A mouse that may not be opened may be the one meant, unless its
        // serial number was asked for and another mouse has it.
        if (Result denied = deniedMouse(leftOut);
            !denied && (r.cause == Cause::NoMouse || (r && !selector.serialNumber)))
            return denied;
        if (r.cause == Cause::NoMouse)
            r.message += leftOutNote(leftOut);
        if (!r)
            return r;
        link->open(devices[index]);
        session.link = std::move(link);
        session.info = mice[index];
        return {};
    } catch (...) {
        return failureResult();
    }
}

bool Session::isOpen() const { return link != nullptr; }

const MouseInfo& Session::mouse() const { return info; }

std::string Session::firmwareVersion() const
{
    return formatBcdVersion(info.bcdDevice);
}

void Session::close()
{
    link.reset();
    info = MouseInfo();
}

Result Session::check()
{
    unsigned char id = 0;
    Result r = guarded(link.get(), [&](MouseLink& l) { id = l.getMouseId(); });
    const unsigned char wanted = info.hand == Hand::Right ? ZENTROVA_MOUSE_ID_RIGHT : ZENTROVA_MOUSE_ID_LEFT;
    if (r && id != wanted)
        return {Cause::DeviceError,
                "the mouse answers ID " + std::to_string(id) + ", not the " + handName(info.hand) + "-hand ID", ""};
    return r;
}

Result Session::uploadProfile(uint8_t slot, const std::vector<uint8_t>& image, const Progress& progress)
{
    if (!slot)
        return {Cause::NothingToDo, "slot 0 holds no profile", ""};
    if (Result r = checkProfileImage(image); !r)
        return r;
    return guarded(link.get(), [&](MouseLink& l) { l.sendProfile(slot, image.data(), image.size(), progress); });
}

Result Session::uploadProfileFile(uint8_t slot, const std::string& path, const Progress& progress)
{
    std::vector<uint8_t> image;
    // No image the mouse's loader takes is longer.
    if (Result r = readFile(path, ProfileImage::kHeaderSize + ProfileImage::kLoaderBufferSize, image); !r)
        return r;
    return namingFile(path, uploadProfile(slot, image, progress));
}

Result Session::activateProfile(uint8_t slot)
{
    if (!slot)
        return {Cause::NothingToDo, "slot 0 holds no profile", ""};
    return guarded(link.get(), [&](MouseLink& l) { l.activeProfile(slot); });
}

Result Session::setLed(const LedSettings& led)
{
    if (led.brightness < 0 || led.brightness > 255 || led.speed < 0 || led.speed > 255)
        return {Cause::NothingToDo, "LED brightness and speed are 0 to 255", ""};
    const LedEffect effect = makeLedEffect(led.color, led.effect, led.brightness, led.speed);
    if (!effect.known)
        return {Cause::NothingToDo, "LED effect " + std::to_string(led.effect) + " is not defined", ""};
    return guarded(link.get(), [&](MouseLink& l) { l.setLed(effect); });
}

Result Session::runProgram(unsigned program)
{
    if (program > 64)
        return {Cause::NothingToDo, "programs are numbered 0 to 64", ""};
    return guarded(link.get(), [&](MouseLink& l) { l.runProgram(static_cast<unsigned char>(program)); });
}

Result Session::setPollingRate(uint8_t code)
{
    if (!code)
        return {Cause::NothingToDo, "polling rate code 0 selects no rate", ""};
    return guarded(link.get(), [&](MouseLink& l) { l.setPollingRate(code); });
}

Result Session::updateFirmware(const std::vector<uint8_t>& image, const Progress& progress)
{
    if (!firmwareImageAcceptable(image.data(), image.size()))
        return {Cause::InvalidFile, "the image failed the DFU header checks", ""};
    return guarded(link.get(), [&](MouseLink& l) { l.sendFirmware(image.data(), image.size(), progress); });
}

Result Session::updateFirmwareFile(const std::string& path, const Progress& progress)
{
    std::vector<uint8_t> image;
    if (Result r = readFile(path, kMaxFirmwareFileBytes, image); !r)
        return r;
    return namingFile(path, updateFirmware(image, progress));
}

} // namespace zentrova
