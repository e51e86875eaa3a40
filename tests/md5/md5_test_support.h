#pragma once

#include "numbered_error.h"

#include <openssl/evp.h>

#include <cstdint>
#include <functional>
#include <memory>
#include <random>
#include <span>
#include <string>
#include <vector>

namespace portauth::testing {

using Bytes = std::vector<std::uint8_t>;

// OpenSSL's MD5, fed piece by piece, as the independent reference.
class ReferenceMd5 {
public:
    ReferenceMd5() { EVP_DigestInit_ex(context_.get(), EVP_md5(), nullptr); }

    void update(std::span<const std::uint8_t> bytes) { EVP_DigestUpdate(context_.get(), bytes.data(), bytes.size()); }

    std::string hexDigest() const
    {
        Context copy(EVP_MD_CTX_new(), &EVP_MD_CTX_free);
        EVP_MD_CTX_copy_ex(copy.get(), context_.get());
        unsigned char digest[EVP_MAX_MD_SIZE];
        unsigned int size = 0;
        EVP_DigestFinal_ex(copy.get(), digest, &size);
        std::string text;
        for (unsigned int i = 0; i < size; ++i)
            text += {"0123456789ABCDEF"[digest[i] >> 4], "0123456789ABCDEF"[digest[i] & 0xF]};
        return text;
    }

private:
    using Context = std::unique_ptr<EVP_MD_CTX, decltype(&EVP_MD_CTX_free)>;
    Context context_{EVP_MD_CTX_new(), &EVP_MD_CTX_free};
};

inline std::string ReferenceDigest(std::span<const std::uint8_t> bytes)
{
    ReferenceMd5 md5;
    md5.update(bytes);
    return md5.hexDigest();
}

inline Bytes RandomBytes(std::size_t size, unsigned seed)
{
    std::mt19937 random(seed);
    Bytes bytes(size);
    for (auto& byte : bytes)
        byte = static_cast<std::uint8_t>(random());
    return bytes;
}

// The number of the NumberedError the call raises, 0 when it raises none.
inline int ErrorOf(const std::function<void()>& call)
{
    try {
        call();
    } catch (const NumberedError& error) {
        return static_cast<int>(error.number());
    }
    return 0;
}

} // namespace portauth::testing
