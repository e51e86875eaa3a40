// The store on Linux: "<application>.ini" in the user's configuration
// folder, one group per section.
#include "settings_store.h"

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <optional>
#include <random>
#include <thread>

#include <fcntl.h>
#include <pwd.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include "ini_text.h"
#include "posix_io.h"
#include "utf8.h"
#include "numbered_error.h"

namespace portauth {
namespace {

// Another copy of the program holds the lock for a few milliseconds; a lock
// held longer than this belongs to something that will not let go.
constexpr auto kLockPatience = std::chrono::seconds(2);
constexpr auto kLockRetryPause = std::chrono::milliseconds(20);

[[noreturn]] void throwAccessError(const char* action, const std::string& path)
{
    throw NumberedError(ErrorNumber::SettingsAccess, std::string("cannot ") + action + " " + path, FromUtf8(path));
}

// Closes on every path out, so that no descriptor outlives a failure.
class FileDescriptor {
public:
    explicit FileDescriptor(int fd = -1) : fd_(fd) {}
    FileDescriptor(const FileDescriptor&) = delete;
    FileDescriptor& operator=(const FileDescriptor&) = delete;
    ~FileDescriptor()
    {
        if (fd_ >= 0)
            ::close(fd_);
    }
    void reset(int fd)
    {
        if (fd_ >= 0)
            ::close(fd_);
        fd_ = fd;
    }
    int get() const { return fd_; }
    bool valid() const { return fd_ >= 0; }
    // Closing reports the write-back errors some file systems keep till then.
    bool close()
    {
        const int fd = fd_;
        fd_ = -1;
        return ::close(fd) == 0;
    }

private:
    int fd_;
};

std::string configFolder()
{
    // A relative folder in the variable is to be ignored, as if unset.
    if (const char* xdg = std::getenv("XDG_CONFIG_HOME"); xdg != nullptr && xdg[0] == '/')
        return xdg;
    const char* home = std::getenv("HOME");
    if (home == nullptr || home[0] == '\0') {
        const passwd* account = ::getpwuid(::getuid());
        home = account != nullptr ? account->pw_dir : "/";
    }
    return std::string(home) + "/.config";
}

std::string storePath(std::u16string_view application)
{
    return configFolder() + "/" + ToUtf8(application) + ".ini";
}

bool isRegularFile(int fd)
{
    struct stat status {};
    return ::fstat(fd, &status) == 0 && S_ISREG(status.st_mode);
}

// Whether `name` in `folder` still names the open file, and not one put in
// its place or nothing at all.
bool stillNamed(int folder, const char* name, int fd)
{
    struct stat held {};
    struct stat current {};
    return ::fstat(fd, &held) == 0 && ::fstatat(folder, name, &current, AT_SYMLINK_NOFOLLOW) == 0
           && held.st_dev == current.st_dev && held.st_ino == current.st_ino;
}

bool readAll(int fd, std::string& bytes)
{
    char buffer[65536];
    for (;;) {
        const ssize_t count = ::read(fd, buffer, sizeof buffer);
        if (count == 0)
            return true;
        if (count < 0 && errno != EINTR)
            return false;
        if (count > 0)
            bytes.append(buffer, static_cast<std::size_t>(count));
    }
}

// The whole file, or nothing when there is none. Only a regular file is
// read: a FIFO or a device is refused before it is opened, and the open
// cannot block should one be swapped in meanwhile.
std::optional<std::string> readStore(const std::string& path)
{
    struct stat status {};
    if (::stat(path.c_str(), &status) != 0) {
        if (errno == ENOENT || errno == ENOTDIR)
            return std::nullopt;
        throwAccessError("read", path);
    }
    if (!S_ISREG(status.st_mode))
        throwAccessError("read", path);
    FileDescriptor file(::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC));
    std::string bytes;
    if (!file.valid() || !isRegularFile(file.get()) || !readAll(file.get(), bytes))
        throwAccessError("read", path);
    return bytes;
}

bool holds(const std::optional<std::string>& file, std::string_view section, std::string_view key,
           std::u16string_view value)
{
    return file && ini::FindValue(*file, section, key) == value;
}

void createFolders(const std::string& path)
{
    for (std::size_t slash = path.find('/', 1); slash != std::string::npos; slash = path.find('/', slash + 1))
        ::mkdir(path.substr(0, slash).c_str(), 0700);
}

// An advisory lock on "<file>.lock" between copies of the program, which
// read, change and replace the file in turn. The lock file is removed while
// still held, so a copy that meanwhile locked the removed one tries again.
class StoreLock {
public:
    explicit StoreLock(const std::string& settingsPath) : path_(settingsPath + ".lock")
    {
        const auto deadline = std::chrono::steady_clock::now() + kLockPatience;
        for (Attempt attempt = tryLock(); attempt != Attempt::Locked; attempt = tryLock()) {
            if (attempt == Attempt::Refused || std::chrono::steady_clock::now() >= deadline)
                throwAccessError("write", settingsPath);
            std::this_thread::sleep_for(kLockRetryPause);
        }
    }
    StoreLock(const StoreLock&) = delete;
    StoreLock& operator=(const StoreLock&) = delete;
    ~StoreLock() { ::unlink(path_.c_str()); }

private:
    enum class Attempt { Locked, Busy, Refused };

