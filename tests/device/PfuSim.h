// Shared pieces of the doPfu tests against simulated mice.
#ifndef ZENTROVA_TESTS_DEVICE_PFUSIM_H
#define ZENTROVA_TESTS_DEVICE_PFUSIM_H

#include <cstdio>
#include <string>
#include <vector>

#include "support/ProfileImage.h"
#include "sim/MouseModel.h"
#include "support/SimFixture.h"
#include "zentrova/device/ZentrovaRequests.h"

class PfuTest : public SimTest {
protected:
    std::string path(const std::string& name) const { return workDir + "/" + name; }
    std::string pfuLog() const
    {
        const testimg::Bytes b = testimg::readFile(path("pfu.log"));
        return std::string(b.begin(), b.end());
    }
    void clearPfuLog() const { std::remove(path("pfu.log").c_str()); }

    // The part of pfu.log after `marker`.
    std::string logAfter(const std::string& marker) const
    {
        const std::string log = pfuLog();
        const auto at = log.find(marker);
        return at == std::string::npos ? "<" + marker + " missing>\n" + log : log.substr(at + marker.size());
    }

    // The vendor requests a mouse received, without the status polls.
    static std::vector<int> requestCodes(const zentrova::sim::MouseModel& mouse)
    {
        std::vector<int> out;
        for (const auto& r : mouse.vendorTranscript())
            if (r.setup.bRequest != ZENTROVA_CTRL_REQUEST_STATUS)
                out.push_back(r.setup.bRequest);
        return out;
    }
};

// The trace of a call for the right-hand mouse up to the ID check.
const std::string kRightHead = "\nZentrova doPfu\nRequested mouse: 2 (0:unknow, 1: left, 2: right)\n"
                               "Zentrova mice found\n"
                               "Manufacturer            Product         Serial Number\n"
                               "------------            -------         -------------\n"
                               "Zentrova                Zentrova Mouse (right hand)ZV-R-0001\n"
                               "\n\nChecking device list and ID"
                               "Open device(0) for checking mouse ID\nClose device(0) for checking mouse ID\n";

#endif
