// A program that knows nothing of the simulation: it drives the right-hand
// mouse through ZentrovaDriver and the system's libusb, for the launcher
// tests to run under zentrova-sim.
#include <cstdio>
#include <cstring>
#include <exception>
#include <vector>

#include "zentrova/device/ZentrovaDriver.h"

int main()
{
    try {
        ZentrovaDriver driver;
        driver.rightMouse = true;
        std::vector<UsbDeviceInfo> devices;
        driver.find(devices);
        if (devices.empty()) {
            std::puts("no mouse");
            return 3;
        }
        driver.open(devices[0]);
        std::printf("mouse id %u\n", driver.getMouseId());

        std::vector<unsigned char> profile(5000, 0x5A);
        std::memset(profile.data(), 0, 40);
        std::strcpy(reinterpret_cast<char*>(profile.data()) + 9, "Launcher Test");
        driver.uploadProfile(3, profile.data(), profile.size());
        driver.activeProfile(3);
        driver.updateLedColor(0x00AABBCC);
        driver.runLedProgram(4);
        driver.runProgram(7);
        driver.setPollingRate(2);
        std::vector<unsigned char> firmware(10000, 0xF0);
        driver.updateFirmware(firmware.data(), firmware.size());
        driver.close();
        std::puts("ok");
        return 0;
    } catch (const std::exception& e) {
        std::printf("failed: %s\n", e.what());
        return 4;
    }
}
