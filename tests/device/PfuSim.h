// Shared pieces of the doPfu tests against simulated mice.
#ifndef ZENTROVA_TESTS_DEVICE_PFUSIM_H
#define ZENTROVA_TESTS_DEVICE_PFUSIM_H

#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "device/ProfileImage.h"
#include "sim/MouseModel.h"
#include "usb/SimFixture.h"
#include "zentrova/device/ZentrovaRequests.h"

class PfuTest : public SimTest {
protected:
    std::string path(const std::string& name) const { return workDir + "/" + name; }

    std::string pfuLog() const
    {
        std::ifstream in(path("pfu.log"), std::ios::binary);
        return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    }

    void clearPfuLog() const { std::remove(path("pfu.log").c_str()); }

    // The part of pfu.log after `marker` (everything when it is empty).
    std::string logAfter(const std::string& marker) const
    {
        const std::string log = pfuLog();
        const auto at = log.find(marker);
        return at == std::string::npos ? std::string("<" + marker + " missing>\n" + log)
                                       : log.substr(at + marker.size());
    }

    // The vendor requests a mouse received, without the status polls.
    static std::vector<zentrova::sim::ControlRecord> commands(const zentrova::sim::MouseModel& mouse)
    {
        std::vector<zentrova::sim::ControlRecord> out;
        for (const auto& r : mouse.vendorTranscript())
            if (r.setup.bRequest != ZENTROVA_CTRL_REQUEST_STATUS)
                out.push_back(r);
        return out;
    }

    static std::vector<int> requestCodes(const zentrova::sim::MouseModel& mouse)
    {
        std::vector<int> out;
        for (const auto& r : commands(mouse))
            out.push_back(r.setup.bRequest);
        return out;
    }
};

// The start of every trace that reaches the ID check, for the given hand
// (2 right, 1 left) and table rows (manufacturer, product, serial).
inline std::string traceHead(int requested, const std::vector<std::vector<std::string>>& rows)
{
    char line[256];
    std::string s = "\nZentrova doPfu\nRequested mouse: " + std::to_string(requested) +
                    " (0:unknow, 1: left, 2: right)\nZentrova mice found\n";
    std::snprintf(line, sizeof line, "%-24s%-16s%s\n", "Manufacturer", "Product", "Serial Number");
    s += line;
    std::snprintf(line, sizeof line, "%-24s%-16s%s\n", "------------", "-------", "-------------");
    s += line;
    for (const auto& r : rows) {
        std::snprintf(line, sizeof line, "%-24s%-16s%s\n", r[0].c_str(), r[1].c_str(), r[2].c_str());
        s += line;
    }
    return s + "\n\nChecking device list and ID";
}

inline std::string idCheck(int devices)
{
    std::string s;
    for (int i = 0; i < devices; ++i)
        s += "Open device(" + std::to_string(i) + ") for checking mouse ID\nClose device(" + std::to_string(i) +
             ") for checking mouse ID\n";
    return s;
}

const std::vector<std::string> kRightRow = {"Zentrova", "Zentrova Mouse (right hand)", "ZV-R-0001"};
const std::vector<std::string> kLeftRow = {"Zentrova", "Zentrova Mouse (left hand)", "ZV-L-0001"};

#endif
