#include "ansi_codepage.h"
#include "cmd5.h"
#include "reference_md5.h"

#include <gtest/gtest.h>

#include <array>
#include <climits>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <random>

#ifdef _WIN32
#ifndef NOMINMAX
#define NOMINMAX
#endif
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>
#endif

namespace portauth {
namespace {

namespace fs = std::filesystem;
using Bytes = std::vector<std::uint8_t>;

Bytes RandomBytes(std::size_t size, unsigned seed)
{
    std::mt19937 random(seed);
    Bytes bytes(size);
    for (auto& byte : bytes)
        byte = static_cast<std::uint8_t>(random());
    return bytes;
}

// The number of the NumberedError the call raises, 0 when it raises none.
int ErrorOf(const std::function<void()>& call)
{
    try {
        call();
    } catch (const NumberedError& error) {
        return static_cast<int>(error.number());
    }
    return 0;
}

// Every length up to five blocks, then random buffers through one object:
// each digest must depend on its own input alone.
TEST(CMD5, BuffersMatchOpenSsl)
{
    const Bytes bytes = RandomBytes(300, 1);
    for (std::size_t length = 0; length <= bytes.size(); ++length) {
        const auto message = std::span(bytes).first(length);
        EXPECT_EQ(CMD5().MD5_Buffer_Calc(message), ReferenceMd5(message)) << length << " bytes";
    }
    std::mt19937 random(20240601);
    CMD5 md5;
    for (unsigned round = 0; round < 3000; ++round) {
        const Bytes message = RandomBytes(std::uniform_int_distribution<std::size_t>(0, 5000)(random), round);
        ASSERT_EQ(md5.MD5_Buffer_Calc(message), ReferenceMd5(message)) << "round " << round;
    }
}

// One update takes at most 32,767 bytes; larger buffers still give their
// true digest up to the largest message, and the empty text past it.
TEST(CMD5, BuffersPastOneUpdateGiveTheirDigestUpToTheLimit)
{
    for (const std::size_t size : {32767u, 32768u, 32769u, 65536u + 17, 1000003u}) {
        const Bytes bytes = RandomBytes(size, 4);
        EXPECT_EQ(CMD5().MD5_Buffer_Calc(bytes), ReferenceMd5(bytes)) << size;
    }
    // Never written: the limit is checked before a byte is read.
    const auto buffer = std::make_unique_for_overwrite<std::uint8_t[]>(std::size_t{1} << 28);
    EXPECT_EQ(CMD5().MD5_Buffer_Calc({buffer.get(), std::size_t{1} << 28}), "");
}

TEST(CMD5, EverySplitIntoUpdatesGivesTheSameDigest)
{
    const Bytes message = RandomBytes(150, 2);
    const std::string expected = ReferenceMd5(message);
    const auto digestOfUpdates = [&](std::array<std::size_t, 3> cuts) {
        CMD5 md5;
        md5.MD5Init();
        for (std::size_t from = 0; const std::size_t cut : cuts) {
            md5.MD5Update(static_cast<std::int32_t>(cut - from), std::span(message).subspan(from));
            md5.MD5Update(0, {});
            from = cut;
        }
        md5.MD5Final();
        return md5.GetValues();
    };
    for (std::size_t first = 0; first <= message.size(); ++first)
        for (std::size_t second = first; second <= message.size(); ++second)
            ASSERT_EQ(digestOfUpdates({first, second, message.size()}), expected) << first << ", " << second;
}

// A refused update must leave the computation as it was: "abc" + "de" still
// hashes to the digest of "abcde".
TEST(CMD5, UpdateTakesTheBytesOrRaisesAndChangesNothing)
{
    struct Case { std::int32_t inputLen; std::size_t bufferSize; int error; };
    for (const auto [inputLen, bufferSize, error] :
         {Case{32767, 32767, 0}, Case{32768, 32768, 6}, Case{INT_MAX, 16, 6}, Case{100, 200, 0},
          Case{10, 9, 9}, Case{1, 0, 9}, Case{0, 0, 0}}) {
        SCOPED_TRACE(inputLen);
        const Bytes abc{'a', 'b', 'c'}, de{'d', 'e'}, buffer = RandomBytes(bufferSize, 3);
        CMD5 md5;
        md5.MD5Init();
        md5.MD5Update(3, abc);
        EXPECT_EQ(ErrorOf([&] { md5.MD5Update(inputLen, buffer); }), error);
        md5.MD5Update(2, de);
        md5.MD5Final();

        Bytes expected = abc;
        if (error == 0)
            expected.insert(expected.end(), buffer.begin(), buffer.begin() + inputLen);
        expected.insert(expected.end(), de.begin(), de.end());
        EXPECT_EQ(md5.GetValues(), ReferenceMd5(expected));
    }
}

// A negative InputLen moves the counter without taking bytes; MD5Final
// refuses a bit count outside 28 bits and leaves the registers alone.
TEST(CMD5, FinalRaisesOverflowForACounterOutsideItsRange)
{
    for (const auto& [lowerBy, error] : std::initializer_list<std::pair<std::int32_t, int>>{
             {-1, 0}, {-64, 0}, {-65, 0}, {-(1 << 28), 0}, {-(1 << 28) - 1, 6}, {INT_MIN, 6}}) {
        CMD5 md5;
        md5.MD5Init();
        md5.MD5Update(lowerBy, {});
        const std::string before = md5.GetValues();
        EXPECT_EQ(ErrorOf([&] { md5.MD5Final(); }), error) << lowerBy;
        if (error != 0) {
            EXPECT_EQ(md5.GetValues(), before) << lowerBy;
        }
    }
    CMD5 md5;
    md5.MD5Init();
    md5.MD5Update(INT_MIN, {});
    EXPECT_EQ(ErrorOf([&] { md5.MD5Update(-1, {}); }), 6);
}

TEST(CMD5, LargestDigestMatchesOpenSslAndOneByteMoreOverflows)
{
    const Bytes zeros(32767);
    CMD5 md5;
    md5.MD5Init();
    for (std::int32_t left = (1 << 28) - 1; left > 0; left -= 32767)
        md5.MD5Update(std::min(left, 32767), zeros);
    md5.MD5Final();
    const std::string digest = md5.GetValues();
    // `head -c 268435455 /dev/zero | openssl md5`
    EXPECT_EQ(digest, "11049CCFCE66D876D2620C8F53C3762F");

    // Padding took the counter to 2^28 + 64; step it back to the edge.
    md5.MD5Update(-64, {});
    EXPECT_EQ(ErrorOf([&] { md5.MD5Final(); }), 6);
    EXPECT_EQ(md5.GetValues(), digest);
    md5.MD5Update(-1, {});
    EXPECT_EQ(ErrorOf([&] { md5.MD5Final(); }), 0);
}

TEST(CMD5, SecondFinalHashesTheFirstPaddingAndInitRestarts)
{
    CMD5 md5;
    md5.MD5Init();
    const std::string start = md5.GetValues();
    md5.MD5Final();
    md5.MD5Final();
    // The empty message's padding block: 0x80, then zeros with a zero length.
    Bytes firstPadding(64, 0);
    firstPadding[0] = 0x80;
    EXPECT_EQ(md5.GetValues(), ReferenceMd5(firstPadding));
    md5.MD5Init();
    EXPECT_EQ(md5.GetValues(), start);
}

// Rotates by the truncated remainder of Bits and stores both back.
TEST(CMD5, LongLeftRotate)
{
    struct Case { std::int32_t value, bits, expectedValue, expectedBits; };
    for (auto [value, bits, expectedValue, expectedBits] :
         {Case{-2147483647, 1, 3, 1}, Case{-2147483647, 33, 3, 1}, Case{-2147483647, 32, -2147483647, 0},
          Case{-2147483647, 0, -2147483647, 0}, Case{-2147483647, -1, -2147483647, -1},
          Case{-2147483647, -33, -2147483647, -1}, Case{1, 31, INT_MIN, 31}, Case{0x12345678, 4, 0x23456781, 4},
          Case{0x12345678, 28, -2128394905, 28}, Case{5, INT_MIN, 5, 0}}) {
        SCOPED_TRACE(testing::Message() << value << " by " << bits);
        EXPECT_EQ(CMD5().LongLeftRotate(value, bits), expectedValue);
        EXPECT_EQ(value, expectedValue);
        EXPECT_EQ(bits, expectedBits);
    }
}

TEST(CMD5, RegistersShowDigestHexAndSignedDecimal)
{
    struct Case { std::function<void(CMD5&)> setUp; const char* hex; std::array<std::string, 4> decimal; };
    for (const auto& [setUp, hex, decimal] : {
             Case{[](CMD5&) {}, "00000000000000000000000000000000", {"0", "0", "0", "0"}},
             Case{[](CMD5& md5) { md5.MD5Init(); }, "0123456789ABCDEFFEDCBA9876543210",
                  {"1732584193", "-271733879", "-1732584194", "271733878"}},
             Case{[](CMD5& md5) { md5.Md5_String_Calc(u""); }, "D41D8CD98F00B204E9800998ECF8427E",
                  {"-645128748", "78774415", "-1744207639", "2118318316"}}}) {
        CMD5 md5;
        setUp(md5);
        EXPECT_EQ(md5.GetValues(), hex);
        EXPECT_EQ((std::array{md5.RegisterA(), md5.RegisterB(), md5.RegisterC(), md5.RegisterD()}), decimal);
    }
}

// The test suite of RFC 1321, and a character that takes two bytes in GBK.
TEST(CMD5, StringCalcKnownDigests)
{
    for (const auto& [text, digest] : std::initializer_list<std::pair<std::u16string, std::string>>{
             {u"", "D41D8CD98F00B204E9800998ECF8427E"},
             {u"a", "0CC175B9C0F1B6A831C399E269772661"},
             {u"abc", "900150983CD24FB0D6963F7D28E17F72"},
             {u"message digest", "F96B697D7CB7938D525A2F31AAF161D0"},
             {u"abcdefghijklmnopqrstuvwxyz", "C3FCD3D76192E4007DFB496CCA67E13B"},
             {u"ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789", "D174AB98D277D9F5A5611C2C9F419D9F"},
             {u"12345678901234567890123456789012345678901234567890123456789012345678901234567890",
              "57EDF4A22BE3C955AC49DA2E2107B67A"},
             {u"\u4E2D", "5301DA37E5FFCA1823A5CEF67488D4BF"}})
        EXPECT_EQ(CMD5().Md5_String_Calc(text), digest);
}

// Code page 936 as Windows converts to it, with best fit (the yen sign as
// its full-width form) and one '?' for each UTF-16 unit it cannot hold. On
// Windows this runs the system's own conversion of the ANSI code page.
TEST(CMD5, StringCalcHashesTheGbkBytes)
{
    for (const auto& [text, ansi] : std::initializer_list<std::pair<std::u16string, Bytes>>{
             {u"Ab1\u4E2D\u6587\u20AC", {0x41, 0x62, 0x31, 0xD6, 0xD0, 0xCE, 0xC4, 0x80}},
             {std::u16string(u"a\0b", 3), {0x61, 0x00, 0x62}},
             {u"\u00A5", {0xA3, 0xA4}},
             {u"x\U0001F600y\u2022", {0x78, 0x3F, 0x3F, 0x79, 0x3F}},
             {u"\xDC00z\xD800", {0x3F, 0x7A, 0x3F}}}) {
        const AnsiBytes converted = ToAnsiCodePage(text);
        EXPECT_EQ(Bytes(converted.bytes().begin(), converted.bytes().end()), ansi);
        EXPECT_EQ(CMD5().Md5_String_Calc(text), ReferenceMd5(ansi));
    }
}

// The limit of one update counts GBK bytes, not UTF-16 code units.
TEST(CMD5, StringCalcTakesAtMostOneUpdateOfGbkBytes)
{
    for (const auto& [text, overflows] : std::initializer_list<std::pair<std::u16string, bool>>{
             {std::u16string(32767, u'a'), false}, {std::u16string(32768, u'a'), true},
             {std::u16string(16383, u'\u4E2D') + u"a", false}, {std::u16string(16384, u'\u4E2D'), true}}) {
        std::string digest;
        EXPECT_EQ(ErrorOf([&] { digest = CMD5().Md5_String_Calc(text); }), overflows ? 6 : 0) << text.size();
        if (!overflows) {
            EXPECT_EQ(digest, ReferenceMd5(ToAnsiCodePage(text).bytes()));
        }
    }
}

class FileCalc : public testing::Test {
protected:
    void SetUp() override { fs::create_directories(folder_); }
    void TearDown() override { fs::remove_all(folder_); }

