// OpenSSL's MD5 is the oracle: the input cut into updates of random sizes
// must give its digest, and the input read as UTF-16 text must give as
// password the digest of its bytes in code page 936. The same text, cut in
// two, must give the user name that the rule, restated plainly, gives. A
// failed check aborts, and the fuzzer reports the line. The limit of one
// update is the unit tests' business: inputs stay far below it, so that the
// fuzzer spends its time where the branches are.

#include "ansi_codepage.h"
#include "cmd5.h"
#include "logon_rules.h"
#include "reference_md5.h"

#include <fuzzer/FuzzedDataProvider.h>

#include <algorithm>
#include <cassert>
#include <string>
#include <vector>

namespace {

using namespace portauth;

std::vector<std::uint8_t> DigestInPieces(FuzzedDataProvider& input)
{
    CMD5 md5;
    md5.MD5Init();
    std::vector<std::uint8_t> taken;
    while (input.remaining_bytes() > 0) {
        const auto piece = input.ConsumeBytes<std::uint8_t>(input.ConsumeIntegralInRange<std::size_t>(0, 300));
        md5.MD5Update(static_cast<std::int32_t>(piece.size()), piece);
        taken.insert(taken.end(), piece.begin(), piece.end());
    }
    md5.MD5Final();
    assert(md5.GetValues() == ReferenceMd5(taken));
    return taken;
}

std::u16string WithoutOuterSpaces(const std::u16string& text)
{
    const std::size_t first = text.find_first_not_of(u' ');
    return first == text.npos ? u"" : text.substr(first, text.find_last_not_of(u' ') + 1 - first);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    FuzzedDataProvider input(data, size);
    const std::uint8_t cut = input.ConsumeIntegral<std::uint8_t>();
    const std::vector<std::uint8_t> taken = DigestInPieces(input);

    std::u16string text;
    for (std::size_t i = 0; i + 1 < taken.size(); i += 2)
        text += static_cast<char16_t>(taken[i] | taken[i + 1] << 8);
    std::string expected = ReferenceMd5(ToAnsiCodePage(text).bytes());
    std::ranges::transform(expected, expected.begin(), [](char c) { return c >= 'A' ? static_cast<char>(c | 0x20) : c; });
    assert(MD5String(text) == expected);

    const std::u16string account = text.substr(0, cut % (text.size() + 1));
    const std::u16string ip = text.substr(account.size());
    assert(LogonUserName(account, ip) == WithoutOuterSpaces(account) + u'@' + WithoutOuterSpaces(ip));
    return 0;
}
