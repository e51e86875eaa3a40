#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>

#include "numbered_error.h"

namespace portauth {

class AnsiBytes;

// MD5 (RFC 1321) of texts, byte buffers and files, rendered as uppercase hex.
// One object serves one computation at a time; MD5Init restarts it.
class CMD5 {
public:
    CMD5() = default;
    CMD5(const CMD5&) = delete;
    CMD5& operator=(const CMD5&) = delete;
    ~CMD5();

    // Registers read as signed 32-bit integers, in decimal.
    std::string RegisterA() const;
    std::string RegisterB() const;
    std::string RegisterC() const;
    std::string RegisterD() const;

    // Digest of the text's bytes in the ANSI code page (GBK off Windows).
    // Throws NumberedError(Overflow) past 32,767 bytes.
    std::string Md5_String_Calc(std::u16string_view SourceString);
    // Digest of all of b; the empty text past 268,435,455 bytes. Never throws.
    std::string MD5_Buffer_Calc(std::span<const std::uint8_t> b) noexcept;
    // Digest of the file's bytes; the empty text on any failure. Never throws.
    std::string Md5_File_Calc(std::u16string_view InFile) noexcept;
    std::string GetValues() const;

    void MD5Init();
    void MD5Final();
    void MD5Update(std::int32_t InputLen, std::span<const std::uint8_t> InputBuffer);
    std::int32_t LongLeftRotate(std::int32_t& value, std::int32_t& Bits);

private:
    using Word = std::uint32_t;
    using Block = std::span<const std::uint8_t, 64>;

    std::array<Word, 4> State{};               // A, B, C, D
    std::int32_t ByteCounter = 0;              // bytes taken in since MD5Init
    std::array<std::uint8_t, 64> ByteBuffer{}; // the block being filled

    static AnsiBytes StringToAnsiBytes(std::u16string_view text);
    static std::string RegisterToHex(Word value);
    void MD5Transform(Block block) noexcept;
    static inline void Decode(std::span<Word, 16> output, Block input) noexcept;
    static constexpr void FF(Word& a, Word b, Word c, Word d, Word x, int s, Word ac) noexcept;
    static constexpr void GG(Word& a, Word b, Word c, Word d, Word x, int s, Word ac) noexcept;
    static constexpr void HH(Word& a, Word b, Word c, Word d, Word x, int s, Word ac) noexcept;
    static constexpr void II(Word& a, Word b, Word c, Word d, Word x, int s, Word ac) noexcept;
    static constexpr Word LongAdd(Word x, Word y) noexcept;
    static constexpr Word LongAdd4(Word w, Word x, Word y, Word z) noexcept;
    static constexpr Word UnsignedToLong(double value);
};

} // namespace portauth
