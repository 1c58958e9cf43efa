#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

using Sha256Digest = std::array<uint8_t, 32>;

// Files are hashed through a buffer of this size, so that hashing a file of
// any size holds no more of it in memory.
inline constexpr size_t kSha256FileChunk = 64 * 1024;

// An incremental SHA-256 computed by the platform's cryptography library
// (OpenSSL's libcrypto on Linux, BCrypt on Windows); the platform's file
// implements this class.
class Sha256 {
public:
    Sha256();
    ~Sha256();
    Sha256(const Sha256&) = delete;
    Sha256& operator=(const Sha256&) = delete;

    // False once the library has failed; every later call fails too.
    bool Update(const void* data, size_t size);
    // The digest of everything given to Update; nullopt when the library
    // failed. The object is spent afterwards.
    std::optional<Sha256Digest> Finish();

private:
    struct State;
    std::unique_ptr<State> m_State;
};

std::optional<Sha256Digest> Sha256Bytes(std::string_view bytes);
// Streams the file in kSha256FileChunk pieces. nullopt when it cannot be
// opened or read or is no regular file (a FIFO is refused without waiting
// for a writer).
std::optional<Sha256Digest> Sha256File(const std::string& path);

// 64 lowercase hex digits.
std::string Sha256Hex(const Sha256Digest& digest);
// Accepts either case; nullopt unless `hex` is exactly 64 hex digits.
std::optional<Sha256Digest> ParseSha256Hex(std::string_view hex);
