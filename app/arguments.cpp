#include "app/arguments.h"

#include <charconv>

#include "bench/stream_source.h"
#include "bench/video_frame.h"

namespace {

// Every sample goes into one message, which must stay well inside the
// channel's 64 KiB.
constexpr uint32_t kMaxRepeat = 100;
constexpr uint32_t kMaxWarmup = 100;

// A whole decimal number in [minimum, maximum], nothing else in the text.
bool ParseCount(const std::string& text, uint32_t minimum, uint32_t maximum, uint32_t& count)
{
    uint32_t value = 0;
    const char* end = text.data() + text.size();
    auto [stop, error] = std::from_chars(text.data(), end, value);
    if (text.empty() || error != std::errc() || stop != end || value < minimum || value > maximum)
        return false;
    count = value;
    return true;
}

// The stream's codec: --codec's, else its file name's; why neither tells it.
std::string StreamCodec(const std::optional<std::string>& stream, const std::optional<std::string>& named,
                        uint8_t& codec)
{
    if (!stream)
        return named ? "--codec goes with --stream" : "";
    if (named) {
        if (*named != "h264" && *named != "h265")
            return "--codec takes h264 or h265, not " + *named;
        codec = *named == "h264" ? kCodecH264 : kCodecH265;
        return {};
    }
    if (!StreamCodecFromName(*stream, codec))
        return "--stream " + *stream +
               ": the codec is not known from the name (.264, .h264, .265, .h265, .hevc); add --codec h264 or h265";
    return {};
}

}  // namespace

ProgramArguments ParseArguments(const std::vector<std::string>& arguments)
{
    ProgramArguments parsed;
    std::optional<std::string> codec;
    for (size_t index = 0; index < arguments.size(); ++index) {
        const std::string& argument = arguments[index];
        if (argument == "--capabilities") {
            parsed.capabilities = true;
        } else if (argument == "--capabilities-only") {
            parsed.capabilitiesOnly = true;
        } else if (argument == "--results") {
            parsed.results = true;
        } else if (argument == "--progress") {
            parsed.progress = parsed.results = true;
        } else if (argument == "--repeat" || argument == "--warmup") {
            const bool repeat = argument == "--repeat";
            const uint32_t minimum = repeat ? 1 : 0;
            const uint32_t maximum = repeat ? kMaxRepeat : kMaxWarmup;
            if (index + 1 >= arguments.size() ||
                !ParseCount(arguments[index + 1], minimum, maximum, repeat ? parsed.repeat : parsed.warmup)) {
                parsed.error = argument + " takes a whole number from " + std::to_string(minimum) + " to " +
                               std::to_string(maximum);
                break;
            }
            ++index;
            parsed.results = true;
        } else if (argument == "--adapter") {
            if (index + 1 >= arguments.size() || arguments[index + 1].empty()) {
                parsed.error = "--adapter takes an adapter's index or LUID, as the capability report gives them";
                break;
            }
            parsed.adapter = arguments[++index];
        } else if (argument == "--all-adapters") {
            parsed.allAdapters = parsed.results = true;
        } else if (argument == "--stream" || argument == "--codec") {
            if (index + 1 >= arguments.size() || arguments[index + 1].empty()) {
                parsed.error = argument == "--stream" ? "--stream takes the path of an Annex B H.264 or H.265 file"
                                                      : "--codec takes h264 or h265";
                break;
            }
            (argument == "--stream" ? parsed.stream : codec) = arguments[++index];
        } else {
            parsed.error = "unknown argument: " + argument;
            break;
        }
    }
    if (parsed.error.empty() && parsed.adapter && parsed.allAdapters)
        parsed.error = "--adapter and --all-adapters cannot be combined";
    if (parsed.error.empty())
        parsed.error = StreamCodec(parsed.stream, codec, parsed.streamCodec);
    return parsed;
}
