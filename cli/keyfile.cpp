#include "keyfile.h"

#include <fcntl.h>
#include <glib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <optional>
#include <utility>

#include "cli_error.h"
#include "posix_io.h"

namespace portauth::cli {
namespace {

// A keyfile of a wired connection is well under a kilobyte.
constexpr off_t kLargestKeyfile = 64 * 1024;

[[noreturn]] void refuse(const std::string& path, const std::string& why)
{
    throw CliError(Problem::ConnectionNotWritten, path + ": " + why);
}

bool isSmallFile(const struct stat& status)
{
    return S_ISREG(status.st_mode) && status.st_size <= kLargestKeyfile;
}

// The file's bytes, read only when it is a regular file of a keyfile's
// size: a FIFO, a device or a link is refused before anything opens it.
std::optional<std::string> existingFile(const std::string& path)
{
    struct stat status {};
    if (::lstat(path.c_str(), &status) != 0) {
        if (errno == ENOENT)
            return std::nullopt;
        refuse(path, std::strerror(errno));
    }
    if (!S_ISREG(status.st_mode))
        refuse(path, "not a regular file");
    // O_NONBLOCK and the second look: what was swapped in since is refused too.
    const int fd = ::open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0 || ::fstat(fd, &status) != 0 || !isSmallFile(status)) {
        const int error = errno;
        if (fd >= 0)
            ::close(fd);
        refuse(path, fd < 0 ? std::strerror(error) : "not a NetworkManager keyfile");
    }
    std::string text(static_cast<std::size_t>(status.st_size), '\0');
    const ssize_t count = ::read(fd, text.data(), text.size());
    ::close(fd);
    if (count < 0)
        refuse(path, std::strerror(errno));
    text.resize(static_cast<std::size_t>(count));
    return text;
}

std::optional<std::string> uuidInKeyfile(const std::string& path, const std::string& text)
{
    KeyfileIdentity keyfile = ReadKeyfile(text);
    if (!keyfile.isConnection)
        refuse(path, "not a NetworkManager keyfile");
    return std::move(keyfile.uuid);
}

std::string newUuid()
{
    g_autofree char* uuid = g_uuid_string_random();
    return uuid;
}

void syncFolderOf(const std::string& path)
{
    const std::string folder = std::filesystem::path(path).parent_path();
    const int fd = ::open(folder.empty() ? "." : folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd >= 0) {
        ::fsync(fd);
        ::close(fd);
    }
}

} // namespace

// GLib's own parser, the one NetworkManager reads keyfiles with, so every
// spelling it accepts is found and the last group wins as it does there.
KeyfileIdentity ReadKeyfile(std::string_view text)
{
    g_autoptr(GKeyFile) keyfile = g_key_file_new();
    KeyfileIdentity identity;
    identity.isConnection = g_key_file_load_from_data(keyfile, text.data(), text.size(), G_KEY_FILE_NONE, nullptr) &&
                            g_key_file_has_group(keyfile, "connection");
    g_autofree gchar* uuid = g_key_file_get_string(keyfile, "connection", "uuid", nullptr);
    if (identity.isConnection && uuid != nullptr && g_uuid_string_is_valid(uuid))
        identity.uuid = uuid;
    return identity;
}

std::string KeyfileUuid(const std::string& path)
{
    const std::optional<std::string> existing = existingFile(path);
    const std::optional<std::string> uuid = existing ? uuidInKeyfile(path, *existing) : std::nullopt;
    return uuid.value_or(newUuid());
}

void WriteKeyfile(const std::string& path, const WiredProfile& profile, const std::string& uuid)
{
    const std::string text = NetworkManagerKeyfile(profile, uuid);
    // mkstemp creates the file with mode 600, so the password is never
    // readable by others, not even for a moment.
    std::string temporary = path + ".XXXXXX";
    const int fd = ::mkstemp(temporary.data());
    if (fd < 0)
        refuse(path, std::strerror(errno));
    int error = WriteAll(fd, text) && ::fsync(fd) == 0 ? 0 : errno;
    if (::close(fd) != 0 && error == 0)
        error = errno;
    if (error == 0 && ::rename(temporary.c_str(), path.c_str()) != 0)
        error = errno;
    if (error != 0) {
        ::unlink(temporary.c_str());
        refuse(path, std::strerror(error));
    }
    syncFolderOf(path);
}

} // namespace portauth::cli
