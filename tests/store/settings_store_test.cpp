#include "settings_store.h"

#include "numbered_error.h"

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <iterator>

#include <fcntl.h>
#include <sched.h>
#include <sys/file.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

using namespace portauth;
namespace fs = std::filesystem;

namespace {

std::string readBytes(const fs::path& path)
{
    std::ifstream file(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(file), {}};
}

void writeBytes(const fs::path& path, std::string_view bytes)
{
    std::ofstream(path, std::ios::binary | std::ios::trunc).write(bytes.data(), std::streamsize(bytes.size()));
}

std::ptrdiff_t entries(const fs::path& folder)
{
    return std::distance(fs::directory_iterator(folder), {});
}

class SettingsStore : public testing::Test {
protected:
    void SetUp() override
    {
        char folder[] = "/tmp/store_test.XXXXXX";
        ASSERT_NE(::mkdtemp(folder), nullptr);
        configDir = folder;
        ini = configDir / "Lanbridge.ini";
        ::setenv("XDG_CONFIG_HOME", folder, 1);
        descriptors = entries("/proc/self/fd");
    }

    void TearDown() override
    {
        EXPECT_EQ(entries("/proc/self/fd"), descriptors) << "a descriptor leaked, or one not the store's was closed";
        ::umount2(configDir.c_str(), MNT_DETACH);
        fs::remove_all(configDir);
    }

    static auto load(std::u16string_view key) { return GetSetting(kSettingsApplication, kSettingsSection, key, u"-"); }
    static void save(auto key, auto value) { SaveSetting(kSettingsApplication, kSettingsSection, key, value); }

    // Refused, and soon enough not to hold the window: the store gives up on
    // a lock after about two seconds.
    static void expectSaveRefused(std::string_view what)
    {
        const auto start = std::chrono::steady_clock::now();
        EXPECT_THROW(save(kUsernameKey, u"bob"), NumberedError) << what;
        EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(3)) << what;
    }

    fs::path configDir;
    fs::path ini;
    std::ptrdiff_t descriptors = 0;
};

struct IniRow {
    const char* name;
    std::string before;
    std::u16string username, ip, saved; // as read ("-" when absent), then saved as IP
    std::string after;                  // the file's exact bytes then
};

