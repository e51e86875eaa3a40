// OpenSSL's MD5 is the oracle: the input cut into updates of random sizes
// must give its digest, and the input read as UTF-16 text must give as
// password the digest of its bytes in code page 936, or the overflow error
// exactly when those pass one update. A failed check aborts, and the fuzzer
// reports the line.

#include "ansi_codepage.h"
#include "cmd5.h"
#include "logon_rules.h"

#include <fuzzer/FuzzedDataProvider.h>
#include <openssl/evp.h>

#include <algorithm>
#include <cassert>
#include <span>
#include <string>
#include <vector>

namespace {

using namespace portauth;

std::string OpenSslDigest(std::span<const std::uint8_t> bytes, const char* digits)
{
    unsigned char digest[16];
    EVP_Digest(bytes.data(), bytes.size(), digest, nullptr, EVP_md5(), nullptr);
    std::string hex;
    for (const unsigned char byte : digest)
        hex += {digits[byte >> 4], digits[byte & 0xF]};
    return hex;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    FuzzedDataProvider input(data, size);
    // Now and then the text is padded with ASCII to the limit or one byte to either side.
    const std::size_t padTo =
        input.ConsumeIntegralInRange(0, 7) == 0 ? input.ConsumeIntegralInRange<std::size_t>(32766, 32768) : 0;
    CMD5 md5;
    md5.MD5Init();
    std::vector<std::uint8_t> taken;
    while (input.remaining_bytes() > 0) {
        const auto piece = input.ConsumeBytes<std::uint8_t>(input.ConsumeIntegralInRange<std::size_t>(0, 300));
        md5.MD5Update(static_cast<std::int32_t>(piece.size()), piece);
        taken.insert(taken.end(), piece.begin(), piece.end());
    }
    md5.MD5Final();
    assert(md5.GetValues() == OpenSslDigest(taken, "0123456789ABCDEF"));

    std::u16string text;
    for (std::size_t i = 0; i + 1 < taken.size(); i += 2)
        text += static_cast<char16_t>(taken[i] | taken[i + 1] << 8);
    text.append(padTo - std::min(padTo, ToAnsiCodePage(text).bytes().size()), u'a');
    const AnsiBytes ansi = ToAnsiCodePage(text);
    try {
        assert(MD5String(text) == OpenSslDigest(ansi.bytes(), "0123456789abcdef") && ansi.bytes().size() <= 32767);
    } catch (const NumberedError& error) {
        assert(ansi.bytes().size() > 32767 && error.number() == ErrorNumber::Overflow);
    }
    return 0;
}
