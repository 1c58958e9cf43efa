#pragma once

#include <cstdint>
#include <string_view>

// Hash used to match command names and colour-space values: the empty string
// hashes to 5381, and a string to its first byte plus 33 times the hash of
// the rest, in wrapping 64-bit arithmetic. Bytes are taken as signed chars,
// so bytes of 0x80 and above contribute 0xFFFFFF80 to 0xFFFFFFFF.
constexpr uint64_t commandHash(std::string_view text)
{
    uint64_t hash = 5381;
    for (size_t i = text.size(); i-- > 0;) {
        auto byte = static_cast<uint64_t>(static_cast<uint32_t>(static_cast<int32_t>(static_cast<int8_t>(text[i]))));
        hash = byte + 33 * hash;
    }
    return hash;
}

// The names the parent may send, matched by their hashes.
inline constexpr std::string_view kCommandQuit = "quit";
inline constexpr std::string_view kCommandRestartWindows = "restart-windows";
inline constexpr std::string_view kCommandRebootStream = "reboot-stream";
inline constexpr std::string_view kCommandSetBitrate = "set-bitrate";
inline constexpr std::string_view kCommandSetColorSpace = "set-colorspace";
inline constexpr std::string_view kColorSpaceFull = "full";

// The second colour-space value (selects false) is known only by its hash.
inline constexpr uint64_t kColorSpaceLimitedHash = 0x17c9f334aULL;

static_assert(commandHash("") == 5381, "the empty name hashes to the seed");
static_assert(commandHash(kColorSpaceFull) != kColorSpaceLimitedHash, "the two colour spaces must differ");
