#include "settings_store.h"

#include "numbered_error.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <vector>

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

class SettingsStore : public testing::Test {
protected:
    void SetUp() override
    {
        char folder[] = "/tmp/store_test.XXXXXX";
        ASSERT_NE(::mkdtemp(folder), nullptr);
        configDir = folder;
        ::setenv("XDG_CONFIG_HOME", folder, 1);
    }

    void TearDown() override
    {
        ::umount2(configDir.c_str(), MNT_DETACH);
        fs::remove_all(configDir);
    }

    fs::path iniPath() const { return configDir / "Lanbridge.ini"; }
    std::string fileBytes() const { return readBytes(iniPath()); }
    void writeFile(std::string_view bytes) const { writeBytes(iniPath(), bytes); }

    static std::u16string load(std::u16string_view key)
    {
        return GetSetting(kSettingsApplication, kSettingsSection, key, u"<absent>");
    }

    static void save(std::u16string_view key, std::u16string_view value)
    {
        SaveSetting(kSettingsApplication, kSettingsSection, key, value);
    }

    // Exactly one error 75, naming the file.
    void expectAccessError(const std::function<void()>& operation) const
    {
        try {
            operation();
            ADD_FAILURE() << "the store reported success";
        } catch (const NumberedError& error) {
            EXPECT_EQ(error.number(), ErrorNumber::SettingsAccess);
            EXPECT_EQ(error.subject(), iniPath().u16string());
        }
    }

    // Nothing but the settings file and what the test put there.
    std::vector<std::string> folderContents() const
    {
        std::vector<std::string> names;
        for (const auto& entry : fs::directory_iterator(configDir))
            names.push_back(entry.path().filename().string());
        std::sort(names.begin(), names.end());
        return names;
    }

    fs::path configDir;
};

struct Escaping {
    std::u16string value;
    std::string written;
};

// A file saved now reads the same in earlier versions of the program, which
// wrote these bytes.
TEST_F(SettingsStore, WritesTheEscapingOfEarlierVersions)
{
    const Escaping rows[] = {
        {u"alice", "alice"},
        {u"", ""},
        {u"  alice ", "\"  alice \""},
        {u"\tbob\t", "\\tbob\\t"},
        {u"张三 é\u0080😀", "\xe5\xbc\xa0\xe4\xb8\x89 \xc3\xa9\xc2\x80\xf0\x9f\x98\x80"},
        {u"a=b;c#d[e]\"f\\g", "\"a=b;c#d[e]\\\"f\\\\g\""},
        {u"a,b", "\"a,b\""},
        {u"line\nbreak\r\a\b\f\v", "line\\nbreak\\r\\a\\b\\f\\v"},
        {u"\x01" u"1f\x1fg", "\\x1\\x31\\x66\\x1fg"},
        {u"@x", "@@x"},
        {std::u16string(u"a\0b", 3), "@String(a\\0\\x62)"},
    };
    for (const Escaping& row : rows) {
        fs::remove(iniPath());
        save(kUsernameKey, row.value);
        EXPECT_EQ(fileBytes(), "[PortAuth]\nUsername=" + row.written + "\n");
        EXPECT_EQ(load(kUsernameKey), row.value) << row.written;
    }
}

struct HandWritten {
    std::string value;
    std::u16string read;
};

// A comma is an ordinary character; bytes that are not UTF-8 show as
// U+FFFD; quotes, escapes and comments read as they always have.
TEST_F(SettingsStore, ReadsHandWrittenValuesAsTheyStand)
{
    const HandWritten rows[] = {
        {"a,b", u"a,b"},
        {"a ,b,,c", u"a ,b,,c"},
        {"  spaced \t", u"spaced"},
        {" \"  bob \"  ", u"  bob "},
        {"\\x4e2d\\x6587 ; office", u"中文"},
        {"\xd5\xc5\xc8\xfd", u"\ufffd\ufffd\ufffd\ufffd"},
        {"1.2\xe9", u"1.2\ufffd"},
        {"\xe4\xb8-\xf0\x9f\x98", u"\ufffd-\ufffd"},
        {"\xc0\x80|\xed\xa0\x80|\xe0\x80|\xf4\x90|\xf8|\xc3\xa9", u"\ufffd\ufffd|\ufffd\ufffd\ufffd|\ufffd\ufffd|\ufffd\ufffd|\ufffd|é"},
    };
    for (const HandWritten& row : rows) {
        writeFile("[Other]\nUsername=other\n[PortAuth]\nUsername=" + row.value + "\n");
        EXPECT_EQ(load(kUsernameKey), row.read) << row.value;
    }
}

