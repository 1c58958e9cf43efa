#include <openssl/evp.h>

#include "bench/sha256.h"

struct Sha256::State {
    EVP_MD_CTX* context = nullptr;
    bool failed = false;
};

Sha256::Sha256() : m_State(std::make_unique<State>())
{
    m_State->context = EVP_MD_CTX_new();
    m_State->failed = !m_State->context || EVP_DigestInit_ex(m_State->context, EVP_sha256(), nullptr) != 1;
}

Sha256::~Sha256()
{
    EVP_MD_CTX_free(m_State->context);
}

bool Sha256::Update(const void* data, size_t size)
{
    if (!m_State->failed && size > 0)
        m_State->failed = EVP_DigestUpdate(m_State->context, data, size) != 1;
    return !m_State->failed;
}

std::optional<Sha256Digest> Sha256::Finish()
{
    Sha256Digest digest{};
    unsigned int length = 0;
    if (m_State->failed || EVP_DigestFinal_ex(m_State->context, digest.data(), &length) != 1 ||
        length != digest.size()) {
        m_State->failed = true;
        return std::nullopt;
    }
    // Finalising leaves the context unusable until it is initialised again.
    m_State->failed = true;
    return digest;
}