    fs::path write(const std::u16string& name, const Bytes& bytes)
    {
        const fs::path path = folder_ / name;
        std::ofstream(path, std::ios::binary)
            .write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
        return path;
    }

    // Whether this process still holds the file or folder open.
    static bool leftOpen(const fs::path& path)
    {
#ifdef _WIN32
        // An open that shares nothing fails while any handle to it is open.
        const HANDLE handle = CreateFileW(path.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING,
                                          FILE_FLAG_BACKUP_SEMANTICS, nullptr);
        if (handle == INVALID_HANDLE_VALUE)
            return fs::exists(path);
        CloseHandle(handle);
        return false;
#else
        for (const auto& descriptor : fs::directory_iterator("/proc/self/fd")) {
            std::error_code gone; // the iterator's own descriptor may be closed by now
            if (fs::read_symlink(descriptor.path(), gone) == path)
                return true;
        }
        return false;
#endif
    }

    const fs::path folder_ = fs::temp_directory_path() / ("md5_tests_" + std::to_string(std::random_device{}()));
};

// 64 KiB + 65 crosses the reader's chunk boundary.
TEST_F(FileCalc, GivesTheDigestOfTheBytes)
{
    for (const auto& [name, size] : std::initializer_list<std::pair<std::u16string, std::size_t>>{
             {u"empty", 0}, {u"63", 63}, {u"64", 64}, {u"65", 65}, {u"128", 128}, {u"chunks", 65536 + 65},
             {u"\u6587\u4EF6 name.bin", 1000}}) {
        const Bytes bytes = RandomBytes(size, 5);
        EXPECT_EQ(CMD5().Md5_File_Calc(write(name, bytes).u16string()), ReferenceMd5(bytes)) << size;
    }
}

TEST_F(FileCalc, FailureGivesTheEmptyTextAndClosesWhatItOpened)
{
    fs::create_directory(folder_ / "folder");
    const fs::path sparse = write(u"sparse", {});
    fs::resize_file(sparse, std::uintmax_t{1} << 28);
    for (const fs::path& path : {folder_ / "missing", folder_ / "folder", sparse}) {
        CMD5 md5;
        const std::string previous = md5.Md5_String_Calc(u"abc");
        EXPECT_EQ(md5.Md5_File_Calc(path.u16string()), "") << path;
        EXPECT_FALSE(leftOpen(path)) << path;
        EXPECT_EQ(md5.GetValues(), previous) << path;
    }
}

} // namespace
} // namespace portauth
