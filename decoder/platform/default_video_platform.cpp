#include "decoder/platform/video_platform.h"

#ifndef _WIN32
#include <charconv>
#include <cstdlib>
#include <cstring>

#include "decoder/platform/simulated/simulated_video_device.h"
#include "logging/spdlog_logger.h"

namespace platform {

// A case's 30 pictures must fit the decoder's two-second wait for the hardware.
constexpr int64_t kLongestSimulatedDecodeUs = 60000;

int64_t SimulatedDecodeMicroseconds()
{
    static const int64_t microseconds = [] {
        const char* text = std::getenv("TARSEL_SIMULATED_DECODE_US");
        int64_t value = 0;
        if (!text)
            return value;
        const char* end = text + std::strlen(text);
        auto [stop, error] = std::from_chars(text, end, value);
        if (error != std::errc() || stop != end || value < 0 || value > kLongestSimulatedDecodeUs) {
            g_Logger.Log(LogLevel::error,
                         "decoder: TARSEL_SIMULATED_DECODE_US=%s is no whole number of microseconds from 0 to %d; "
                         "the simulated device takes no decode time",
                         text, kLongestSimulatedDecodeUs);
            return int64_t{0};
        }
        return value;
    }();
    return microseconds;
}

// Without Direct3D 11 video decoding the simulated device stands in.
VideoPlatform& DefaultVideoPlatform()
{
    static SimulatedVideoPlatform simulated(
        SimulatedDeviceOptions{.decodeMicroseconds = SimulatedDecodeMicroseconds()});
    return simulated;
}

}  // namespace platform
#else

namespace platform {

// The test setting of the simulated device does not exist here.
int64_t SimulatedDecodeMicroseconds()
{
    return 0;
}

}  // namespace platform
#endif
