#include "SinkDevice.h"

#include "TAudioEngine.h"

int32_t SinkDevice(TAudioEngine& engine, const std::string& sink) {
    TAudioDeviceInfo info;
    for (int32_t device = 1; engine.AudioGetDeviceInfo(static_cast<uint32_t>(device), &info);
         ++device)
        if (info.Name == sink)
            return device;
    return 0;
}