    Attempt tryLock()
    {
        file_.reset(::open(path_.c_str(), O_RDONLY | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC, 0644));
        if (!file_.valid() || !isRegularFile(file_.get()))
            return Attempt::Refused;
        if (::flock(file_.get(), LOCK_EX | LOCK_NB) != 0)
            return errno == EWOULDBLOCK ? Attempt::Busy : Attempt::Refused;
        return stillNamed(AT_FDCWD, path_.c_str(), file_.get()) ? Attempt::Locked : Attempt::Busy;
    }

    std::string path_;
    FileDescriptor file_;
};

struct Destination {
    std::string folder;
    std::string name;
    std::optional<struct stat> existing;
};

// Where the new file goes. A symbolic link to a regular file is kept and
// its target replaced; anything that is not a regular file, or that may
// not be written, is refused and left alone.
Destination destinationOf(const std::string& path)
{
    std::string target = path;
    struct stat status {};
    if (::lstat(path.c_str(), &status) == 0 && S_ISLNK(status.st_mode)) {
        char* resolved = ::realpath(path.c_str(), nullptr);
        if (resolved == nullptr)
            throwAccessError("write", path);
        target = resolved;
        std::free(resolved);
    }
    Destination destination;
    const std::size_t slash = target.rfind('/');
    destination.folder = slash == 0 ? "/" : target.substr(0, slash);
    destination.name = target.substr(slash + 1);
    if (::lstat(target.c_str(), &status) == 0) {
        if (!S_ISREG(status.st_mode) || ::faccessat(AT_FDCWD, target.c_str(), W_OK, AT_EACCESS) != 0)
            throwAccessError("write", path);
        destination.existing = status;
    } else if (errno != ENOENT) {
        throwAccessError("write", path);
    }
    return destination;
}

// A save's temporary file is locked for as long as the save runs. The
// kernel drops that lock however the save ends, even by SIGKILL, so a
// temporary file that can be locked is a leftover, whichever process, pid
// namespace or path to the folder made it, and a pid reused meanwhile
// cannot make a leftover look live. Earlier versions did not lock theirs,
// but they wrote them only under the store's lock, which the cleaning holds.
bool isTemporaryOf(std::string_view entry, const std::string& name)
{
    const std::string prefix = "." + name + ".";
    constexpr std::string_view suffix = ".tmp";
    if (entry.size() <= prefix.size() + suffix.size() || !entry.starts_with(prefix) || !entry.ends_with(suffix))
        return false;
    const std::string_view number = entry.substr(prefix.size(), entry.size() - prefix.size() - suffix.size());
    return number.find_first_not_of("0123456789") == std::string_view::npos;
}

// Removing one is only worth trying: a save goes on without it.
void removeLeftovers(const Destination& destination, int folder)
{
    std::error_code error;
    for (std::filesystem::directory_iterator entry(destination.folder, error), end; !error && entry != end;
         entry.increment(error)) {
        const std::string entryName = entry->path().filename();
        if (!isTemporaryOf(entryName, destination.name))
            continue;
        const FileDescriptor file(
            ::openat(folder, entryName.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC));
        if (file.valid() && isRegularFile(file.get()) && ::flock(file.get(), LOCK_EX | LOCK_NB) == 0
            && stillNamed(folder, entryName.c_str(), file.get()))
            ::unlinkat(folder, entryName.c_str(), 0);
    }
}

// A file of our own beside the destination, so that the rename stays on one
// file system, and locked. One that a cleaning locked first between our
// open and our lock is gone, or about to go: another name is taken then. On
// a file system without locks no cleaning can lock one either.
std::string createTemporary(int folder, const std::string& name, FileDescriptor& file)
{
    std::random_device seed;
    for (int attempt = 0; attempt < 16; ++attempt) {
        const std::string candidate = "." + name + "." + std::to_string(seed() % 1000000000u) + ".tmp";
        file.reset(::openat(folder, candidate.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666));
        if (!file.valid()) {
            if (errno != EEXIST)
                return {};
            continue;
        }
        if (::flock(file.get(), LOCK_EX | LOCK_NB) == 0 ? stillNamed(folder, candidate.c_str(), file.get())
                                                         : errno != EWOULDBLOCK)
            return candidate;
        file.reset(-1);
    }
    return {};
}

// The old file keeps its owner and permissions in the new one.
bool takeOver(int file, const std::optional<struct stat>& existing)
{
    if (!existing)
        return true;
    if (::geteuid() == 0 && ::fchown(file, existing->st_uid, existing->st_gid) != 0)
        return false;
    return ::fchmod(file, existing->st_mode & 07777) == 0;
}

// Replaces the file whole, and only once the new content is on the disk; on
// any failure the old file stays as it was.
void replaceFile(const std::string& path, std::string_view content)
{
    const Destination destination = destinationOf(path);
    FileDescriptor folder(::open(destination.folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (!folder.valid())
        throwAccessError("write", path);
    // First, so that the room the leftovers take is free for this save.
    removeLeftovers(destination, folder.get());
    FileDescriptor file;
    const std::string temporary = createTemporary(folder.get(), destination.name, file);
    if (!file.valid())
        throwAccessError("write", path);
    // The lock goes with the last descriptor of the open file, so this one
    // keeps it past the close below, until the rename is done.
    const FileDescriptor keepsLock(::dup(file.get()));
    const bool written = keepsLock.valid() && takeOver(file.get(), destination.existing)
                         && WriteAll(file.get(), content) && ::fsync(file.get()) == 0 && file.close();
    if (!written || ::renameat(folder.get(), temporary.c_str(), folder.get(), destination.name.c_str()) != 0) {
        ::unlinkat(folder.get(), temporary.c_str(), 0);
        throwAccessError("write", path);
    }
    if (::fsync(folder.get()) != 0)
        throwAccessError("write", path);
}

} // namespace

std::u16string GetSetting(std::u16string_view application, std::u16string_view section,
                          std::u16string_view key, std::u16string_view defaultValue)
{
    const std::optional<std::string> file = readStore(storePath(application));
    const std::optional<std::u16string> value =
        file ? ini::FindValue(*file, ToUtf8(section), ToUtf8(key)) : std::nullopt;
    return value ? *value : std::u16string(defaultValue);
}

void SaveSetting(std::u16string_view application, std::u16string_view section,
                 std::u16string_view key, std::u16string_view value)
{
    const std::string path = storePath(application);
    const std::string sectionName = ToUtf8(section);
    const std::string keyName = ToUtf8(key);
    // Unchanged values cost nothing and need no write access: a store that
    // can only be read still loads without a failure.
    if (holds(readStore(path), sectionName, keyName, value))
        return;
    createFolders(path);
    const StoreLock lock(path);
    const std::optional<std::string> file = readStore(path);
    if (holds(file, sectionName, keyName, value))
        return;
    replaceFile(path, ini::WithValue(file.value_or(""), sectionName, keyName, value));
}

} // namespace portauth
