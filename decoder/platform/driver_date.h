#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace platform {

// A display driver's date as Windows keeps it in the driver's registry key,
// "M-D-YYYY" (month and day with or without a leading zero), as "YYYY-MM-DD";
// none for any other text or a day the calendar does not have.
std::optional<std::string> DriverDateText(std::string_view registryText);

}  // namespace platform
