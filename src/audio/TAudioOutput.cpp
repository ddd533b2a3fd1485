#include "TAudioOutput.h"

std::vector<TOutputDevice> TAudioOutput::Devices() {
    std::vector<TOutputDevice> devices;
    for (uint32_t number = 1; number <= 255 && DeviceExists(number); ++number)
        devices.push_back({number, DeviceName(number), true});
    return devices;
}
