#include "cmd5.h"
#include "reference_md5.h"

#include <gtest/gtest.h>

#include <array>
#include <climits>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <random>

using namespace portauth;

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

struct TempFolder {
    TempFolder() { fs::create_directories(path); }
    ~TempFolder() { fs::remove_all(path); }

    // A name outside ASCII must reach the file system intact.
    fs::path write(const Bytes& bytes) const
    {
        const fs::path file = path / u"\u6587\u4EF6 name.bin";
        std::ofstream(file, std::ios::binary)
            .write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
        return file;
    }

    const fs::path path = fs::temp_directory_path() / ("md5_tests_" + std::to_string(std::random_device{}()));
};

// A message and the places where it is cut into updates, its end the last.
struct DigestCase {
    Bytes message;
    std::vector<std::size_t> cuts;
};

std::vector<DigestCase> DigestCases()
{
    std::vector<DigestCase> cases;
    for (const char* text : {"", "a", "abc", "message digest", "abcdefghijklmnopqrstuvwxyz",
                             "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789",
                             "12345678901234567890123456789012345678901234567890123456789012345678901234567890"})
        cases.push_back({Bytes(text, text + std::strlen(text)), {std::strlen(text)}});
    // Either side of a second padding block and of a whole block.
    for (const unsigned length : {55u, 56u, 57u, 63u, 64u, 65u, 119u, 120u, 121u})
        cases.push_back({RandomBytes(length, length), {1, length - 1, length}});
    // Past one update, and past the file reader's 64 KiB chunk.
    cases.push_back({RandomBytes(65536 + 65, 7), {32767, 65534, 65536 + 65}});
    return cases;
}

class Digest : public testing::TestWithParam<DigestCase> {};

// One object serves all three ways: each must restart it.
TEST_P(Digest, MatchesTheReferenceAsBufferUpdatesAndFile)
{
    const auto& [message, cuts] = GetParam();
    const std::string expected = ReferenceMd5(message);
    CMD5 md5;
    EXPECT_EQ(md5.MD5_Buffer_Calc(message), expected);

    md5.MD5Init();
    for (std::size_t from = 0; const std::size_t cut : cuts) {
        md5.MD5Update(static_cast<std::int32_t>(cut - from), std::span(message).subspan(from));
        md5.MD5Update(0, {});
        from = cut;
    }
    md5.MD5Final();
    EXPECT_EQ(md5.GetValues(), expected);

    EXPECT_EQ(md5.Md5_File_Calc(TempFolder().write(message).u16string()), expected);
}

INSTANTIATE_TEST_SUITE_P(CMD5, Digest, testing::ValuesIn(DigestCases()), [](const auto& testCase) {
    return std::to_string(testCase.index) + "_" + std::to_string(testCase.param.message.size()) + "_bytes_in_" +
           std::to_string(testCase.param.cuts.size()) + "_updates";
});

// A refused update must leave the computation as it was: "abc" + "de" still
// hashes to the digest of "abcde".
TEST(CMD5, UpdateTakesTheBytesOrRaisesAndChangesNothing)
{
    struct Case { std::int32_t inputLen; std::size_t bufferSize; int error; };
    for (const auto [inputLen, bufferSize, error] :
         {Case{32767, 32767, 0}, Case{32768, 32768, 6}, Case{INT_MAX, 16, 6}, Case{10, 9, 9}, Case{1, 0, 9}}) {
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

// A negative InputLen lowers the counter without taking bytes; MD5Final
// refuses a bit count outside 32 bits.
TEST(CMD5, FinalRefusesACounterLoweredOutOfRange)
{
    for (const auto& [lowerBy, error] : {std::pair{-(1 << 28), 0}, std::pair{-(1 << 28) - 1, 6}}) {
        CMD5 md5;
        md5.MD5Init();
        md5.MD5Update(lowerBy, {});
        EXPECT_EQ(ErrorOf([&] { md5.MD5Final(); }), error) << lowerBy;
    }
    CMD5 md5;
    md5.MD5Init();
    md5.MD5Update(INT_MIN, {});
    EXPECT_EQ(ErrorOf([&] { md5.MD5Update(-1, {}); }), 6);
}

// The largest message, as a file and as one buffer; one byte more overflows.
TEST(CMD5, LargestMessageMatchesTheReferenceAndOneByteMoreOverflows)
{
    const Bytes zeros((1 << 28) - 1);
    const std::string digest = ReferenceMd5(zeros);
    const TempFolder folder;
    const fs::path file = folder.write({});
    fs::resize_file(file, zeros.size());
    EXPECT_EQ(CMD5().Md5_File_Calc(file.u16string()), digest);
    CMD5 md5;
    EXPECT_EQ(md5.MD5_Buffer_Calc(zeros), digest);

    // Padding took the counter to 2^28 + 64; step it back to the edge.
    md5.MD5Update(-64, {});
    EXPECT_EQ(ErrorOf([&] { md5.MD5Final(); }), 6);
    EXPECT_EQ(md5.GetValues(), digest);
    md5.MD5Update(-1, {});
    EXPECT_EQ(ErrorOf([&] { md5.MD5Final(); }), 0);
}

// The words read signed: the registers after MD5Init, and the rotation by
// the truncated remainder of Bits, which stores both back.
TEST(CMD5, WordsReadSigned)
{
    CMD5 md5;
    md5.MD5Init();
    EXPECT_EQ((std::array{md5.RegisterA(), md5.RegisterB(), md5.RegisterC(), md5.RegisterD()}),
              (std::array<std::string, 4>{"1732584193", "-271733879", "-1732584194", "271733878"}));
    struct Case { std::int32_t value, bits, expectedValue, expectedBits; };
    for (auto [value, bits, expectedValue, expectedBits] :
         {Case{INT_MIN + 1, 1, 3, 1}, Case{INT_MIN + 1, 33, 3, 1}, Case{INT_MIN + 1, -33, INT_MIN + 1, -1}}) {
        SCOPED_TRACE(testing::Message() << value << " by " << bits);
        EXPECT_EQ(CMD5().LongLeftRotate(value, bits), expectedValue);
        EXPECT_EQ(value, expectedValue);
        EXPECT_EQ(bits, expectedBits);
    }
}

TEST(CMD5, FileFailureGivesTheEmptyTextAndKeepsTheLastDigest)
{
    const TempFolder folder;
    fs::create_directory(folder.path / "folder");
    const fs::path tooLong = folder.write({});
    fs::resize_file(tooLong, std::uintmax_t{1} << 28);
    for (const fs::path& path : {folder.path / "missing", folder.path / "folder", tooLong}) {
        CMD5 md5;
        const std::string previous = md5.Md5_String_Calc(u"abc");
        EXPECT_EQ(md5.Md5_File_Calc(path.u16string()), "") << path;
        EXPECT_EQ(md5.GetValues(), previous) << path;
    }
}

} // namespace
