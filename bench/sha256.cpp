#include "bench/sha256.h"

#include <filesystem>
#include <fstream>
#include <vector>

std::optional<Sha256Digest> Sha256Bytes(std::string_view bytes)
{
    Sha256 hash;
    if (!hash.Update(bytes.data(), bytes.size()))
        return std::nullopt;
    return hash.Finish();
}

std::optional<Sha256Digest> Sha256File(const std::string& path)
{
    std::error_code error;
    if (!std::filesystem::is_regular_file(std::filesystem::path(path), error))
        return std::nullopt;
    std::ifstream file(std::filesystem::path(path), std::ios::binary);
    if (!file)
        return std::nullopt;
    Sha256 hash;
    std::vector<char> chunk(kSha256FileChunk);
    for (;;) {
        file.read(chunk.data(), static_cast<std::streamsize>(chunk.size()));
        const std::streamsize count = file.gcount();
        if (count > 0 && !hash.Update(chunk.data(), static_cast<size_t>(count)))
            return std::nullopt;
        if (file.eof())
            break;
        if (!file)
            return std::nullopt;
    }
    return hash.Finish();
}

std::string Sha256Hex(const Sha256Digest& digest)
{
    static constexpr char kDigits[] = "0123456789abcdef";
    std::string hex;
    hex.reserve(digest.size() * 2);
    for (uint8_t byte : digest) {
        hex += kDigits[byte >> 4];
        hex += kDigits[byte & 0x0f];
    }
    return hex;
}

namespace {

int HexValue(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

}  // namespace

std::optional<Sha256Digest> ParseSha256Hex(std::string_view hex)
{
    Sha256Digest digest{};
    if (hex.size() != digest.size() * 2)
        return std::nullopt;
    for (size_t i = 0; i < digest.size(); ++i) {
        const int high = HexValue(hex[2 * i]);
        const int low = HexValue(hex[2 * i + 1]);
        if (high < 0 || low < 0)
            return std::nullopt;
        digest[i] = static_cast<uint8_t>(high << 4 | low);
    }
    return digest;
}
