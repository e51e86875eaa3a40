#include "cmd5.h"
#include "md5_test_support.h"

#include <gtest/gtest.h>

#include <array>
#include <climits>
#include <functional>

namespace portauth {
namespace {

using namespace portauth::testing;

std::string DigestOfUpdates(std::span<const std::uint8_t> message, std::initializer_list<std::size_t> cuts)
{
    CMD5 md5;
    md5.MD5Init();
    std::size_t from = 0;
    for (const std::size_t cut : cuts) {
        md5.MD5Update(static_cast<std::int32_t>(cut - from), message.subspan(from));
        md5.MD5Update(0, {});
        from = cut;
    }
    md5.MD5Update(static_cast<std::int32_t>(message.size() - from), message.subspan(from));
    md5.MD5Final();
    return md5.GetValues();
}

TEST(CMD5Engine, EveryLengthUpToFiveBlocksMatchesOpenSsl)
{
    const Bytes bytes = RandomBytes(300, 1);
    for (std::size_t length = 0; length <= bytes.size(); ++length) {
        const auto message = std::span(bytes).first(length);
        EXPECT_EQ(CMD5().MD5_Buffer_Calc(message), ReferenceDigest(message)) << length << " bytes";
    }
}

TEST(CMD5Engine, RandomBuffersMatchOpenSsl)
{
    std::mt19937 random(20240601);
    std::uniform_int_distribution<std::size_t> length(0, 5000);
    CMD5 md5; // one object for all: each digest must depend on its own input alone
    for (int round = 0; round < 3000; ++round) {
        const Bytes message = RandomBytes(length(random), static_cast<unsigned>(round));
        ASSERT_EQ(md5.MD5_Buffer_Calc(message), ReferenceDigest(message)) << "round " << round;
    }
}

TEST(CMD5Engine, EverySplitIntoUpdatesGivesTheSameDigest)
{
    const Bytes message = RandomBytes(150, 2);
    const std::string expected = ReferenceDigest(message);
    for (std::size_t first = 0; first <= message.size(); ++first)
        for (std::size_t second = first; second <= message.size(); ++second)
            ASSERT_EQ(DigestOfUpdates(message, {first, second}), expected) << first << ", " << second;
}

struct UpdateCase {
    const char* name;
    std::int32_t inputLen;
    std::size_t bufferSize;
    int error;
};

class CMD5Update : public ::testing::TestWithParam<UpdateCase> {};

// A refused update must leave the computation as it was: "abc" + "de" still
// hashes to the digest of "abcde".
TEST_P(CMD5Update, TakesTheBytesOrRaisesAndChangesNothing)
{
    const auto& param = GetParam();
    const Bytes abc{'a', 'b', 'c'}, de{'d', 'e'}, buffer = RandomBytes(param.bufferSize, 3);
    CMD5 md5;
    md5.MD5Init();
    md5.MD5Update(3, abc);
    EXPECT_EQ(ErrorOf([&] { md5.MD5Update(param.inputLen, buffer); }), param.error);
    md5.MD5Update(2, de);
    md5.MD5Final();

    Bytes expected = abc;
    if (param.error == 0)
        expected.insert(expected.end(), buffer.begin(), buffer.begin() + param.inputLen);
    expected.insert(expected.end(), de.begin(), de.end());
    EXPECT_EQ(md5.GetValues(), ReferenceDigest(expected));
}

INSTANTIATE_TEST_SUITE_P(Limits, CMD5Update,
    ::testing::Values(UpdateCase{"LargestUpdate", 32767, 32767, 0},
                      UpdateCase{"OnePastLargestUpdate", 32768, 32768, 6},
                      UpdateCase{"LargestInt", INT_MAX, 16, 6},
                      UpdateCase{"PartOfALargerBuffer", 100, 200, 0},
                      UpdateCase{"OnePastTheBuffer", 10, 9, 9},
                      UpdateCase{"BytesFromAnEmptyBuffer", 1, 0, 9},
                      UpdateCase{"NothingFromAnEmptyBuffer", 0, 0, 0}),
    [](const auto& test) { return std::string(test.param.name); });

struct CounterCase {
    const char* name;
    std::int32_t lowerBy; // a negative InputLen moves the counter without taking bytes
    int finalError;
};

class CMD5LoweredCounter : public ::testing::TestWithParam<CounterCase> {};

TEST_P(CMD5LoweredCounter, FinalPadsInsideTheBlockOrRaisesUnchanged)
{
    CMD5 md5;
    md5.MD5Init();
    md5.MD5Update(GetParam().lowerBy, {});
    const std::string before = md5.GetValues();
    EXPECT_EQ(ErrorOf([&] { md5.MD5Final(); }), GetParam().finalError);
    if (GetParam().finalError != 0) {
        EXPECT_EQ(md5.GetValues(), before);
    }
}

INSTANTIATE_TEST_SUITE_P(Limits, CMD5LoweredCounter,
    ::testing::Values(CounterCase{"OneByte", -1, 0}, CounterCase{"OneBlock", -64, 0},
                      CounterCase{"OneBlockAndOne", -65, 0},
                      CounterCase{"LowestBitCount", -(1 << 28), 0},
                      CounterCase{"BitCountBelowRange", -(1 << 28) - 1, 6},
                      CounterCase{"LowestCounter", INT_MIN, 6}),
    [](const auto& test) { return std::string(test.param.name); });

TEST(CMD5Engine, CounterLeavingItsRangeRaisesOverflow)
{
    CMD5 md5;
    md5.MD5Init();
    md5.MD5Update(INT_MIN, {});
    EXPECT_EQ(ErrorOf([&] { md5.MD5Update(-1, {}); }), 6);
}

TEST(CMD5Engine, LargestDigestMatchesOpenSslAndOneByteMoreOverflows)
{
    constexpr std::int32_t Largest = (1 << 28) - 1;
    const Bytes zeros(32767);
    ReferenceMd5 reference;
    CMD5 md5;
    md5.MD5Init();
    for (std::int32_t left = Largest; left > 0; left -= 32767) {
        const auto piece = std::span(zeros).first(static_cast<std::size_t>(std::min(left, 32767)));
        md5.MD5Update(static_cast<std::int32_t>(piece.size()), piece);
        reference.update(piece);
    }
    md5.MD5Final();
    const std::string digest = md5.GetValues();
    EXPECT_EQ(digest, reference.hexDigest());

    // Padding took the counter to 2^28 + 64; step it back to the edge.
    md5.MD5Update(-64, {});
    EXPECT_EQ(ErrorOf([&] { md5.MD5Final(); }), 6);
    EXPECT_EQ(md5.GetValues(), digest);
    md5.MD5Update(-1, {});
    EXPECT_EQ(ErrorOf([&] { md5.MD5Final(); }), 0);
}

TEST(CMD5Engine, SecondFinalHashesTheFirstPaddingAndInitRestarts)
{
    CMD5 md5;
    md5.MD5Init();
    const std::string start = md5.GetValues();
    md5.MD5Final();
    md5.MD5Final();
    // The empty message's padding block: 0x80, then zeros with a zero length.
    Bytes firstPadding(64, 0);
    firstPadding[0] = 0x80;
    EXPECT_EQ(md5.GetValues(), ReferenceDigest(firstPadding));
    md5.MD5Init();
    EXPECT_EQ(md5.GetValues(), start);
}

struct RotateCase {
    std::int32_t value, bits, expectedValue, expectedBits;
};

class LongLeftRotate : public ::testing::TestWithParam<RotateCase> {};

TEST_P(LongLeftRotate, RotatesByTheTruncatedRemainderAndStoresBoth)
{
    auto [value, bits, expectedValue, expectedBits] = GetParam();
    EXPECT_EQ(CMD5().LongLeftRotate(value, bits), expectedValue);
    EXPECT_EQ(value, expectedValue);
    EXPECT_EQ(bits, expectedBits);
}

INSTANTIATE_TEST_SUITE_P(Cases, LongLeftRotate,
    ::testing::Values(RotateCase{-2147483647, 1, 3, 1}, RotateCase{-2147483647, 33, 3, 1},
                      RotateCase{-2147483647, 32, -2147483647, 0}, RotateCase{-2147483647, 0, -2147483647, 0},
                      RotateCase{-2147483647, -1, -2147483647, -1}, RotateCase{-2147483647, -33, -2147483647, -1},
                      RotateCase{1, 31, INT_MIN, 31}, RotateCase{0x12345678, 4, 0x23456781, 4},
                      RotateCase{0x12345678, 28, -2128394905, 28}, RotateCase{5, INT_MIN, 5, 0}));

struct RegisterCase {
    const char* name;
    std::function<void(CMD5&)> setUp;
    const char* hex;
    std::array<std::string, 4> decimal;
};

class RegisterText : public ::testing::TestWithParam<RegisterCase> {};

TEST_P(RegisterText, RendersDigestHexAndSignedDecimal)
{
    CMD5 md5;
    GetParam().setUp(md5);
    EXPECT_EQ(md5.GetValues(), GetParam().hex);
    EXPECT_EQ((std::array{md5.RegisterA(), md5.RegisterB(), md5.RegisterC(), md5.RegisterD()}), GetParam().decimal);
}

INSTANTIATE_TEST_SUITE_P(States, RegisterText,
    ::testing::Values(
        RegisterCase{"New", [](CMD5&) {}, "00000000000000000000000000000000", {"0", "0", "0", "0"}},
        RegisterCase{"Started", [](CMD5& md5) { md5.MD5Init(); }, "0123456789ABCDEFFEDCBA9876543210",
                     {"1732584193", "-271733879", "-1732584194", "271733878"}},
        RegisterCase{"EmptyMessage", [](CMD5& md5) { md5.Md5_String_Calc(u""); }, "D41D8CD98F00B204E9800998ECF8427E",
                     {"-645128748", "78774415", "-1744207639", "2118318316"}}),
    [](const auto& test) { return std::string(test.param.name); });

} // namespace
} // namespace portauth
