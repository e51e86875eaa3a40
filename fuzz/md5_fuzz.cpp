// Drives random sequences of CMD5's public calls and checks each against a
// model: the counter and the errors it implies, and OpenSSL's MD5 of the
// bytes taken in for as long as the sequence is a well-formed digest.

#include "ansi_codepage.h"
#include "cmd5.h"

#include <fuzzer/FuzzedDataProvider.h>
#include <openssl/evp.h>

#include <algorithm>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <span>
#include <string>
#include <vector>

namespace {

using portauth::AnsiBytes;
using portauth::CMD5;
using portauth::NumberedError;
using Bytes = std::vector<std::uint8_t>;

void Expect(bool holds, const char* what)
{
    if (!holds) {
        std::fprintf(stderr, "md5_fuzz: %s\n", what);
        std::abort();
    }
}

std::string UpperHex(const unsigned char* bytes, std::size_t size)
{
    static constexpr char Digits[] = "0123456789ABCDEF";
    std::string text;
    for (std::size_t i = 0; i < size; ++i) {
        text += Digits[bytes[i] >> 4];
        text += Digits[bytes[i] & 0xF];
    }
    return text;
}

class OpenSslMd5 {
public:
    OpenSslMd5() { restart(); }
    void restart() { EVP_DigestInit_ex(context_.get(), EVP_md5(), nullptr); }
    void update(std::span<const std::uint8_t> bytes) { EVP_DigestUpdate(context_.get(), bytes.data(), bytes.size()); }
    std::string hexDigest() const
    {
        std::unique_ptr<EVP_MD_CTX, decltype(&EVP_MD_CTX_free)> copy(EVP_MD_CTX_new(), &EVP_MD_CTX_free);
        EVP_MD_CTX_copy_ex(copy.get(), context_.get());
        unsigned char digest[EVP_MAX_MD_SIZE];
        unsigned size = 0;
        EVP_DigestFinal_ex(copy.get(), digest, &size);
        return UpperHex(digest, size);
    }

private:
    std::unique_ptr<EVP_MD_CTX, decltype(&EVP_MD_CTX_free)> context_{EVP_MD_CTX_new(), &EVP_MD_CTX_free};
};

int ErrorNumberOf(const NumberedError& error)
{
    return static_cast<int>(error.number());
}

// What the object must hold after each call. A new object has zero registers
// and a lowered counter gives no defined digest, so comparing with OpenSSL
// waits for the next MD5Init then.
class Model {
public:
    void init()
    {
        counter_ = 0;
        comparable_ = true;
        reference_.restart();
    }

    int updateError(std::int32_t length, std::size_t available) const
    {
        const std::int64_t sum = counter_ + length;
        if (sum > INT_MAX || sum < INT_MIN || length > 32767)
            return 6;
        if (length > 0 && static_cast<std::size_t>(length) > available)
            return 9;
        return 0;
    }

    void update(std::int32_t length, std::span<const std::uint8_t> buffer)
    {
        counter_ += length;
        if (length < 0)
            comparable_ = false;
        else if (comparable_)
            reference_.update(buffer.first(static_cast<std::size_t>(length)));
    }

    int finalError() const { return counter_ > (1 << 28) - 1 || counter_ < -(1 << 28) ? 6 : 0; }

    // The digest the registers must show, or empty when none is defined.
    std::string finish()
    {
        const std::string digest = comparable_ ? reference_.hexDigest() : std::string();
        const auto fill = static_cast<std::int32_t>(counter_ & 63);
        const auto bits = static_cast<std::uint32_t>(counter_ * 8);
        Bytes tail(static_cast<std::size_t>(fill < 56 ? 56 - fill : 120 - fill), 0);
        tail[0] = 0x80;
        for (int shift = 0; shift < 64; shift += 8)
            tail.push_back(shift < 32 ? static_cast<std::uint8_t>(bits >> shift) : 0);
        update(static_cast<std::int32_t>(tail.size()), tail);
        return digest;
    }

private:
    std::int64_t counter_ = 0;
    bool comparable_ = false;
    OpenSslMd5 reference_;
};

class Session {
public:
    explicit Session(FuzzedDataProvider& input) : input_(input) {}

