#include "settings_store.h"

#include "numbered_error.h"

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <functional>
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
    return std::distance(fs::directory_iterator(folder), fs::directory_iterator());
}

std::u16string load(std::u16string_view key)
{
    return GetSetting(kSettingsApplication, kSettingsSection, key, u"<absent>");
}

void save(std::u16string_view key, std::u16string_view value)
{
    SaveSetting(kSettingsApplication, kSettingsSection, key, value);
}

class SettingsStore : public testing::Test {
protected:
    void SetUp() override
    {
        char folder[] = "/tmp/store_test.XXXXXX";
        ASSERT_NE(::mkdtemp(folder), nullptr);
        configDir = folder;
        ::setenv("XDG_CONFIG_HOME", folder, 1);
        descriptors = entries("/proc/self/fd");
    }

    void TearDown() override
    {
        EXPECT_EQ(entries("/proc/self/fd"), descriptors) << "a descriptor leaked, or one not the store's was closed";
        ::umount2(configDir.c_str(), MNT_DETACH);
        fs::remove_all(configDir);
    }

    fs::path iniPath() const { return configDir / "Lanbridge.ini"; }
    std::string fileBytes() const { return readBytes(iniPath()); }
    void writeFile(std::string_view bytes) const { writeBytes(iniPath(), bytes); }

    // Exactly one error 75, naming the file, and soon enough not to hold the
    // window: the store gives up on a lock after about two seconds.
    void expectSaveRefused(std::string_view what) const
    {
        const auto start = std::chrono::steady_clock::now();
        try {
            save(kUsernameKey, u"bob");
            ADD_FAILURE() << what << ": the store reported success";
        } catch (const NumberedError& error) {
            EXPECT_EQ(error.number(), ErrorNumber::SettingsAccess) << what;
            EXPECT_EQ(error.subject(), iniPath().u16string()) << what;
        }
        EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(3)) << what;
    }

    fs::path configDir;
    std::ptrdiff_t descriptors = 0;
};

// A file saved now reads the same in earlier versions of the program, which
// wrote these bytes. Nothing is created before the first save.
TEST_F(SettingsStore, CreatesTheFileWithTheEscapingOfEarlierVersions)
{
    const fs::path folder = configDir / "new" / "folder";
    ::setenv("XDG_CONFIG_HOME", folder.c_str(), 1);
    const std::pair<std::u16string, std::string> rows[] = {
        {u"  alice ", "\"  alice \""},
        {u"张三 é\u0080😀", "\xe5\xbc\xa0\xe4\xb8\x89 \xc3\xa9\xc2\x80\xf0\x9f\x98\x80"},
        {u"\ta=b;c#d[e]\"f\\g\nbreak\r\a\b\f\v", "\"\\ta=b;c#d[e]\\\"f\\\\g\\nbreak\\r\\a\\b\\f\\v\""},
        {u"a,b", "\"a,b\""},
        {u"\x01" u"1f\x1fg", "\\x1\\x31\\x66\\x1fg"},
        {u"@x", "@@x"},
        {std::u16string(u"a\0b", 3), "@String(a\\0\\x62)"},
    };
    for (const auto& [value, written] : rows) {
        fs::remove_all(configDir / "new");
        EXPECT_EQ(load(kUsernameKey), u"<absent>");
        EXPECT_FALSE(fs::exists(configDir / "new"));
        save(kUsernameKey, value);
        EXPECT_EQ(readBytes(folder / "Lanbridge.ini"), "[PortAuth]\nUsername=" + written + "\n");
        EXPECT_EQ(load(kUsernameKey), value) << written;
    }
}

// A comma is an ordinary character; bytes that are not UTF-8 show as
// U+FFFD, one per ill-formed part; quotes, escapes and comments read as
// they always have.
TEST_F(SettingsStore, ReadsHandWrittenValuesAsTheyStand)
{
    const std::pair<std::string, std::u16string> rows[] = {
        {"a ,b,,c", u"a ,b,,c"},
        {"  spaced \t", u"spaced"},
        {" \"  bob \"  ", u"  bob "},
        {"\\x4e2d\\x6587\\101\\7 ; office", u"中文A\a"},
        {"\xd5\xc5\xc8\xfd|\xe4\xb8-\xf0\x9f\x98|\xc0\x80|\xed\xa0\x80|\xe0\x80|\xf4\x90|\xf8|\xc3\xa9|\xe9",
         u"\ufffd\ufffd\ufffd\ufffd|\ufffd-\ufffd|\ufffd\ufffd|\ufffd\ufffd\ufffd|\ufffd\ufffd|\ufffd\ufffd|\ufffd|é|\ufffd"},
    };
    for (const auto& [written, value] : rows) {
        writeFile("[Other]\nUsername=other\n[PortAuth]\nUsername=" + written + "\n");
        EXPECT_EQ(load(kUsernameKey), value) << written;
    }
}