// Start-up saves back what it loaded: that must not touch the file. A save
// of the other key changes that key's bytes and nothing else.
TEST_F(SettingsStore, SavesChangeOnlyTheValueThatChanged)
{
    const std::string before = "\xef\xbb\xbf; mine\r\n# also mine\r\n[Other]\r\nIP=other\r\n\r\n"
                               "[PortAuth]\r\nUsername=\xd5\xc5\xc8\xfd\r\n  IP = a ,b,,c ; office\r\nzzz=1\r\n";
    writeFile(before);
    struct stat original {};
    ASSERT_EQ(::stat(iniPath().c_str(), &original), 0);
    save(kUsernameKey, load(kUsernameKey));
    save(kIPKey, load(kIPKey));
    struct stat after {};
    ASSERT_EQ(::stat(iniPath().c_str(), &after), 0);
    EXPECT_EQ(after.st_ino, original.st_ino) << "the file was replaced";
    EXPECT_EQ(fileBytes(), before);

    ASSERT_EQ(::chmod(iniPath().c_str(), 0604), 0);
    save(kIPKey, u"10.0.0.1");
    EXPECT_EQ(fs::status(iniPath()).permissions(), fs::perms(0604));
    std::string expected = before;
    expected.replace(expected.find("IP = a"), 12, "IP=10.0.0.1");
    EXPECT_EQ(fileBytes(), expected);
    EXPECT_EQ(folderContents(), std::vector<std::string>{"Lanbridge.ini"});
}

struct Insertion {
    std::string before;
    std::string after;
};

TEST_F(SettingsStore, NewEntriesJoinTheirGroup)
{
    const Insertion rows[] = {
        {"[PortAuth]\r\nIP=1\r\n\r\n[Other]\r\nx=1\r\n", "[PortAuth]\r\nIP=1\r\nUsername=bob\r\n\r\n[Other]\r\nx=1\r\n"},
        {"[PortAuth]\nIP=1", "[PortAuth]\nIP=1\nUsername=bob\n"},
        {"[PortAuth]", "[PortAuth]\nUsername=bob\n"},
        {"[Other]\nx=1\n", "[Other]\nx=1\n\n[PortAuth]\nUsername=bob\n"},
        {"x=1", "x=1\n\n[PortAuth]\nUsername=bob\n"},
        {"", "[PortAuth]\nUsername=bob\n"},
    };
    for (const Insertion& row : rows) {
        writeFile(row.before);
        save(kUsernameKey, u"bob");
        EXPECT_EQ(fileBytes(), row.after) << row.before;
    }
}

TEST_F(SettingsStore, AbsentStoreGivesTheDefaultAndSaveCreatesIt)
{
    ::setenv("XDG_CONFIG_HOME", (configDir / "new" / "folder").c_str(), 1);
    EXPECT_EQ(load(kUsernameKey), u"<absent>");
    EXPECT_FALSE(fs::exists(configDir / "new"));
    save(kIPKey, u"");
    EXPECT_EQ(readBytes(configDir / "new" / "folder" / "Lanbridge.ini"), "[PortAuth]\nIP=\n");
}

// A symbolic link to a file stays a link; the file it names takes the save.
TEST_F(SettingsStore, SavesThroughALinkToAFile)
{
    fs::create_directory(configDir / "elsewhere");
    writeBytes(configDir / "elsewhere" / "real.ini", "[PortAuth]\nIP=1\n");
    fs::create_symlink("elsewhere/real.ini", iniPath());
    save(kUsernameKey, u"bob");
    EXPECT_TRUE(fs::is_symlink(iniPath()));
    EXPECT_EQ(readBytes(configDir / "elsewhere" / "real.ini"), "[PortAuth]\nIP=1\nUsername=bob\n");
}

// Root could replace a device node with a plain file: the store must refuse
// to read or write anything but a regular file. As root the test makes its
// own device nodes, so a fault cannot harm the system's.
TEST_F(SettingsStore, RefusesWhatIsNotARegularFile)
{
    struct Device {
        const char* system;
        unsigned minor;
    };
    for (const Device device : {Device{"/dev/null", 3}, Device{"/dev/zero", 5}, Device{"/dev/full", 7}}) {
        fs::remove_all(iniPath());
        fs::path node = device.system;
        if (::geteuid() == 0) {
            node = configDir / ("node" + std::to_string(device.minor));
            fs::remove(node);
            ASSERT_EQ(::mknod(node.c_str(), S_IFCHR | 0666, ::makedev(1, device.minor)), 0);
        }
        fs::create_symlink(node, iniPath());
        expectAccessError([] { load(kUsernameKey); });
        expectAccessError([] { save(kUsernameKey, u"bob"); });
        struct stat status {};
        ASSERT_EQ(::stat(node.c_str(), &status), 0);
        EXPECT_TRUE(S_ISCHR(status.st_mode)) << device.system;
        EXPECT_EQ(status.st_rdev, ::makedev(1, device.minor));
        EXPECT_TRUE(fs::is_symlink(iniPath()));
    }

    fs::remove(iniPath());
    fs::create_directory(iniPath());
    expectAccessError([] { load(kUsernameKey); });
    expectAccessError([] { save(kUsernameKey, u"bob"); });
}

