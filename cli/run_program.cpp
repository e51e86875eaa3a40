#include "run_program.h"

#include <spawn.h>
#include <sys/mman.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <system_error>

#include "posix_io.h"

extern char** environ;

namespace portauth::cli {
namespace {

[[noreturn]] void throwErrno(const char* what)
{
    throw std::system_error(errno, std::generic_category(), what);
}

// A file in memory for one of the child's standard streams. Unlike a pipe
// it never fills up, so nothing waits on anything, and unlike a file on
// disk the secret in the input never reaches a disk.
class MemoryFile {
public:
    MemoryFile() : fd_(::memfd_create("portauth-cli", MFD_CLOEXEC))
    {
        if (fd_ < 0)
            throwErrno("memfd_create");
    }
    MemoryFile(const MemoryFile&) = delete;
    MemoryFile& operator=(const MemoryFile&) = delete;
    ~MemoryFile() { ::close(fd_); }
    int fd() const { return fd_; }

    std::string contents() const
    {
        std::string text;
        char buffer[4096];
        ssize_t count = 0;
        for (off_t at = 0; (count = ::pread(fd_, buffer, sizeof buffer, at)) > 0; at += count)
            text.append(buffer, static_cast<std::size_t>(count));
        if (count < 0)
            throwErrno("pread");
        return text;
    }

private:
    int fd_;
};

int waitFor(pid_t child)
{
    int status = 0;
    while (::waitpid(child, &status, 0) < 0) {
        if (errno != EINTR)
            throwErrno("waitpid");
    }
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

} // namespace

std::optional<ProgramResult> RunProgram(const std::vector<std::string>& arguments, std::string_view input)
{
    std::vector<char*> argv;
    for (const std::string& argument : arguments)
        argv.push_back(const_cast<char*>(argument.c_str()));
    argv.push_back(nullptr);

    const MemoryFile in, out, err;
    if (!WriteAll(in.fd(), input) || ::lseek(in.fd(), 0, SEEK_SET) != 0)
        throwErrno("write");
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, in.fd(), STDIN_FILENO);
    posix_spawn_file_actions_adddup2(&actions, out.fd(), STDOUT_FILENO);
    posix_spawn_file_actions_adddup2(&actions, err.fd(), STDERR_FILENO);
    pid_t child = 0;
    const int failure = ::posix_spawnp(&child, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (failure == ENOENT)
        return std::nullopt;
    if (failure != 0)
        throw std::system_error(failure, std::generic_category(), arguments.front());
    const int exitCode = waitFor(child);
    return ProgramResult{exitCode, out.contents(), err.contents()};
}

} // namespace portauth::cli
