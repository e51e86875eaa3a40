#include "run_program.h"

#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <csignal>
#include <stdexcept>
#include <system_error>

#include "posix_io.h"

extern char** environ;

namespace portauth::cli {
namespace {

class Pipe {
public:
    Pipe()
    {
        if (::pipe2(ends_.data(), O_CLOEXEC) != 0)
            throw std::system_error(errno, std::generic_category(), "pipe");
    }
    Pipe(const Pipe&) = delete;
    Pipe& operator=(const Pipe&) = delete;
    ~Pipe()
    {
        closeEnd(0);
        closeEnd(1);
    }
    int readEnd() const { return ends_[0]; }
    int writeEnd() const { return ends_[1]; }
    void closeEnd(std::size_t end)
    {
        if (ends_[end] >= 0)
            ::close(ends_[end]);
        ends_[end] = -1;
    }

private:
    std::array<int, 2> ends_{-1, -1};
};

// The child may end without reading its input; that must not end us.
class IgnoreBrokenPipe {
public:
    IgnoreBrokenPipe() { previous_ = std::signal(SIGPIPE, SIG_IGN); }
    IgnoreBrokenPipe(const IgnoreBrokenPipe&) = delete;
    IgnoreBrokenPipe& operator=(const IgnoreBrokenPipe&) = delete;
    ~IgnoreBrokenPipe() { std::signal(SIGPIPE, previous_); }

private:
    void (*previous_)(int) = SIG_DFL;
};

void collect(Pipe& output, Pipe& errors, ProgramResult& result)
{
    std::array<pollfd, 2> watched{pollfd{output.readEnd(), POLLIN, 0}, pollfd{errors.readEnd(), POLLIN, 0}};
    std::array<std::string*, 2> targets{&result.output, &result.errors};
    std::array<char, 4096> buffer{};
    int open = 2;
    while (open > 0) {
        if (::poll(watched.data(), watched.size(), -1) < 0) {
            if (errno == EINTR)
                continue;
            throw std::system_error(errno, std::generic_category(), "poll");
        }
        for (std::size_t i = 0; i < watched.size(); ++i) {
            if (watched[i].fd < 0 || watched[i].revents == 0)
                continue;
            const ssize_t count = ::read(watched[i].fd, buffer.data(), buffer.size());
            if (count > 0) {
                targets[i]->append(buffer.data(), static_cast<std::size_t>(count));
            } else if (count == 0 || errno != EINTR) {
                watched[i].fd = -1;
                --open;
            }
        }
    }
}

int waitFor(pid_t child)
{
    int status = 0;
    while (::waitpid(child, &status, 0) < 0) {
        if (errno != EINTR)
            throw std::system_error(errno, std::generic_category(), "waitpid");
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

    Pipe in, out, err;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, in.readEnd(), STDIN_FILENO);
    posix_spawn_file_actions_adddup2(&actions, out.writeEnd(), STDOUT_FILENO);
    posix_spawn_file_actions_adddup2(&actions, err.writeEnd(), STDERR_FILENO);
    pid_t child = 0;
    const int failure = ::posix_spawnp(&child, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (failure == ENOENT)
        return std::nullopt;
    if (failure != 0)
        throw std::system_error(failure, std::generic_category(), arguments.front());

    in.closeEnd(0);
    out.closeEnd(1);
    err.closeEnd(1);
    ProgramResult result;
    {
        const IgnoreBrokenPipe ignore;
        WriteAll(in.writeEnd(), input);
        in.closeEnd(1);
    }
    collect(out, err, result);
    result.exitCode = waitFor(child);
    return result;
}

} // namespace portauth::cli