    void step()
    {
        switch (input_.ConsumeIntegralInRange(0, 7)) {
        case 0:
            md5_.MD5Init();
            model_.init();
            break;
        case 1: update(); break;
        case 2: final(); break;
        case 3: checkRegisters(); break;
        case 4: rotate(); break;
        case 5: bufferCalc(); break;
        case 6: stringCalc(); break;
        default: update(); break;
        }
    }

private:
    Bytes bytes(std::size_t most) { return input_.ConsumeBytes<std::uint8_t>(input_.ConsumeIntegralInRange<std::size_t>(0, most)); }

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
        const int expected = model_.updateError(count, buffer.size());
        const std::string before = md5_.GetValues();
        int raised = 0;
        try {
            md5_.MD5Update(count, buffer);
        } catch (const NumberedError& error) {
            raised = ErrorNumberOf(error);
        }
        Expect(raised == expected, "MD5Update raised the wrong error");
        if (raised != 0)
            Expect(md5_.GetValues() == before, "a refused MD5Update changed the registers");
        else
            model_.update(count, buffer);
    }

    void final()
    {
        const std::string before = md5_.GetValues();
        int raised = 0;
        try {
            md5_.MD5Final();
        } catch (const NumberedError& error) {
            raised = ErrorNumberOf(error);
        }
        Expect(raised == model_.finalError(), "MD5Final raised the wrong error");
        if (raised != 0) {
            Expect(md5_.GetValues() == before, "a refused MD5Final changed the registers");
            return;
        }
        const std::string digest = model_.finish();
        Expect(digest.empty() || md5_.GetValues() == digest, "MD5Final disagrees with OpenSSL");
    }

    // The decimal registers must be the signed reading of the hex bytes.
    void checkRegisters()
    {
        const std::string hex = md5_.GetValues();
        const std::string decimal[] = {md5_.RegisterA(), md5_.RegisterB(), md5_.RegisterC(), md5_.RegisterD()};
        Expect(hex.size() == 32 && md5_.GetValues() == hex, "GetValues is unstable");
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
        const std::string digest = md5_.MD5_Buffer_Calc(buffer);
        model_.init();
        model_.update(static_cast<std::int32_t>(buffer.size()), buffer);
        Expect(digest == model_.finish(), "MD5_Buffer_Calc disagrees with OpenSSL");
    }

    void stringCalc()
    {
        const Bytes raw = bytes(600);
        std::u16string text;
        for (std::size_t i = 0; i + 1 < raw.size(); i += 2)
            text += static_cast<char16_t>(raw[i] | raw[i + 1] << 8);
        const AnsiBytes ansi = portauth::ToAnsiCodePage(text);
        checkAnsi(text, ansi.bytes());

        const std::string digest = md5_.Md5_String_Calc(text);
        model_.init();
        model_.update(static_cast<std::int32_t>(ansi.bytes().size()), ansi.bytes());
        Expect(digest == model_.finish(), "Md5_String_Calc disagrees with OpenSSL");
    }

    // Every code point gives one or two bytes; ASCII gives itself.
    static void checkAnsi(std::u16string_view text, std::span<const std::uint8_t> ansi)
    {
        std::size_t codePoints = 0;
        bool ascii = true;
        for (std::size_t i = 0; i < text.size(); ++i, ++codePoints) {
            ascii = ascii && text[i] < 0x80;
            const bool pair = text[i] >= 0xD800 && text[i] <= 0xDBFF && i + 1 < text.size() &&
                              text[i + 1] >= 0xDC00 && text[i + 1] <= 0xDFFF;
            i += pair ? 1 : 0;
        }
        Expect(ansi.size() >= codePoints && ansi.size() <= 2 * codePoints, "ANSI length out of bounds");
        if (ascii)
            Expect(std::equal(text.begin(), text.end(), ansi.begin(), ansi.end()), "ASCII changed in conversion");
    }

    FuzzedDataProvider& input_;
    CMD5 md5_;
    Model model_;
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    FuzzedDataProvider input(data, size);
    Session session(input);
    while (input.remaining_bytes() > 0)
        session.step();
    return 0;
}
