// One selector picks what an input drives:
// - random sequences of CMD5's public calls, each checked against a model:
//   the counter and the errors it implies, and OpenSSL's MD5 of the bytes
//   taken in for as long as the sequence is a well-formed digest;
// - LogonUserName, against a trim and join written out here;
// - MD5String, against OpenSSL's MD5 of the converted bytes, and the
//   overflow error exactly past 32,767 bytes.

#include "ansi_codepage.h"
#include "cmd5.h"
#include "logon_rules.h"

#include <fuzzer/FuzzedDataProvider.h>
#include <openssl/evp.h>

#include <climits>
#include <cstdio>
#include <cstdlib>
#include <span>
#include <string>
#include <vector>

namespace {

using namespace portauth;
using Bytes = std::vector<std::uint8_t>;

void Expect(bool holds, const char* what)
{
    if (!holds) {
        std::fprintf(stderr, "md5_fuzz: %s\n", what);
        std::abort();
    }
}

std::string OpenSslDigest(std::span<const std::uint8_t> bytes, const char* digits = "0123456789ABCDEF")
{
    unsigned char digest[16];
    EVP_Digest(bytes.data(), bytes.size(), digest, nullptr, EVP_md5(), nullptr);
    std::string hex;
    for (const unsigned char byte : digest)
        hex += {digits[byte >> 4], digits[byte & 0xF]};
    return hex;
}

template <class Call>
int ErrorOf(Call call)
{
    try {
        call();
    } catch (const NumberedError& error) {
        return static_cast<int>(error.number());
    }
    return 0;
}

// Drives one CMD5 object and keeps the model beside it. A new object has
// zero registers and a lowered counter gives no defined digest, so comparing
// with OpenSSL waits for the next MD5Init then.
class Session {
public:
    explicit Session(FuzzedDataProvider& input) : input_(input) {}

    void step()
    {
        switch (input_.ConsumeIntegralInRange(0, 7)) {
        case 0: md5_.MD5Init(); restart(); break;
        case 1: final(); break;
        case 2: checkRegisters(); break;
        case 3: rotate(); break;
        case 4: bufferCalc(); break;
        case 5: stringCalc(); break;
        default: update(); break;
        }
    }

private:
    void restart()
    {
        counter_ = 0;
        comparable_ = true;
        taken_.clear();
    }

    void take(std::int32_t length, std::span<const std::uint8_t> buffer)
    {
        counter_ += length;
        comparable_ = comparable_ && length >= 0;
        if (comparable_)
            taken_.insert(taken_.end(), buffer.begin(), buffer.begin() + length);
    }

    // The digest the registers must show (empty when none is defined); the
    // padding then stays in the computation, as a second MD5Final sees it.
    std::string finish()
    {
        const std::string digest = comparable_ ? OpenSslDigest(taken_) : std::string();
        const auto fill = static_cast<std::size_t>(counter_ & 63);
        const auto bits = static_cast<std::uint32_t>(counter_ * 8);
        Bytes tail(fill < 56 ? 56 - fill : 120 - fill, 0);
        tail[0] = 0x80;
        for (int shift = 0; shift < 64; shift += 8)
            tail.push_back(shift < 32 ? static_cast<std::uint8_t>(bits >> shift) : 0);
        take(static_cast<std::int32_t>(tail.size()), tail);
        return digest;
    }

    // A one-call digest leaves the object as if the bytes had gone through
    // MD5Init, MD5Update and MD5Final.
    void expectDigestOf(std::span<const std::uint8_t> bytes, const std::string& digest, const char* what)
    {
        restart();
        take(static_cast<std::int32_t>(bytes.size()), bytes);
        Expect(digest == finish(), what);
    }

    Bytes bytes(std::size_t most)
    {
        return input_.ConsumeBytes<std::uint8_t>(input_.ConsumeIntegralInRange<std::size_t>(0, most));
    }

    std::int32_t length(std::size_t available)
    {
        const auto size = static_cast<std::int32_t>(available);
        switch (input_.ConsumeIntegralInRange(0, 3)) {
        case 0: return size;
        case 1: return input_.ConsumeIntegralInRange(0, size + 2);
        case 2: return -input_.ConsumeIntegralInRange(0, 200);
        default: return input_.ConsumeIntegral<std::int32_t>();
        }
    }

    void update()
    {
        Bytes buffer = bytes(300);
        std::int32_t count = length(buffer.size());
        if (input_.ConsumeIntegralInRange(0, 15) == 0) { // the edge of one update
            buffer.assign(32768, input_.ConsumeIntegral<std::uint8_t>());
            count = 32767 + input_.ConsumeIntegralInRange(0, 1);
        }
        const std::int64_t sum = counter_ + count;
        const int expected = sum > INT_MAX || sum < INT_MIN || count > 32767             ? 6
                             : count > 0 && static_cast<std::size_t>(count) > buffer.size() ? 9
                                                                                          : 0;
        const std::string before = md5_.GetValues();
        const int raised = ErrorOf([&] { md5_.MD5Update(count, buffer); });
        Expect(raised == expected, "MD5Update raised the wrong error");
        if (raised != 0)
            Expect(md5_.GetValues() == before, "a refused MD5Update changed the registers");
        else
            take(count, buffer);
    }

