#include "network_manager.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <random>
#include <vector>

#include "cli_error.h"
#include "formats.h"
#include "posix_io.h"
#include "run_program.h"

namespace portauth::cli {
namespace {

// nmcli's documented exit codes.
constexpr int kNmcliNotRunning = 8;
constexpr int kNmcliNoSuchConnection = 10;

std::string firstLine(std::string_view text)
{
    return std::string(text.substr(0, text.find('\n')));
}

std::string newUuid()
{
    std::random_device source;
    std::string bytes(16, '\0');
    for (char& byte : bytes)
        byte = static_cast<char>(source());
    bytes[6] = static_cast<char>((bytes[6] & 0x0F) | 0x40); // version 4
    bytes[8] = static_cast<char>((bytes[8] & 0x3F) | 0x80); // RFC 4122 variant
    std::string text = Hex(bytes);
    for (const std::size_t dash : {8u, 13u, 18u, 23u})
        text.insert(dash, 1, '-');
    return text;
}

bool isUuid(std::string_view text)
{
    if (text.size() != 36)
        return false;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const bool dash = i == 8 || i == 13 || i == 18 || i == 23;
        if (dash ? text[i] != '-' : !std::isxdigit(static_cast<unsigned char>(text[i])))
            return false;
    }
    return true;
}

std::optional<std::string> uuidInKeyfile(const std::string& path)
{
    std::ifstream file(path);
    std::string line;
    bool inConnection = false;
    while (std::getline(file, line)) {
        if (line.starts_with('['))
            inConnection = line.starts_with("[connection]");
        else if (inConnection && line.starts_with("uuid=") && isUuid(line.substr(5)))
            return line.substr(5);
    }
    return std::nullopt;
}

class Nmcli {
public:
    explicit Nmcli(std::string connection) : connection_(std::move(connection)) {}

    ProgramResult run(std::vector<std::string> arguments, std::string_view input = {}) const
    {
        arguments.insert(arguments.begin(), "nmcli");
        std::optional<ProgramResult> result;
        try {
            result = RunProgram(arguments, input);
        } catch (const std::exception& error) {
            fail(error.what());
        }
        if (!result)
            throw CliError(Problem::NmcliMissing);
        // Without a system bus nmcli cannot even make its client object,
        // and says so in a general error; the object's name is not translated.
        if (result->exitCode == kNmcliNotRunning || result->errors.find("NMClient") != std::string::npos)
            throw CliError(Problem::NetworkManagerNotRunning);
        return *result;
    }

    void runOrFail(std::vector<std::string> arguments) const
    {
        const ProgramResult result = run(std::move(arguments));
        if (result.exitCode != 0)
            fail(firstLine(result.errors));
    }

    [[noreturn]] void fail(const std::string& why) const
    {
        throw CliError(Problem::ConnectionNotWritten, "\"" + connection_ + "\": " + why);
    }

private:
    std::string connection_;
};

std::vector<std::string> settingsOf(const WiredProfile& profile)
{
    std::vector<std::string> settings{"802-1x.eap", "md5", "802-1x.identity", profile.identity,
                                      "802-1x.password-flags", "0"};
    if (profile.interfaceName)
        settings.insert(settings.end(), {"connection.interface-name", *profile.interfaceName});
    return settings;
}

// The interactive editor is the one way to give nmcli a property that does
// not pass through its arguments. It would ask before saving a connection
// that may come up at once; the first line turns that question off.
void setPassword(const Nmcli& nmcli, const std::string& uuid, const std::string& password)
{
    const std::string script = "nmcli save-confirmation no\nset 802-1x.password " + password +
                               "\nsave persistent\nquit\n";
    const ProgramResult edited = nmcli.run({"connection", "edit", "uuid", uuid}, script);
    const ProgramResult stored = nmcli.run({"-s", "-g", "802-1x.password", "connection", "show", "uuid", uuid});
    if (stored.exitCode != 0 || firstLine(stored.output) != password)
        nmcli.fail(firstLine(edited.errors.empty() ? stored.errors : edited.errors));
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

std::optional<std::string> FindConnection(const std::string& name)
{
    const Nmcli nmcli(name);
    const ProgramResult found = nmcli.run({"-g", "connection.uuid", "connection", "show", "id", name});
    if (found.exitCode == kNmcliNoSuchConnection)
        return std::nullopt;
    const std::string uuid = firstLine(found.output);
    if (found.exitCode != 0 || !isUuid(uuid))
        nmcli.fail(firstLine(found.errors));
    return uuid;
}

void SaveWithNmcli(const WiredProfile& profile, std::optional<std::string> uuid)
{
    const Nmcli nmcli(profile.name);
    std::vector<std::string> settings = settingsOf(profile);
    if (uuid) {
        settings.insert(settings.begin(), {"connection", "modify", "uuid", *uuid});
    } else {
        uuid = newUuid();
        settings.insert(settings.begin(), {"connection", "add", "type", "ethernet", "con-name", profile.name,
                                           "connection.uuid", *uuid});
    }
    nmcli.runOrFail(settings);
    setPassword(nmcli, *uuid, profile.password);
}

void WriteKeyfile(const std::string& path, const WiredProfile& profile)
{
    const std::string text = NetworkManagerKeyfile(profile, uuidInKeyfile(path).value_or(newUuid()));
    // mkstemp creates the file with mode 600, so the password is never
    // readable by others, not even for a moment.
    std::string temporary = path + ".XXXXXX";
    const int fd = ::mkstemp(temporary.data());
    if (fd < 0)
        throw CliError(Problem::ConnectionNotWritten, path + ": " + std::strerror(errno));
    int error = WriteAll(fd, text) && ::fsync(fd) == 0 ? 0 : errno;
    if (::close(fd) != 0 && error == 0)
        error = errno;
    if (error == 0 && ::rename(temporary.c_str(), path.c_str()) != 0)
        error = errno;
    if (error != 0) {
        ::unlink(temporary.c_str());
        throw CliError(Problem::ConnectionNotWritten, path + ": " + std::strerror(error));
    }
    syncFolderOf(path);
}

} // namespace portauth::cli