// Each line is read alone, whatever quotes or backslashes it holds; a save
// changes the lines of its key, adds the key to the last of its groups or
// adds the group, and leaves every other byte. Values the program writes
// read the same in earlier versions, which wrote these bytes; values
// written by hand read as they stand (bytes that are not UTF-8 as U+FFFD,
// one per ill-formed part).
const std::string kNotUtf8 = "\xd5\xc5\xc8\xfd|\xe4\xb8-\xf0\x9f\x98|\xc0\x80|\xed\xa0\x80|\xe0\x80|\xf4\x90|\xf8|\xe9";
const IniRow kIniRows[] = {
    {"QuoteClosed", "[PortAuth]\nUsername=\"a\"b\"\nIP=1\n[X]\nk=1\n", u"ab", u"1", u"2", "[PortAuth]\nUsername=\"a\"b\"\nIP=2\n[X]\nk=1\n"},
    {"RawQuoteTrailingBackslash", "[PortAuth]\nUsername=a\"b\\\nIP=1\n", u"ab\\", u"1", u"2", "[PortAuth]\nUsername=a\"b\\\nIP=2\n"},
    {"BackslashCrlfBom", "\xEF\xBB\xBF[PortAuth]\r\nUsername=\"q\\\r\nIP=1", u"q\\", u"1", u"2", "\xEF\xBB\xBF[PortAuth]\r\nUsername=\"q\\\r\nIP=2"},
    {"OpenQuoteInAnotherGroup", "[X]\nk=\"o\n[PortAuth]\nUsername=u\nIP=1\n", u"u", u"1", u"2", "[X]\nk=\"o\n[PortAuth]\nUsername=u\nIP=2\n"},
    {"CommentsHoldingEquals", "[PortAuth]\n; IP=9\nUsername=u ; IP=8\n", u"u", u"-", u"1", "[PortAuth]\n; IP=9\nUsername=u ; IP=8\nIP=1\n"},
    {"DuplicateGroups", "[PortAuth]\nUsername=a\n[PortAuth]\nUsername=b", u"b", u"-", u"1", "[PortAuth]\nUsername=a\n[PortAuth]\nUsername=b\nIP=1\n"},
    {"EntryJoinsItsGroup", "[PortAuth]\r\nUsername=u\r\n\r\n[X]\r\n", u"u", u"-", u"1", "[PortAuth]\r\nUsername=u\r\nIP=1\r\n\r\n[X]\r\n"},
    {"GroupAfterOpenQuote", "[X]\r\nx=\"1\r\n", u"-", u"-", u"1", "[X]\r\nx=\"1\r\n\r\n[PortAuth]\r\nIP=1\r\n"},
    {"HandEdited", "\xef\xbb\xbf[ PortAuth ]\r\n Username\t=" + kNotUtf8 + "\r\n  IP = a ,b,,c \t; office\r\n# mine\r\n",
     u"\ufffd\ufffd\ufffd\ufffd|\ufffd-\ufffd|\ufffd\ufffd|\ufffd\ufffd\ufffd|\ufffd\ufffd|\ufffd\ufffd|\ufffd|\ufffd", u"a ,b,,c", u"1",
     "\xef\xbb\xbf[ PortAuth ]\r\n Username\t=" + kNotUtf8 + "\r\n  IP=1 \t; office\r\n# mine\r\n"},
    {"BackslashesStartingNoEscapeStand", "[PortAuth]\nUsername=CAMPUS\\zhang\\;\\9\\xg\\\xe4\xb8\xad\\ \n", u"CAMPUS\\zhang\\;\\9\\xg\\中\\ ",
     u"-", u"1", "[PortAuth]\nUsername=CAMPUS\\zhang\\;\\9\\xg\\\xe4\xb8\xad\\ \nIP=1\n"},
    {"Escaped", "[PortAuth]\nUsername= \" b \\x4e2d\\101\\7\"  \n", u" b 中A\a", u"-", u"1", "[PortAuth]\nUsername= \" b \\x4e2d\\101\\7\"  \nIP=1\n"},
    {"WrittenEscapes", "", u"-", u"-", u"张三 é\u0080\ue000\uffff😀\U0010FFFF\t\n\r\a\b\f\v\x01" u"1f\x1fg",
     "[PortAuth]\nIP=\xe5\xbc\xa0\xe4\xb8\x89 \xc3\xa9\xc2\x80\xee\x80\x80\xef\xbf\xbf\xf0\x9f\x98\x80\xf4\x8f\xbf\xbf\\t\\n\\r\\a\\b\\f\\v"
     "\\x1\\x31\\x66\\x1fg\n"},
    {"TypedQuotesAndBackslashes", "", u"-", u"-", u"a;b\"q\"\\x41\\u#,=[x] \\", "[PortAuth]\nIP=\"a;b\\\"q\\\"\\\\x41\\\\u#,=[x] \\\\\"\n"},
    {"LeadingAt", "", u"-", u"-", u"@x,y", "[PortAuth]\nIP=\"@@x,y\"\n"},
    {"Nul", "", u"-", u"-", std::u16string(u"a\0b", 3), "[PortAuth]\nIP=@String(a\\0\\x62)\n"},
};

class IniFile : public SettingsStore, public testing::WithParamInterface<IniRow> {};

// Through a symbolic link, which stays, to a file whose owner and mode stay.
TEST_P(IniFile, ReadsEachLineAloneAndSavesOnlyItsKey)
{
    const IniRow& row = GetParam();
    const fs::path real = configDir / "real.ini";
    writeBytes(real, row.before);
    fs::create_symlink("real.ini", ini);
    ASSERT_TRUE(::chmod(real.c_str(), 0604) == 0 && (::geteuid() != 0 || ::chown(real.c_str(), 65534, 65534) == 0));
    EXPECT_EQ(load(kUsernameKey), row.username);
    EXPECT_EQ(load(kIPKey), row.ip);
    save(kIPKey, row.saved);
    EXPECT_EQ(readBytes(real), row.after);
    EXPECT_EQ(load(kIPKey), row.saved);
    struct stat after {};
    EXPECT_TRUE(::stat(real.c_str(), &after) == 0 && (after.st_mode & 07777) == 0604
                && after.st_uid == (::geteuid() == 0 ? 65534u : ::geteuid()));
    EXPECT_TRUE(fs::is_symlink(ini));
}

INSTANTIATE_TEST_SUITE_P(Store, IniFile, testing::ValuesIn(kIniRows),
                         [](const testing::TestParamInfo<IniRow>& row) { return std::string(row.param.name); });

