#include "settings_store.h"

#include "numbered_error.h"

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <tuple>

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

// Values the program writes read the same in earlier versions of the
// program, which wrote these bytes; the first save creates the folders.
// Values written by hand read as they stand, and start-up's saving them back
// writes nothing: a comma is an ordinary character, and bytes that are not
// UTF-8 show as U+FFFD, one per ill-formed part, yet stay in the file.
TEST_F(SettingsStore, ReadsAndWritesValuesAsEarlierVersionsDid)
{
    const fs::path file = configDir / "new" / "folder" / "Lanbridge.ini";
    ::setenv("XDG_CONFIG_HOME", file.parent_path().c_str(), 1);
    const std::tuple<std::u16string, std::string, bool> rows[] = {
        {u"  alice ", "\"  alice \"", false},
        {u"张三 é\u0080\ue000😀\U0010FFFF", "\xe5\xbc\xa0\xe4\xb8\x89 \xc3\xa9\xc2\x80\xee\x80\x80\xf0\x9f\x98\x80\xf4\x8f\xbf\xbf", false},
        {u"\ta=b;c#d[e]\"f\\g\nbreak\r\a\b\f\v", "\"\\ta=b;c#d[e]\\\"f\\\\g\\nbreak\\r\\a\\b\\f\\v\"", false},
        {u"\x01" u"1f\x1fg", "\\x1\\x31\\x66\\x1fg", false},
        {u"@x,y", "\"@@x,y\"", false},
        {std::u16string(u"a\0b", 3), "@String(a\\0\\x62)", false},
        {u"a ,b,,c", "  a ,b,,c \t; office", true},
        {u"  bob 中文A\a", " \"  bob \\x4e2d\\x6587\\101\\7\"  ", true},
        {u"\ufffd\ufffd\ufffd\ufffd|\ufffd-\ufffd|\ufffd\ufffd|\ufffd\ufffd\ufffd|\ufffd\ufffd|\ufffd\ufffd|\ufffd|\ufffd",
         "\xd5\xc5\xc8\xfd|\xe4\xb8-\xf0\x9f\x98|\xc0\x80|\xed\xa0\x80|\xe0\x80|\xf4\x90|\xf8|\xe9", true},
    };
    EXPECT_EQ(load(kUsernameKey), u"-");
    for (const auto& [value, written, byHand] : rows) {
        const std::string entry = (byHand ? "[ PortAuth ]\n Username\t=" : "[PortAuth]\nUsername=") + written + "\n";
        if (byHand)
            writeBytes(file, entry);
        save(kUsernameKey, value);
        EXPECT_EQ(readBytes(file), entry);
        EXPECT_EQ(load(kUsernameKey), value) << written;
    }
}

// A save changes the bytes of its key and nothing else, and the file keeps
// its owner and mode.
TEST_F(SettingsStore, SavesChangeOnlyTheValueThatChanged)
{
    const std::string before = "\xef\xbb\xbf; mine\r\n[PortAuth]\r\nUsername=\xd5\xc5\xc8\xfd\r\n"
                               "  IP = a ,b,,c \t; office\r\n# also mine\r\nzzz=1\r\n\r\n[Other]\r\nIP=other\r\n";
    writeBytes(ini, before);
    const bool root = ::geteuid() == 0;
    ASSERT_TRUE(::chmod(ini.c_str(), 0604) == 0 && (!root || ::chown(ini.c_str(), 65534, 65534) == 0));
    save(kIPKey, u"10.0.0.1");
    struct stat after {};
    ASSERT_EQ(::stat(ini.c_str(), &after), 0);
    EXPECT_EQ(after.st_mode & 07777, 0604u);
    EXPECT_EQ(after.st_uid, root ? 65534u : ::geteuid());
    std::string expected = before;
    expected.replace(expected.find("IP = a"), 12, "IP=10.0.0.1");
    EXPECT_EQ(readBytes(ini), expected);
}

// A symbolic link to a file stays a link; the file it names takes the save.
TEST_F(SettingsStore, NewEntriesJoinTheirGroupThroughALink)
{
    const std::pair<std::string, std::string> rows[] = {
        {"[PortAuth]\r\nIP=1\r\n\r\n[Other]\r\nx=1\r\n", "[PortAuth]\r\nIP=1\r\nUsername=bob\r\n\r\n[Other]\r\nx=1\r\n"},
        {"[PortAuth]\nIP=1", "[PortAuth]\nIP=1\nUsername=bob\n"},
        {"[Other]\nx=1\n", "[Other]\nx=1\n\n[PortAuth]\nUsername=bob\n"},
        {"x=1", "x=1\n\n[PortAuth]\nUsername=bob\n"},
    };
    fs::create_symlink("real.ini", ini);
    for (const auto& [before, after] : rows) {
        writeBytes(configDir / "real.ini", before);
        save(kUsernameKey, u"bob");
        EXPECT_EQ(readBytes(configDir / "real.ini"), after) << before;
    }
    EXPECT_TRUE(fs::is_symlink(ini));
}

// No lock, open or read may hold the window, and nothing but a regular file
// is read or replaced. As root the device is a node of the test's own, so
// that a fault cannot harm the system's.
TEST_F(SettingsStore, RefusesWhatWouldBlockOrIsNoRegularFile)
{
    const fs::path lock = configDir / "Lanbridge.ini.lock";
    fs::create_directory(lock);
    expectSaveRefused("a folder as the lock");
    fs::remove(lock);
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
    EXPECT_EQ(load(kIPKey), u"10.20.30.40");
    save(kIPKey, u"10.20.30.40");
    expectSaveRefused("a read-only disk");
    EXPECT_EQ(readBytes(ini), before);
}

} // namespace
