#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace platform {

// The date of the driver installed for the display device with these PCI
// ids, "YYYY-MM-DD", as SetupAPI finds it in the driver's registry key; none
// when there is no such device or its key does not say.
std::optional<std::string> DisplayDriverDate(uint32_t vendorId, uint32_t deviceId);

}  // namespace platform
