#include "platform.h"

#include <fcntl.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>

#include "cli_error.h"
#include "password_input.h"
#include "posix_io.h"

namespace portauth::cli {
namespace {

// Read by the signal handler: a Ctrl+C at the prompt must not leave the
// terminal without echo.
int echoTerminal = -1;
termios echoSettings{};

constexpr int kRestoringSignals[] = {SIGINT, SIGTERM, SIGHUP, SIGQUIT, SIGTSTP};

extern "C" void restoreEchoAndResignal(int signalNumber)
{
    tcsetattr(echoTerminal, TCSAFLUSH, &echoSettings);
    std::signal(signalNumber, SIG_DFL);
    std::raise(signalNumber);
}

class EchoOff {
public:
    explicit EchoOff(int terminal)
    {
        if (tcgetattr(terminal, &echoSettings) != 0)
            return;
        echoTerminal = terminal;
        for (int signalNumber : kRestoringSignals)
            std::signal(signalNumber, restoreEchoAndResignal);
        termios quiet = echoSettings;
        quiet.c_lflag &= ~static_cast<tcflag_t>(ECHO);
        quiet.c_lflag |= ECHONL;
        tcsetattr(terminal, TCSAFLUSH, &quiet);
    }
    EchoOff(const EchoOff&) = delete;
    EchoOff& operator=(const EchoOff&) = delete;
    ~EchoOff()
    {
        if (echoTerminal < 0)
            return;
        tcsetattr(echoTerminal, TCSAFLUSH, &echoSettings);
        for (int signalNumber : kRestoringSignals)
            std::signal(signalNumber, SIG_DFL);
        echoTerminal = -1;
    }
};

std::size_t readOrThrow(int fd, char* buffer, std::size_t size)
{
    for (;;) {
        const ssize_t count = ::read(fd, buffer, size);
        if (count >= 0)
            return static_cast<std::size_t>(count);
        if (errno != EINTR)
            throw CliError(Problem::PasswordUnreadable, std::strerror(errno));
    }
}

class Terminal {
public:
    Terminal() : fd_(::open("/dev/tty", O_RDWR | O_NOCTTY | O_CLOEXEC)) {}
    Terminal(const Terminal&) = delete;
    Terminal& operator=(const Terminal&) = delete;
    ~Terminal()
    {
        if (fd_ >= 0)
            ::close(fd_);
    }
    // Without a controlling terminal, a standard input that is one will do.
    int input() const { return fd_ >= 0 ? fd_ : (isatty(STDIN_FILENO) ? STDIN_FILENO : -1); }
    int output() const { return fd_ >= 0 ? fd_ : STDERR_FILENO; }

private:
    int fd_;
};

} // namespace

std::vector<std::string> CommandLineArguments(int argc, char** argv)
{
    return argc > 1 ? std::vector<std::string>(argv + 1, argv + argc) : std::vector<std::string>{};
}

Language MessageLanguage()
{
    return LanguageFromLocale(std::getenv("LC_ALL"), std::getenv("LC_MESSAGES"), std::getenv("LANG"));
}

SecretText<char16_t> AskPasswordOnTerminal(Language language)
{
    const Terminal terminal;
    if (terminal.input() < 0)
        throw CliError(Problem::NoTerminal);
    SecretText<char> typed;
    {
        // Echo goes off (dropping type-ahead) before the prompt shows, so
        // nothing typed after the prompt is lost or shown.
        const EchoOff echoOff(terminal.input());
        WriteAll(terminal.output(), language == Language::Chinese ? "密码：" : "Password: ");
        typed = ReadSecretLine(
            [&](char* buffer, std::size_t size) { return readOrThrow(terminal.input(), buffer, size); });
    }
    return SecretUtf16(typed);
}

SecretText<char16_t> ReadPasswordFromStandardInput(bool)
{
    return SecretUtf16(
        ReadSecretLine([](char* buffer, std::size_t size) { return readOrThrow(STDIN_FILENO, buffer, size); }));
}

void WriteOutput(std::string_view utf8)
{
    if (!WriteAll(STDOUT_FILENO, utf8))
        throw CliError(Problem::OutputFailed, std::strerror(errno));
}

void WriteError(std::string_view utf8) noexcept
{
    WriteAll(STDERR_FILENO, utf8);
}

} // namespace portauth::cli
