#include "reference_md5.h"

#include <array>

#ifdef _WIN32
#include <windows.h>
#include <bcrypt.h>
#else
#include <openssl/evp.h>
#endif

// A failing library leaves the digest zero, which no test expects.
std::string ReferenceMd5(std::span<const std::uint8_t> bytes)
{
    std::array<unsigned char, 16> digest{};
#ifdef _WIN32
    BCRYPT_ALG_HANDLE algorithm = nullptr;
    if (BCRYPT_SUCCESS(BCryptOpenAlgorithmProvider(&algorithm, BCRYPT_MD5_ALGORITHM, nullptr, 0))) {
        // BCryptHash takes a non-const pointer and a 32-bit length.
        BCryptHash(algorithm, nullptr, 0, const_cast<PUCHAR>(bytes.data()), static_cast<ULONG>(bytes.size()),
                   digest.data(), digest.size());
        BCryptCloseAlgorithmProvider(algorithm, 0);
    }
#else
    EVP_Digest(bytes.data(), bytes.size(), digest.data(), nullptr, EVP_md5(), nullptr);
#endif
    std::string hex;
    for (const unsigned char byte : digest)
        hex += {"0123456789ABCDEF"[byte >> 4], "0123456789ABCDEF"[byte & 0xF]};
    return hex;
}
