#include "cmd5.h"

#include "ansi_codepage.h"

#include <algorithm>
#include <bit>
#include <cstring>
#include <limits>
#include <memory>
#include <utility>
#include <vector>

namespace portauth {
namespace {

constexpr std::size_t BlockSize = 64;
constexpr std::int32_t MaxUpdateLength = 32767;
// The padding records the length as a signed 32-bit count of bits, so the
// counter must stay within an eighth of that range at MD5Final (a negative
// InputLen can push it below zero).
constexpr std::int32_t MaxDigestLength = 268435455;
constexpr std::int32_t LowestCounterAtFinal = std::numeric_limits<std::int32_t>::min() / 8;

[[noreturn]] void Raise(ErrorNumber number)
{
    throw NumberedError(number);
}

// The round functions, in the forms with the fewest operations waiting on b.
constexpr std::uint32_t F(std::uint32_t b, std::uint32_t c, std::uint32_t d)
{
    return d ^ (b & (c ^ d));
}

// (b AND d) and (c AND NOT d) share no bits, so their sum equals their OR,
// and the half without b can be computed before b is known.
constexpr std::uint32_t G(std::uint32_t b, std::uint32_t c, std::uint32_t d)
{
    return (d & b) + (~d & c);
}

constexpr std::uint32_t H(std::uint32_t b, std::uint32_t c, std::uint32_t d)
{
    return b ^ c ^ d;
}

constexpr std::uint32_t I(std::uint32_t b, std::uint32_t c, std::uint32_t d)
{
    return c ^ (b | ~d);
}

// The counter after taking InputLen more bytes out of a buffer holding
// `available`; raises before anything changes.
std::int32_t CounterAfterUpdate(std::int32_t counter, std::int32_t InputLen, std::size_t available)
{
    const std::int64_t sum = std::int64_t{counter} + InputLen;
    if (sum > std::numeric_limits<std::int32_t>::max() || sum < std::numeric_limits<std::int32_t>::min())
        Raise(ErrorNumber::Overflow);
    if (InputLen > MaxUpdateLength)
        Raise(ErrorNumber::Overflow);
    if (InputLen > 0 && static_cast<std::size_t>(InputLen) > available)
        Raise(ErrorNumber::SubscriptOutOfRange);
    return static_cast<std::int32_t>(sum);
}

std::int32_t ClampedLength(std::size_t size)
{
    constexpr auto Largest = static_cast<std::size_t>(std::numeric_limits<std::int32_t>::max());
    return static_cast<std::int32_t>(std::min(size, Largest));
}

} // namespace

// ---- arithmetic and the step operations -----------------------------------

constexpr CMD5::Word CMD5::UnsignedToLong(double value)
{
    constexpr double WordRange = 4294967296.0;
    if (!(value >= 0.0 && value < WordRange) || static_cast<double>(static_cast<Word>(value)) != value)
        Raise(ErrorNumber::Overflow);
    return static_cast<Word>(value);
}

constexpr CMD5::Word CMD5::LongAdd(Word x, Word y) noexcept
{
    return x + y;
}

constexpr CMD5::Word CMD5::LongAdd4(Word w, Word x, Word y, Word z) noexcept
{
    return w + x + y + z;
}

constexpr void CMD5::FF(Word& a, Word b, Word c, Word d, Word x, int s, Word ac) noexcept
{
    a = LongAdd(b, std::rotl(LongAdd4(a, F(b, c, d), x, ac), s));
}

constexpr void CMD5::GG(Word& a, Word b, Word c, Word d, Word x, int s, Word ac) noexcept
{
    a = LongAdd(b, std::rotl(LongAdd4(a, G(b, c, d), x, ac), s));
}

constexpr void CMD5::HH(Word& a, Word b, Word c, Word d, Word x, int s, Word ac) noexcept
{
    a = LongAdd(b, std::rotl(LongAdd4(a, H(b, c, d), x, ac), s));
}

constexpr void CMD5::II(Word& a, Word b, Word c, Word d, Word x, int s, Word ac) noexcept
{
    a = LongAdd(b, std::rotl(LongAdd4(a, I(b, c, d), x, ac), s));
}

// ---- engine ----------------------------------------------------------------

CMD5::~CMD5()
{
    WipeBytes(ByteBuffer.data(), ByteBuffer.size());
    WipeBytes(State.data(), sizeof State);
    WipeBytes(&ByteCounter, sizeof ByteCounter);
}

void CMD5::MD5Init()
{
    // Evaluated while compiling, so a starting value that does not fit a
    // word is a build error.
    static constexpr std::array<Word, 4> Start{UnsignedToLong(0x67452301), UnsignedToLong(0xEFCDAB89),
                                               UnsignedToLong(0x98BADCFE), UnsignedToLong(0x10325476)};
    State = Start;
    ByteCounter = 0;
}

void CMD5::MD5Update(std::int32_t InputLen, std::span<const std::uint8_t> InputBuffer)
{
    const std::int32_t counter = CounterAfterUpdate(ByteCounter, InputLen, InputBuffer.size());
    // Masking keeps the fill level inside the block even for a counter that
    // a negative InputLen has pushed below zero.
    const auto fill = static_cast<std::size_t>(ByteCounter & 63);
    ByteCounter = counter;
    if (InputLen <= 0)
        return;

    auto input = InputBuffer.first(static_cast<std::size_t>(InputLen));
    if (fill > 0) {
        const std::size_t taken = std::min(input.size(), BlockSize - fill);
        std::copy_n(input.data(), taken, ByteBuffer.data() + fill);
        if (fill + taken < BlockSize)
            return;
        MD5Transform(ByteBuffer);
        input = input.subspan(taken);
    }
    // Whole blocks are compressed where they lie, without a copy.
    for (; input.size() >= BlockSize; input = input.subspan(BlockSize))
        MD5Transform(input.first<BlockSize>());
    std::copy_n(input.data(), input.size(), ByteBuffer.data());
}

void CMD5::MD5Final()
{
    if (ByteCounter > MaxDigestLength || ByteCounter < LowestCounterAtFinal)
        Raise(ErrorNumber::Overflow);
    const auto bitCount = static_cast<Word>(ByteCounter * 8);

    std::array<std::uint8_t, BlockSize> padding{0x80};
    const std::int32_t fill = ByteCounter & 63;
    MD5Update(fill < 56 ? 56 - fill : 120 - fill, padding);

    // The upper half of the 64-bit length is zero within the digest limit.
    const std::array<std::uint8_t, 8> length{
        static_cast<std::uint8_t>(bitCount), static_cast<std::uint8_t>(bitCount >> 8),
        static_cast<std::uint8_t>(bitCount >> 16), static_cast<std::uint8_t>(bitCount >> 24), 0, 0, 0, 0};
    MD5Update(static_cast<std::int32_t>(length.size()), length);
}

inline void CMD5::Decode(std::span<Word, 16> output, Block input) noexcept
{
    if constexpr (std::endian::native == std::endian::little) {
        std::memcpy(output.data(), input.data(), input.size());
    } else {
        for (std::size_t k = 0; k < output.size(); ++k)
            output[k] = Word{input[4 * k]} | Word{input[4 * k + 1]} << 8 | Word{input[4 * k + 2]} << 16 |
                        Word{input[4 * k + 3]} << 24;
    }
}

void CMD5::MD5Transform(Block block) noexcept
{
    std::array<Word, 16> x;
    Decode(x, block);
    Word a = State[0];
    Word b = State[1];
    Word c = State[2];
    Word d = State[3];

    FF(a, b, c, d, x[0], 7, 0xD76AA478);
    FF(d, a, b, c, x[1], 12, 0xE8C7B756);
    FF(c, d, a, b, x[2], 17, 0x242070DB);
    FF(b, c, d, a, x[3], 22, 0xC1BDCEEE);
    FF(a, b, c, d, x[4], 7, 0xF57C0FAF);
    FF(d, a, b, c, x[5], 12, 0x4787C62A);
    FF(c, d, a, b, x[6], 17, 0xA8304613);
    FF(b, c, d, a, x[7], 22, 0xFD469501);
    FF(a, b, c, d, x[8], 7, 0x698098D8);
    FF(d, a, b, c, x[9], 12, 0x8B44F7AF);
    FF(c, d, a, b, x[10], 17, 0xFFFF5BB1);
    FF(b, c, d, a, x[11], 22, 0x895CD7BE);
    FF(a, b, c, d, x[12], 7, 0x6B901122);
    FF(d, a, b, c, x[13], 12, 0xFD987193);
    FF(c, d, a, b, x[14], 17, 0xA679438E);
    FF(b, c, d, a, x[15], 22, 0x49B40821);

    GG(a, b, c, d, x[1], 5, 0xF61E2562);
    GG(d, a, b, c, x[6], 9, 0xC040B340);
    GG(c, d, a, b, x[11], 14, 0x265E5A51);
    GG(b, c, d, a, x[0], 20, 0xE9B6C7AA);
    GG(a, b, c, d, x[5], 5, 0xD62F105D);
    GG(d, a, b, c, x[10], 9, 0x02441453);
    GG(c, d, a, b, x[15], 14, 0xD8A1E681);
    GG(b, c, d, a, x[4], 20, 0xE7D3FBC8);
    GG(a, b, c, d, x[9], 5, 0x21E1CDE6);
    GG(d, a, b, c, x[14], 9, 0xC33707D6);
    GG(c, d, a, b, x[3], 14, 0xF4D50D87);
    GG(b, c, d, a, x[8], 20, 0x455A14ED);
    GG(a, b, c, d, x[13], 5, 0xA9E3E905);
    GG(d, a, b, c, x[2], 9, 0xFCEFA3F8);
    GG(c, d, a, b, x[7], 14, 0x676F02D9);
    GG(b, c, d, a, x[12], 20, 0x8D2A4C8A);

    HH(a, b, c, d, x[5], 4, 0xFFFA3942);
    HH(d, a, b, c, x[8], 11, 0x8771F681);
    HH(c, d, a, b, x[11], 16, 0x6D9D6122);
    HH(b, c, d, a, x[14], 23, 0xFDE5380C);
    HH(a, b, c, d, x[1], 4, 0xA4BEEA44);
    HH(d, a, b, c, x[4], 11, 0x4BDECFA9);
    HH(c, d, a, b, x[7], 16, 0xF6BB4B60);
    HH(b, c, d, a, x[10], 23, 0xBEBFBC70);
    HH(a, b, c, d, x[13], 4, 0x289B7EC6);
    HH(d, a, b, c, x[0], 11, 0xEAA127FA);
    HH(c, d, a, b, x[3], 16, 0xD4EF3085);
    HH(b, c, d, a, x[6], 23, 0x04881D05);
    HH(a, b, c, d, x[9], 4, 0xD9D4D039);
    HH(d, a, b, c, x[12], 11, 0xE6DB99E5);
    HH(c, d, a, b, x[15], 16, 0x1FA27CF8);
    HH(b, c, d, a, x[2], 23, 0xC4AC5665);

    II(a, b, c, d, x[0], 6, 0xF4292244);
    II(d, a, b, c, x[7], 10, 0x432AFF97);
    II(c, d, a, b, x[14], 15, 0xAB9423A7);
    II(b, c, d, a, x[5], 21, 0xFC93A039);
    II(a, b, c, d, x[12], 6, 0x655B59C3);
    II(d, a, b, c, x[3], 10, 0x8F0CCC92);
    II(c, d, a, b, x[10], 15, 0xFFEFF47D);
    II(b, c, d, a, x[1], 21, 0x85845DD1);
    II(a, b, c, d, x[8], 6, 0x6FA87E4F);
    II(d, a, b, c, x[15], 10, 0xFE2CE6E0);
    II(c, d, a, b, x[6], 15, 0xA3014314);
    II(b, c, d, a, x[13], 21, 0x4E0811A1);
    II(a, b, c, d, x[4], 6, 0xF7537E82);
    II(d, a, b, c, x[11], 10, 0xBD3AF235);
    II(c, d, a, b, x[2], 15, 0x2AD7D2BB);
    II(b, c, d, a, x[9], 21, 0xEB86D391);

    State[0] = LongAdd(State[0], a);
    State[1] = LongAdd(State[1], b);
    State[2] = LongAdd(State[2], c);
    State[3] = LongAdd(State[3], d);
}

std::int32_t CMD5::LongLeftRotate(std::int32_t& value, std::int32_t& Bits)
{
    Bits %= 32; // truncating, so the remainder keeps the sign of Bits
    if (Bits >= 1)
        value = static_cast<std::int32_t>(std::rotl(static_cast<Word>(value), Bits));
    return value;
}

// ---- entry points and text -------------------------------------------------

std::string CMD5::Md5_String_Calc(std::u16string_view SourceString)
{
    MD5Init();
    const AnsiBytes ansi = StringToAnsiBytes(SourceString);
    MD5Update(ClampedLength(ansi.bytes().size()), ansi.bytes());
    MD5Final();
    return GetValues();
}

std::string CMD5::MD5_Buffer_Calc(std::span<const std::uint8_t> b) noexcept
{
    if (b.size() > static_cast<std::size_t>(MaxDigestLength))
        return {};
    // A multiple of the block size keeps every whole block on the direct path.
    constexpr std::size_t PieceSize = MaxUpdateLength / BlockSize * BlockSize;
    try {
        MD5Init();
        for (std::size_t at = 0; at < b.size(); at += PieceSize) {
            const auto piece = b.subspan(at, std::min(PieceSize, b.size() - at));
            MD5Update(static_cast<std::int32_t>(piece.size()), piece);
        }
        MD5Final();
        return GetValues();
    } catch (...) {
        // Within the length limit only the allocation of the text can fail.
        return {};
    }
}

std::string CMD5::GetValues() const
{
    return RegisterToHex(State[0]) + RegisterToHex(State[1]) + RegisterToHex(State[2]) + RegisterToHex(State[3]);
}

std::string CMD5::RegisterA() const
{
    return std::to_string(static_cast<std::int32_t>(State[0]));
}

std::string CMD5::RegisterB() const
{
    return std::to_string(static_cast<std::int32_t>(State[1]));
}

std::string CMD5::RegisterC() const
{
    return std::to_string(static_cast<std::int32_t>(State[2]));
}

std::string CMD5::RegisterD() const
{
    return std::to_string(static_cast<std::int32_t>(State[3]));
}

AnsiBytes CMD5::StringToAnsiBytes(std::u16string_view text)
{
    return ToAnsiCodePage(text);
}

std::string CMD5::RegisterToHex(Word value)
{
    static constexpr char Digits[] = "0123456789ABCDEF";
    std::string text(8, '0');
    // Least significant byte first, each byte high nibble first.
    for (std::size_t i = 0; i < 4; ++i) {
        const Word byte = (value >> (8 * i)) & 0xFF;
        text[2 * i] = Digits[byte >> 4];
        text[2 * i + 1] = Digits[byte & 0xF];
    }
    return text;
}

} // namespace portauth