// Start-up saves back what it loaded: that must not touch the file. A save
// of the other key changes that key's bytes and nothing else, and the file
// keeps its owner and mode.
TEST_F(SettingsStore, SavesChangeOnlyTheValueThatChanged)
{
    const std::string before = "\xef\xbb\xbf; mine\r\n# also mine\r\n[Other]\r\nIP=other\r\n\r\n"
                               "[PortAuth]\r\nUsername=\xd5\xc5\xc8\xfd\r\n  IP = a ,b,,c \t; office\r\nzzz=1\r\n";
    writeFile(before);
    fs::create_hard_link(iniPath(), configDir / "witness");
    save(kUsernameKey, load(kUsernameKey));
    save(kIPKey, load(kIPKey));
    EXPECT_EQ(fs::hard_link_count(iniPath()), 2u) << "the file was replaced";
    fs::remove(configDir / "witness");
    EXPECT_EQ(fileBytes(), before);

    const bool root = ::geteuid() == 0;
    ASSERT_TRUE(::chmod(iniPath().c_str(), 0604) == 0 && (!root || ::chown(iniPath().c_str(), 65534, 65534) == 0));
    save(kIPKey, u"10.0.0.1");
    struct stat after {};
    ASSERT_EQ(::stat(iniPath().c_str(), &after), 0);
    EXPECT_EQ(after.st_mode & 07777, 0604u);
    EXPECT_EQ(after.st_uid, root ? 65534u : ::geteuid());
    std::string expected = before;
    expected.replace(expected.find("IP = a"), 12, "IP=10.0.0.1");
    EXPECT_EQ(fileBytes(), expected);
    EXPECT_EQ(entries(configDir), 1) << "a temporary file or the lock was left";
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
    fs::create_symlink("real.ini", iniPath());
    for (const auto& [before, after] : rows) {
        writeBytes(configDir / "real.ini", before);
        save(kUsernameKey, u"bob");
        EXPECT_EQ(readBytes(configDir / "real.ini"), after) << before;
    }
    EXPECT_TRUE(fs::is_symlink(iniPath()));
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
    const int heldLock = ::open(lock.c_str(), O_RDONLY | O_CREAT, 0644);
    ASSERT_EQ(::flock(heldLock, LOCK_EX), 0);
    expectSaveRefused("a lock held by another copy");
    ::close(heldLock);
    fs::remove(lock);
    ASSERT_EQ(::mkfifo(lock.c_str(), 0644), 0);
    expectSaveRefused("a FIFO as the lock");
    fs::remove(lock);
    ASSERT_EQ(::mkfifo(iniPath().c_str(), 0644), 0);
    expectSaveRefused("a FIFO as the file");
    fs::remove(iniPath());

    const bool root = ::geteuid() == 0;
    const fs::path device = root ? configDir / "zero" : fs::path("/dev/zero");
    ASSERT_TRUE(!root || ::mknod(device.c_str(), S_IFCHR | 0666, ::makedev(1, 5)) == 0);
    fs::create_symlink(device, iniPath());
    expectSaveRefused("a link to a device");
    EXPECT_THROW(load(kUsernameKey), NumberedError);
    EXPECT_EQ(fs::status(iniPath()).type(), fs::file_type::character);
    EXPECT_TRUE(fs::is_symlink(iniPath()));
}

// Root passes any mode bits, so as root the save runs as another user, in a
// folder that user may write.
TEST_F(SettingsStore, LeavesAReadOnlyFileAlone)
{
    writeFile("[PortAuth]\nUsername=liam\n");
    fs::permissions(iniPath(), fs::perms(0444));
    const bool root = ::geteuid() == 0;
    ASSERT_TRUE(!root || ::chown(configDir.c_str(), 65534, 65534) == 0);
    const auto saveAsUser = [&] {
        if (root && (::setgid(65534) != 0 || ::setuid(65534) != 0))
            std::_Exit(2);
        expectSaveRefused("a read-only file");
        std::_Exit(HasFailure() ? 1 : 0);
    };
    EXPECT_EXIT(saveAsUser(), testing::ExitedWithCode(0), "");
    EXPECT_EQ(fileBytes(), "[PortAuth]\nUsername=liam\n");
}

// Mounts of its own, in a mount namespace of its own, so that nothing else
// on the system sees them.
class MountedStore : public SettingsStore {
protected:
    void SetUp() override
    {
        SettingsStore::SetUp();
        static const bool privateMounts =
            ::unshare(CLONE_NEWNS) == 0 && ::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) == 0;
        if (!privateMounts || ::mount("tmpfs", configDir.c_str(), "tmpfs", 0, "size=8k") != 0)
            GTEST_SKIP() << "needs root, for a mount namespace of its own";
    }
};

TEST_F(MountedStore, FullDiskLeavesTheFileWhole)
{
    const std::string before = "[PortAuth]\nUsername=alice\nIP=10.20.30.40\n";
    writeFile(before);
    writeBytes(configDir / "filler", std::string(8192, 'x'));
    expectSaveRefused("a full disk");
    EXPECT_EQ(fileBytes(), before);
    EXPECT_EQ(entries(configDir), 2) << "a temporary file or the lock was left";
}

// What can be read but not written still loads, and start-up's saving back
// of the same values is no failure.
TEST_F(MountedStore, ReadOnlyStoreLoadsWithoutAFailure)
{
    const std::string before = "[PortAuth]\nUsername=liam\nIP=10.20.30.40\n";
    writeFile(before);
    ASSERT_EQ(::mount(nullptr, configDir.c_str(), nullptr, MS_REMOUNT | MS_RDONLY, nullptr), 0);
    EXPECT_EQ(load(kUsernameKey), u"liam");
    save(kUsernameKey, u"liam");
    EXPECT_EQ(load(kIPKey), u"10.20.30.40");
    save(kIPKey, u"10.20.30.40");
    expectSaveRefused("a read-only folder");
    EXPECT_EQ(fileBytes(), before);
}

} // namespace