    void final()
    {
        const std::string before = md5_.GetValues();
        const int raised = ErrorOf([&] { md5_.MD5Final(); });
        const bool outOfRange = counter_ > (1 << 28) - 1 || counter_ < -(1 << 28);
        Expect(raised == (outOfRange ? 6 : 0), "MD5Final raised the wrong error");
        if (raised != 0) {
            Expect(md5_.GetValues() == before, "a refused MD5Final changed the registers");
            return;
        }
        const std::string digest = finish();
        Expect(digest.empty() || md5_.GetValues() == digest, "MD5Final disagrees with OpenSSL");
    }

    // The decimal registers must be the signed reading of the hex bytes.
    void checkRegisters()
    {
        const std::string hex = md5_.GetValues();
        const std::string decimal[] = {md5_.RegisterA(), md5_.RegisterB(), md5_.RegisterC(), md5_.RegisterD()};
        for (std::size_t i = 0; i < 4; ++i) {
            std::uint32_t word = 0;
            for (std::size_t byte = 0; byte < 4; ++byte)
                word |= static_cast<std::uint32_t>(std::stoul(hex.substr(8 * i + 2 * byte, 2), nullptr, 16)) << (8 * byte);
            Expect(decimal[i] == std::to_string(static_cast<std::int32_t>(word)), "register text disagrees with hex");
        }
    }

    void rotate()
    {
        std::int32_t value = input_.ConsumeIntegral<std::int32_t>();
        std::int32_t bits = input_.ConsumeIntegral<std::int32_t>();
        const std::int64_t remainder = std::int64_t{bits} - std::int64_t{bits} / 32 * 32;
        const auto wide = static_cast<std::uint64_t>(static_cast<std::uint32_t>(value)) << (remainder > 0 ? remainder : 0);
        const auto expected = static_cast<std::int32_t>(static_cast<std::uint32_t>(wide | wide >> 32));
        const std::int32_t returned = md5_.LongLeftRotate(value, bits);
        Expect(bits == remainder, "LongLeftRotate stored the wrong Bits");
        Expect(returned == expected && value == expected, "LongLeftRotate rotated wrongly");
    }

    void bufferCalc()
    {
        const Bytes buffer = bytes(2000);
        expectDigestOf(buffer, md5_.MD5_Buffer_Calc(buffer), "MD5_Buffer_Calc disagrees with OpenSSL");
    }

    void stringCalc()
    {
        const Bytes raw = bytes(600);
        std::u16string text;
        for (std::size_t i = 0; i + 1 < raw.size(); i += 2)
            text += static_cast<char16_t>(raw[i] | raw[i + 1] << 8);
        const std::string digest = md5_.Md5_String_Calc(text);
        expectDigestOf(ToAnsiCodePage(text).bytes(), digest, "Md5_String_Calc disagrees with OpenSSL");
    }

    FuzzedDataProvider& input_;
    CMD5 md5_;
    std::int64_t counter_ = 0;
    bool comparable_ = false;
    Bytes taken_;
};

// Code units on the edges of the rules turn up far more often than two
// random bytes would make them.
std::u16string NextText(FuzzedDataProvider& input, std::size_t most)
{
    static constexpr char16_t Edges[] = {u' ',      u'\t',     u'a',      u'@',      u'\u3000', u'\u00a0',
                                         u'\u20ac', u'\u4e2d', u'\u0080', u'\uf8f5', u'\ufe00', u'\uffff',
                                         0xD83D,    0xDE00,    0xD800,    0xDFFF};
    std::u16string text;
    const auto size = input.ConsumeIntegralInRange<std::size_t>(0, most);
    while (text.size() < size && input.remaining_bytes() > 0) {
        const auto pick = input.ConsumeIntegral<std::uint8_t>();
        text += pick < 32 ? Edges[pick % 16] : pick < 0xC0 ? char16_t(pick & 0x7F) : input.ConsumeIntegral<char16_t>();
    }
    return text;
}

void CheckLogonUserName(FuzzedDataProvider& input)
{
    const std::u16string account = NextText(input, 200), ip = NextText(input, 200);
    const auto trimmed = [](std::u16string text) {
        text.erase(0, text.find_first_not_of(u' '));
        return text.erase(text.find_last_not_of(u' ') + 1);
    };
    Expect(LogonUserName(account, ip) == trimmed(account) + u'@' + trimmed(ip),
           "LogonUserName is not the trimmed parts joined by @");
}

void CheckMD5String(FuzzedDataProvider& input)
{
    std::u16string text = NextText(input, 300);
    if (!text.empty() && input.ConsumeIntegralInRange(0, 7) == 0) { // long enough to cross the limit
        const auto target = input.ConsumeIntegralInRange<std::size_t>(32767 / 2, 32767 + 64);
        for (const std::u16string unit = text; text.size() < target;)
            text += unit;
    }
    const AnsiBytes ansi = ToAnsiCodePage(text);
    std::string digest;
    const int error = ErrorOf([&] { digest = MD5String(text); });
    Expect(error == (ansi.bytes().size() > 32767 ? 6 : 0), "MD5String overflow is not exactly past 32,767 bytes");
    Expect(error != 0 || digest == OpenSslDigest(ansi.bytes(), "0123456789abcdef"), "MD5String disagrees with OpenSSL");
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    FuzzedDataProvider input(data, size);
    switch (input.ConsumeIntegralInRange(0, 2)) {
    case 0:
        for (Session session(input); input.remaining_bytes() > 0;)
            session.step();
        break;
    case 1: CheckLogonUserName(input); break;
    default: CheckMD5String(input); break;
    }
    return 0;
}