// No lock, open or read may hold the window: each gives up with one error
// within about two seconds.
TEST_F(SettingsStore, GivesUpOnWhatWouldBlock)
{
    const fs::path lockPath = configDir / "Lanbridge.ini.lock";
    int heldLock = -1;
    const std::pair<const char*, std::function<void()>> cases[] = {
        {"a folder as the lock", [&] { fs::create_directory(lockPath); }},
        {"a lock held by another copy",
         [&] {
             heldLock = ::open(lockPath.c_str(), O_RDONLY | O_CREAT, 0644);
             ASSERT_EQ(::flock(heldLock, LOCK_EX), 0);
         }},
        {"a FIFO as the lock", [&] { ASSERT_EQ(::mkfifo(lockPath.c_str(), 0644), 0); }},
        {"a FIFO as the file", [&] { ASSERT_EQ(::mkfifo(iniPath().c_str(), 0644), 0); }},
    };
    for (const auto& [name, arrange] : cases) {
        fs::remove_all(lockPath);
        fs::remove_all(iniPath());
        arrange();
        const auto start = std::chrono::steady_clock::now();
        expectAccessError([] { save(kUsernameKey, u"bob"); });
        const auto elapsed = std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start);
        std::printf("%s: gave up after %lld ms\n", name, static_cast<long long>(elapsed.count()));
        EXPECT_LT(elapsed, std::chrono::seconds(3)) << name;
    }
    expectAccessError([] { load(kUsernameKey); });
    ::close(heldLock);
}

// Root passes any mode bits, so as root the saves run as another user, in
// a folder that user may write.
TEST_F(SettingsStore, RefusesAReadOnlyFileAndAnotherUsersLock)
{
    const bool root = ::geteuid() == 0;
    const std::string before = "[PortAuth]\nUsername=liam\n";
    writeFile(before);
    fs::permissions(iniPath(), fs::perms(0444));
    const auto saveAsUser = [root] {
        if (root && (::setgid(65534) != 0 || ::setuid(65534) != 0))
            std::_Exit(2);
        try {
            save(kUsernameKey, u"bob");
        } catch (const NumberedError& error) {
            std::_Exit(static_cast<int>(error.number()));
        }
        std::_Exit(0);
    };
    if (root) {
        ASSERT_EQ(::chown(configDir.c_str(), 65534, 65534), 0);
    }
    EXPECT_EXIT(saveAsUser(), testing::ExitedWithCode(75), "") << "a read-only file";
    EXPECT_EQ(fileBytes(), before);
    if (!root)
        return;

    fs::permissions(iniPath(), fs::perms(0644));
    writeBytes(configDir / "Lanbridge.ini.lock", "");
    fs::permissions(configDir / "Lanbridge.ini.lock", fs::perms(0600));
    EXPECT_EXIT(saveAsUser(), testing::ExitedWithCode(75), "") << "another user's lock";
    EXPECT_EQ(fileBytes(), before);
}

// Mounts of its own, in a mount namespace of its own, so that nothing else
// on the system sees them.
bool enterPrivateMounts()
{
    static const bool entered = [] {
        if (::unshare(CLONE_NEWNS) != 0) {
            const std::string uid = std::to_string(::getuid());
            const std::string gid = std::to_string(::getgid());
            if (::unshare(CLONE_NEWUSER | CLONE_NEWNS) != 0)
                return false;
            writeBytes("/proc/self/setgroups", "deny");
            writeBytes("/proc/self/uid_map", "0 " + uid + " 1");
            writeBytes("/proc/self/gid_map", "0 " + gid + " 1");
        }
        return ::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) == 0;
    }();
    return entered;
}

class MountedStore : public SettingsStore {
protected:
    void SetUp() override
    {
        SettingsStore::SetUp();
        if (!enterPrivateMounts() || ::mount("tmpfs", configDir.c_str(), "tmpfs", 0, "size=8k") != 0)
            GTEST_SKIP() << "no private mount namespace here: needs root or unprivileged user namespaces";
    }
};

// The save that meets a full disk fails whole: the old file stays.
TEST_F(MountedStore, FullDiskLeavesTheFileWhole)
{
    const std::string before = "[PortAuth]\nUsername=alice\nIP=10.20.30.40\n";
    writeFile(before);
    const fs::path filler = configDir / "filler";
    {
        std::ofstream fill(filler, std::ios::binary);
        const std::string block(512, 'x');
        while (fill.write(block.data(), std::streamsize(block.size())) && fill.flush()) {
        }
    }
    expectAccessError([] { save(kUsernameKey, u"bob"); });
    expectAccessError([] { save(kUsernameKey, u"bobby"); });
    EXPECT_EQ(fileBytes(), before);
    EXPECT_EQ(folderContents(), (std::vector<std::string>{"Lanbridge.ini", "filler"}));

    fs::remove(filler);
    save(kUsernameKey, u"bob");
    EXPECT_EQ(load(kUsernameKey), u"bob");
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
    expectAccessError([] { save(kIPKey, u"10.20.30.4"); });
    EXPECT_EQ(fileBytes(), before);
}

} // namespace
