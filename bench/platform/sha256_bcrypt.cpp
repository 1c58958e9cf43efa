#include <windows.h>

#include <bcrypt.h>

#include <limits>

#include "bench/sha256.h"

namespace {

bool Succeeded(NTSTATUS status)
{
    return status >= 0;
}

}  // namespace

struct Sha256::State {
    BCRYPT_ALG_HANDLE algorithm = nullptr;
    BCRYPT_HASH_HANDLE hash = nullptr;
    bool failed = false;
};

Sha256::Sha256() : m_State(std::make_unique<State>())
{
    // Since Windows 7 BCrypt allocates the hash object itself when given none.
    m_State->failed =
        !Succeeded(BCryptOpenAlgorithmProvider(&m_State->algorithm, BCRYPT_SHA256_ALGORITHM, nullptr, 0)) ||
        !Succeeded(BCryptCreateHash(m_State->algorithm, &m_State->hash, nullptr, 0, nullptr, 0, 0));
}

Sha256::~Sha256()
{
    if (m_State->hash)
        BCryptDestroyHash(m_State->hash);
    if (m_State->algorithm)
        BCryptCloseAlgorithmProvider(m_State->algorithm, 0);
}

bool Sha256::Update(const void* data, size_t size)
{
    // BCrypt counts bytes in a ULONG.
    auto bytes = static_cast<const UCHAR*>(data);
    while (!m_State->failed && size > 0) {
        const ULONG piece = size > std::numeric_limits<ULONG>::max() ? std::numeric_limits<ULONG>::max()
                                                                      : static_cast<ULONG>(size);
        m_State->failed = !Succeeded(BCryptHashData(m_State->hash, const_cast<PUCHAR>(bytes), piece, 0));
        bytes += piece;
        size -= piece;
    }
    return !m_State->failed;
}

std::optional<Sha256Digest> Sha256::Finish()
{
    Sha256Digest digest{};
    const bool finished =
        !m_State->failed &&
        Succeeded(BCryptFinishHash(m_State->hash, digest.data(), static_cast<ULONG>(digest.size()), 0));
    // A finished hash object accepts no more data.
    m_State->failed = true;
    if (!finished)
        return std::nullopt;
    return digest;
}
