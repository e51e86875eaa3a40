#include "ansi_codepage.h"
#include "cmd5.h"
#include "md5_test_support.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>

namespace portauth {
namespace {

namespace fs = std::filesystem;
using namespace portauth::testing;

struct KnownDigest {
    std::u16string text;
    std::string digest;
};

class KnownDigests : public ::testing::TestWithParam<KnownDigest> {};

TEST_P(KnownDigests, StringCalcGivesTheDigestOfTheAnsiBytes)
{
    EXPECT_EQ(CMD5().Md5_String_Calc(GetParam().text), GetParam().digest);
}

// The test suite of RFC 1321, and a character that takes two bytes in GBK.
INSTANTIATE_TEST_SUITE_P(Rfc1321AndGbk, KnownDigests,
    ::testing::Values(
        KnownDigest{u"", "D41D8CD98F00B204E9800998ECF8427E"},
        KnownDigest{u"a", "0CC175B9C0F1B6A831C399E269772661"},
        KnownDigest{u"abc", "900150983CD24FB0D6963F7D28E17F72"},
        KnownDigest{u"message digest", "F96B697D7CB7938D525A2F31AAF161D0"},
        KnownDigest{u"abcdefghijklmnopqrstuvwxyz", "C3FCD3D76192E4007DFB496CCA67E13B"},
        KnownDigest{u"ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789",
                    "D174AB98D277D9F5A5611C2C9F419D9F"},
        KnownDigest{u"12345678901234567890123456789012345678901234567890123456789012345678901234567890",
                    "57EDF4A22BE3C955AC49DA2E2107B67A"},
        KnownDigest{u"\u4E2D", "5301DA37E5FFCA1823A5CEF67488D4BF"}));

struct AnsiCase {
    const char* name;
    std::u16string text;
    Bytes ansi;
};

class AnsiConversion : public ::testing::TestWithParam<AnsiCase> {};

TEST_P(AnsiConversion, GivesWindowsCodePage936BytesAndHashesThem)
{
    const auto& param = GetParam();
    const AnsiBytes converted = ToAnsiCodePage(param.text);
    EXPECT_EQ(Bytes(converted.bytes().begin(), converted.bytes().end()), param.ansi);
    EXPECT_EQ(CMD5().Md5_String_Calc(param.text), ReferenceDigest(param.ansi));
}

INSTANTIATE_TEST_SUITE_P(Gbk, AnsiConversion,
    ::testing::Values(AnsiCase{"Ascii", u"Ab1", {0x41, 0x62, 0x31}},
                      AnsiCase{"Chinese", u"\u4E2D\u6587", {0xD6, 0xD0, 0xCE, 0xC4}},
                      AnsiCase{"Euro", u"\u20AC", {0x80}},
                      AnsiCase{"NulInside", std::u16string(u"a\0b", 3), {0x61, 0x00, 0x62}},
                      AnsiCase{"Emoji", u"x\U0001F600y", {0x78, 0x3F, 0x79}},
                      AnsiCase{"OutsideThePage", u"\u2022\u0080", {0x3F, 0x3F}},
                      AnsiCase{"DefaultIgnorable", u"a\uFE00\u200Db", {0x61, 0x3F, 0x3F, 0x62}},
                      AnsiCase{"LoneHighSurrogate", u"a\xD800z", {0x61, 0x3F, 0x7A}},
                      AnsiCase{"LoneLowSurrogate", u"\xDC00", {0x3F}},
                      AnsiCase{"HighSurrogateAtTheEnd", u"a\xDBFF", {0x61, 0x3F}},
                      AnsiCase{"TwoHighSurrogatesAtTheEnd", u"\xD800\xD800", {0x3F, 0x3F}}),
    [](const auto& test) { return std::string(test.param.name); });

struct StringLimitCase {
    const char* name;
    std::u16string text;
    bool overflows;
};

class StringLimit : public ::testing::TestWithParam<StringLimitCase> {};

// The limit counts ANSI bytes, not UTF-16 code units.
TEST_P(StringLimit, AllowsOneUpdateOfAnsiBytes)
{
    const auto& param = GetParam();
    const AnsiBytes ansi = ToAnsiCodePage(param.text);
    std::string digest;
    EXPECT_EQ(ErrorOf([&] { digest = CMD5().Md5_String_Calc(param.text); }), param.overflows ? 6 : 0);
    if (!param.overflows) {
        EXPECT_EQ(digest, ReferenceDigest(ansi.bytes()));
    }
}

INSTANTIATE_TEST_SUITE_P(Limits, StringLimit,
    ::testing::Values(StringLimitCase{"LargestAscii", std::u16string(32767, u'a'), false},
                      StringLimitCase{"OnePastAscii", std::u16string(32768, u'a'), true},
                      StringLimitCase{"LargestChinese", std::u16string(16383, u'\u4E2D') + u"a", false},
                      StringLimitCase{"OnePastChinese", std::u16string(16384, u'\u4E2D'), true}),
    [](const auto& test) { return std::string(test.param.name); });

class BufferCalc : public ::testing::TestWithParam<std::size_t> {};

// One update takes at most 32,767 bytes; larger buffers must still give
// their true digest.
TEST_P(BufferCalc, LargeBuffersGiveTheirDigest)
{
    const Bytes bytes = RandomBytes(GetParam(), 4);
    EXPECT_EQ(CMD5().MD5_Buffer_Calc(bytes), ReferenceDigest(bytes));
}

INSTANTIATE_TEST_SUITE_P(Sizes, BufferCalc, ::testing::Values(32767, 32768, 32769, 65536 + 17, 1000003));

TEST(BufferCalcLimit, BufferPastTheDigestLimitGivesTheEmptyText)
{
    // Never written: the limit is checked before a byte is read.
    const auto buffer = std::make_unique_for_overwrite<std::uint8_t[]>(std::size_t{1} << 28);
    EXPECT_EQ(CMD5().MD5_Buffer_Calc({buffer.get(), std::size_t{1} << 28}), "");
}

class FileCalc : public ::testing::Test {
protected:
    void SetUp() override
    {
        folder_ = fs::temp_directory_path() / ("md5_tests_" + std::to_string(std::random_device{}()));
        fs::create_directories(folder_);
    }
    void TearDown() override { fs::remove_all(folder_); }

