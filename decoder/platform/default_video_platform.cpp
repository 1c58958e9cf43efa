#include "decoder/platform/video_platform.h"

#ifndef _WIN32
#include "decoder/platform/simulated/simulated_video_device.h"

namespace platform {

// Without Direct3D 11 video decoding the simulated device stands in.
VideoPlatform& DefaultVideoPlatform()
{
    static SimulatedVideoPlatform simulated;
    return simulated;
}

}  // namespace platform
#endif
