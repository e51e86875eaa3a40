#include "reference_md5.h"

#include <array>
#include <stdexcept>

#ifdef _WIN32
#ifndef NOMINMAX
#define NOMINMAX
#endif
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>
#include <bcrypt.h>
#else
#include <openssl/evp.h>
#endif

namespace {

using Digest = std::array<unsigned char, 16>;

#ifdef _WIN32

Digest Md5(std::span<const std::uint8_t> bytes)
{
    BCRYPT_ALG_HANDLE algorithm = nullptr;
    if (!BCRYPT_SUCCESS(BCryptOpenAlgorithmProvider(&algorithm, BCRYPT_MD5_ALGORITHM, nullptr, 0)))
        throw std::runtime_error("no MD5 provider");
    Digest digest{};
    // BCryptHash takes a non-const pointer and a 32-bit length.
    const NTSTATUS status = BCryptHash(algorithm, nullptr, 0, const_cast<PUCHAR>(bytes.data()),
                                       static_cast<ULONG>(bytes.size()), digest.data(), digest.size());
    BCryptCloseAlgorithmProvider(algorithm, 0);
    if (!BCRYPT_SUCCESS(status))
        throw std::runtime_error("BCryptHash failed");
    return digest;
}

#else

Digest Md5(std::span<const std::uint8_t> bytes)
{
    Digest digest{};
    if (EVP_Digest(bytes.data(), bytes.size(), digest.data(), nullptr, EVP_md5(), nullptr) != 1)
        throw std::runtime_error("EVP_Digest failed");
    return digest;
}

#endif

} // namespace

std::string ReferenceMd5(std::span<const std::uint8_t> bytes)
{
    std::string hex;
    for (const unsigned char byte : Md5(bytes))
        hex += {"0123456789ABCDEF"[byte >> 4], "0123456789ABCDEF"[byte & 0xF]};
    return hex;
}