// A killed save leaves its temporary file; the next save removes it, but
// not one that a live save holds locked, nor a file of another name. The
// first save makes the folders.
TEST_F(SettingsStore, RemovesWhatKilledSavesLeftOnly)
{
    const fs::path folder = configDir / "new" / "folder";
    ::setenv("XDG_CONFIG_HOME", folder.c_str(), 1);
    save(kUsernameKey, u"bob");
    for (const char* name : {".Lanbridge.ini.123.tmp", ".Lanbridge.ini.456.tmp", ".Lanbridge.ini.tmp",
                             ".Lanbridge.ini.4x.tmp", ".Lanbridge.ini.7.tmp~", ".other.ini.8.tmp"})
        writeBytes(folder / name, "[PortAuth]\n");
    const int live = ::open((folder / ".Lanbridge.ini.456.tmp").c_str(), O_RDONLY);
    ASSERT_EQ(::flock(live, LOCK_EX), 0);
    save(kIPKey, u"1");
    ::close(live);
    EXPECT_FALSE(fs::exists(folder / ".Lanbridge.ini.123.tmp"));
    EXPECT_EQ(entries(folder), 6) << "a live save's file, one of another name or the lock was removed, or one left";
    EXPECT_EQ(readBytes(folder / "Lanbridge.ini"), "[PortAuth]\nUsername=bob\nIP=1\n");
}

// No lock, open or read may hold the window, and nothing but a regular file
// is read or replaced. As root the device is a node of the test's own, so
// that a fault cannot harm the system's.
TEST_F(SettingsStore, RefusesWhatWouldBlockOrIsNoRegularFile)
{
    const fs::path lock = configDir / "Lanbridge.ini.lock";
    ASSERT_EQ(::mkfifo(lock.c_str(), 0644), 0);
    expectSaveRefused("a FIFO as the lock");
    fs::remove(lock);
    const int heldLock = ::open(lock.c_str(), O_RDONLY | O_CREAT, 0644);
    ASSERT_EQ(::flock(heldLock, LOCK_EX), 0);
    expectSaveRefused("a lock held by another copy");
    ::close(heldLock);
    ASSERT_EQ(::mkfifo(ini.c_str(), 0644), 0);
    expectSaveRefused("a FIFO as the file");
    fs::remove(ini);

    const bool root = ::geteuid() == 0;
    const fs::path device = root ? configDir / "zero" : fs::path("/dev/zero");
    ASSERT_TRUE(!root || ::mknod(device.c_str(), S_IFCHR | 0666, ::makedev(1, 5)) == 0);
    fs::create_symlink(device, ini);
    expectSaveRefused("a link to a device");
    EXPECT_EQ(fs::status(ini).type(), fs::file_type::character) << "the device or the link was replaced";
}

// Root passes any mode bits, so as root the save runs as another user, in a
// folder that user may write.
TEST_F(SettingsStore, LeavesAReadOnlyFileAlone)
{
    writeBytes(ini, "[PortAuth]\nUsername=liam\n");
    fs::permissions(ini, fs::perms(0444));
    ASSERT_TRUE(::geteuid() != 0 || (::chown(configDir.c_str(), 65534, 65534) == 0 && ::seteuid(65534) == 0));
    expectSaveRefused("a read-only file");
    ASSERT_EQ(::seteuid(::getuid()), 0);
    EXPECT_EQ(readBytes(ini), "[PortAuth]\nUsername=liam\n");
}

// The disk full, then read-only: the save fails whole and leaves the file
// as it was; what can be read still loads, and start-up's saving back of
// the same values is no failure. The mounts live in a mount namespace of the
// test's own, so that nothing else on the system sees them.
TEST_F(SettingsStore, FullOrReadOnlyDiskLeavesTheFileWhole)
{
    if (::unshare(CLONE_NEWNS) != 0 || ::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0
        || ::mount("tmpfs", configDir.c_str(), "tmpfs", 0, "size=8k") != 0)
        GTEST_SKIP() << "needs root, for a mount namespace of its own";
    const std::string before = "[PortAuth]\nUsername=liam\nIP=10.20.30.40\n";
    writeBytes(ini, before);
    writeBytes(configDir / "filler", std::string(8192, 'x'));
    expectSaveRefused("a full disk");
    EXPECT_EQ(entries(configDir), 2) << "a temporary file or the lock was left";

    ASSERT_EQ(::mount(nullptr, configDir.c_str(), nullptr, MS_REMOUNT | MS_RDONLY, nullptr), 0);
    EXPECT_EQ(load(kUsernameKey), u"liam");
    save(kUsernameKey, u"liam");
    expectSaveRefused("a read-only disk");
    EXPECT_EQ(readBytes(ini), before);
}

} // namespace
