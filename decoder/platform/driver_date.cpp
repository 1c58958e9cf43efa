#include "decoder/platform/driver_date.h"

#include <charconv>
#include <chrono>

#include <fmt/format.h>

namespace platform {

namespace {

// Reads a field of minDigits to maxDigits decimal digits, then `separator`
// unless it is the last ('\0'); advances `text` past both.
std::optional<unsigned> Field(std::string_view& text, size_t minDigits, size_t maxDigits, char separator)
{
    size_t digits = 0;
    while (digits < text.size() && text[digits] >= '0' && text[digits] <= '9')
        ++digits;
    if (digits < minDigits || digits > maxDigits)
        return std::nullopt;
    unsigned value = 0;
    std::from_chars(text.data(), text.data() + digits, value);
    text.remove_prefix(digits);
    if (separator != '\0') {
        if (text.empty() || text.front() != separator)
            return std::nullopt;
        text.remove_prefix(1);
    }
    return value;
}

}  // namespace

std::optional<std::string> DriverDateText(std::string_view registryText)
{
    std::string_view rest = registryText;
    std::optional<unsigned> month = Field(rest, 1, 2, '-');
    std::optional<unsigned> day = month ? Field(rest, 1, 2, '-') : std::nullopt;
    std::optional<unsigned> year = day ? Field(rest, 4, 4, '\0') : std::nullopt;
    if (!year || !rest.empty())
        return std::nullopt;
    const std::chrono::year_month_day date{std::chrono::year(static_cast<int>(*year)), std::chrono::month(*month),
                                           std::chrono::day(*day)};
    if (!date.ok())
        return std::nullopt;
    return fmt::format("{:04}-{:02}-{:02}", *year, *month, *day);
}

}  // namespace platform
