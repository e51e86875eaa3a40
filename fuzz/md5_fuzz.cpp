// One selector picks what an input drives:
// - random sequences of CMD5's public calls, each checked against a model:
//   the counter and the errors it implies, and OpenSSL's MD5 of the bytes
//   taken in for as long as the sequence is a well-formed digest;
// - the conversion to code page 936, against the code page's own table;
// - LogonUserName, against a trim and join written out here;
// - MD5String, against OpenSSL's MD5 of the converted bytes, and the
//   overflow error exactly past 32,767 bytes.

#include "ansi_codepage.h"
#include "cmd5.h"
#include "logon_rules.h"

#include <QByteArrayView>
#include <QStringDecoder>

#include <fuzzer/FuzzedDataProvider.h>
#include <openssl/evp.h>

#include <algorithm>
#include <array>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <map>
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

// ---- texts ---------------------------------------------------------------

constexpr std::size_t MaxUpdateBytes = 32767;

bool IsHighSurrogate(char16_t unit) { return unit >= 0xD800 && unit <= 0xDBFF; }
bool IsLowSurrogate(char16_t unit) { return unit >= 0xDC00 && unit <= 0xDFFF; }

// Code units that sit on the edges of the rules turn up far more often than
// two random bytes would make them.
char16_t NextUnit(FuzzedDataProvider& input)
{
    static constexpr std::array<char16_t, 16> Edges{
        u' ',    u'\t',   u'a',    u'@',    u'\u3000', u'\u00a0', u'\u20ac', u'\u4e2d',
        u'\u0080', u'\uf8f5', u'\ufe00', u'\uffff', 0xD83D, 0xDE00, 0xD800, 0xDFFF};
    const auto pick = input.ConsumeIntegral<std::uint8_t>();
    if (pick < 2 * Edges.size())
        return Edges[pick % Edges.size()];
    if (pick < 0xC0)
        return static_cast<char16_t>(pick & 0x7F);
    return input.ConsumeIntegral<char16_t>();
}

std::u16string NextText(FuzzedDataProvider& input, std::size_t most)
{
    std::u16string text;
    const auto size = input.ConsumeIntegralInRange<std::size_t>(0, most);
    while (text.size() < size && input.remaining_bytes() > 0)
        text += NextUnit(input);
    return text;
}

// Now and then a text long enough to cross the limit of one digest update.
std::u16string MaybeLengthened(FuzzedDataProvider& input, std::u16string text)
{
    if (text.empty() || input.ConsumeIntegralInRange(0, 7) != 0)
        return text;
    const auto target = input.ConsumeIntegralInRange<std::size_t>(MaxUpdateBytes / 2, MaxUpdateBytes + 64);
    const std::u16string unit = text;
    while (text.size() < target)
        text += unit;
    return text;
}

// What code page 936 holds for each code point, read off its decoding
// direction: every one- and two-byte sequence that decodes to one code unit.
const std::map<char16_t, std::string>& CodePageTable()
{
    static const auto table = [] {
        std::map<char16_t, std::string> entries;
        QStringDecoder decoder("CP936", QStringConverter::Flag::Stateless);
        const auto add = [&](std::string bytes) {
            const QString decoded = decoder.decode(QByteArrayView(bytes.data(), static_cast<qsizetype>(bytes.size())));
            if (decoded.size() == 1 && decoded[0] != QChar::ReplacementCharacter)
                entries.emplace(decoded[0].unicode(), std::move(bytes));
        };
        for (int lead = 0x80; lead <= 0xFF; ++lead) {
            add(std::string(1, static_cast<char>(lead)));
            for (int trail = 0x40; trail <= 0xFE; ++trail)
                add({static_cast<char>(lead), static_cast<char>(trail)});
        }
        Expect(entries.size() > 20000, "code page 936 is not available");
        return entries;
    }();
    return table;
}

// The bytes the conversion must give: ASCII as itself, a code point the
// table holds as its bytes, anything else (a lone surrogate, a pair, an
// unmapped BMP code point) as one '?'. Also counts the code points.
std::string ExpectedAnsi(std::u16string_view text, std::size_t& codePoints)
{
    std::string bytes;
    codePoints = 0;
    for (std::size_t i = 0; i < text.size(); ++i, ++codePoints) {
        const char16_t unit = text[i];
        if (IsHighSurrogate(unit) && i + 1 < text.size() && IsLowSurrogate(text[i + 1])) {
            bytes += '?';
            ++i;
        } else if (unit < 0x80) {
            bytes += static_cast<char>(unit);
        } else {
            const auto entry = CodePageTable().find(unit);
            bytes += entry != CodePageTable().end() ? entry->second : std::string("?");
        }
    }
    return bytes;
}

void CheckConversion(FuzzedDataProvider& input)
{
    const std::u16string text = NextText(input, 400);
    const AnsiBytes ansi = portauth::ToAnsiCodePage(text);
    const std::string actual(reinterpret_cast<const char*>(ansi.bytes().data()), ansi.bytes().size());
    std::size_t codePoints = 0;
    const std::string expected = ExpectedAnsi(text, codePoints);
    Expect(actual.size() >= codePoints && actual.size() <= 2 * codePoints, "ANSI length out of bounds");
    Expect(actual == expected, "ANSI conversion disagrees with the code page");
}

std::u16string_view TrimmedOfSpaces(std::u16string_view text)
{
    std::size_t first = 0;
    std::size_t end = text.size();
    while (first < end && text[first] == u' ')
        ++first;
    while (end > first && text[end - 1] == u' ')
        --end;
    return text.substr(first, end - first);
}

void CheckLogonUserName(FuzzedDataProvider& input)
{
    const std::u16string account = NextText(input, 200);
    const std::u16string ip = NextText(input, 200);
    const std::u16string expected =
        std::u16string(TrimmedOfSpaces(account)) + u'@' + std::u16string(TrimmedOfSpaces(ip));
    Expect(portauth::LogonUserName(account, ip) == expected, "LogonUserName is not the trimmed parts joined by @");
}

void CheckMD5String(FuzzedDataProvider& input)
{
    const std::u16string text = MaybeLengthened(input, NextText(input, 300));
    const AnsiBytes ansi = portauth::ToAnsiCodePage(text);
    bool overflowed = false;
    std::string digest;
    try {
        digest = portauth::MD5String(text);
    } catch (const NumberedError& error) {
        Expect(error.number() == portauth::ErrorNumber::Overflow, "MD5String raised an error other than overflow");
        overflowed = true;
    }
    Expect(overflowed == (ansi.bytes().size() > MaxUpdateBytes), "MD5String overflow is not exactly past 32,767 bytes");
    if (overflowed)
        return;
    OpenSslMd5 reference;
    reference.update(ansi.bytes());
    std::string expected = reference.hexDigest();
    std::transform(expected.begin(), expected.end(), expected.begin(),
                   [](char c) { return c >= 'A' && c <= 'F' ? static_cast<char>(c - 'A' + 'a') : c; });
    Expect(digest == expected, "MD5String disagrees with OpenSSL");
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    FuzzedDataProvider input(data, size);
    switch (input.ConsumeIntegralInRange(0, 3)) {
    case 0: {
        Session session(input);
        while (input.remaining_bytes() > 0)
            session.step();
        break;
    }
    case 1: CheckConversion(input); break;
    case 2: CheckLogonUserName(input); break;
    default: CheckMD5String(input); break;
    }
    return 0;
}