    fs::path write(const std::u16string& name, const Bytes& bytes)
    {
        const fs::path path = folder_ / name;
        std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()),
                                                    static_cast<std::streamsize>(bytes.size()));
        return path;
    }

    fs::path folder_;
};

struct FileCase {
    std::u16string name;
    std::size_t size;
};

class FileSizes : public FileCalc, public ::testing::WithParamInterface<FileCase> {};

TEST_P(FileSizes, GivesTheDigestOfTheBytes)
{
    const Bytes bytes = RandomBytes(GetParam().size, 5);
    const fs::path path = write(GetParam().name, bytes);
    EXPECT_EQ(CMD5().Md5_File_Calc(path.u16string()), ReferenceDigest(bytes));
}

// 64 KiB + 65 crosses the reader's chunk boundary.
INSTANTIATE_TEST_SUITE_P(Records, FileSizes,
    ::testing::Values(FileCase{u"empty", 0}, FileCase{u"63", 63}, FileCase{u"64", 64}, FileCase{u"65", 65},
                      FileCase{u"128", 128}, FileCase{u"chunks", 65536 + 65},
                      FileCase{u"\u6587\u4EF6 name.bin", 1000}));

std::size_t OpenDescriptorCount()
{
    const fs::directory_iterator descriptors("/proc/self/fd");
    return static_cast<std::size_t>(std::distance(begin(descriptors), end(descriptors)));
}

enum class BadFile { Missing, Directory, PastTheLimit };

class FailingFile : public FileCalc, public ::testing::WithParamInterface<BadFile> {};

TEST_P(FailingFile, GivesTheEmptyTextAndClosesWhatItOpened)
{
    fs::path path = folder_ / "missing";
    if (GetParam() == BadFile::Directory)
        fs::create_directory(path = folder_ / "folder");
    if (GetParam() == BadFile::PastTheLimit)
        fs::resize_file(path = write(u"sparse", {}), std::uintmax_t{1} << 28);

    CMD5 md5;
    const std::string previous = md5.Md5_String_Calc(u"abc");
    const std::size_t descriptors = OpenDescriptorCount();
    EXPECT_EQ(md5.Md5_File_Calc(path.u16string()), "");
    EXPECT_EQ(OpenDescriptorCount(), descriptors);
    EXPECT_EQ(md5.GetValues(), previous);
}

INSTANTIATE_TEST_SUITE_P(Paths, FailingFile,
    ::testing::Values(BadFile::Missing, BadFile::Directory, BadFile::PastTheLimit),
    [](const auto& test) { return std::string(test.param == BadFile::Missing     ? "Missing"
                                              : test.param == BadFile::Directory ? "Directory"
                                                                                 : "PastTheLimit"); });

} // namespace
} // namespace portauth
