#include "platform.h"

#include <windows.h>
#include <shellapi.h>

#include <cstdlib>

#include "cli_error.h"
#include "password_input.h"
#include "utf8.h"

namespace portauth::cli {
namespace {

class Handle {
public:
    explicit Handle(HANDLE handle) : handle_(handle) {}
    Handle(const Handle&) = delete;
    Handle& operator=(const Handle&) = delete;
    ~Handle()
    {
        if (handle_ != INVALID_HANDLE_VALUE)
            CloseHandle(handle_);
    }
    HANDLE get() const { return handle_; }

private:
    HANDLE handle_;
};

bool writeConsole(HANDLE console, std::u16string_view text)
{
    DWORD written = 0;
    return WriteConsoleW(console, text.data(), static_cast<DWORD>(text.size()), &written, nullptr) != 0;
}

// A console shows UTF-16; anything else (a pipe, a file) gets the UTF-8 bytes.
bool writeTo(DWORD stream, std::string_view utf8)
{
    const HANDLE handle = GetStdHandle(stream);
    DWORD mode = 0;
    if (GetConsoleMode(handle, &mode))
        return writeConsole(handle, FromUtf8(utf8));
    DWORD written = 0;
    return WriteFile(handle, utf8.data(), static_cast<DWORD>(utf8.size()), &written, nullptr) != 0 &&
           written == utf8.size();
}

SecretText<char16_t> readConsoleLine(HANDLE console)
{
    SecretText<char16_t> line;
    SecretText<wchar_t> chunk(256);
    for (bool ended = false, first = true; !ended; first = false) {
        DWORD count = 0;
        if (!ReadConsoleW(console, chunk.data(), static_cast<DWORD>(chunk.size()), &count, nullptr))
            throw CliError(Problem::PasswordUnreadable, std::to_string(GetLastError()));
        if (count == 0 && first)
            throw CliError(Problem::PasswordMissing);
        ended = count == 0;
        for (DWORD i = 0; i < count && !ended; ++i) {
            ended = chunk[i] == L'\n';
            if (!ended && chunk[i] != L'\r')
                line.push_back(static_cast<char16_t>(chunk[i]));
        }
    }
    return line;
}

std::size_t readPipe(HANDLE pipe, char* buffer, std::size_t size)
{
    DWORD count = 0;
    if (ReadFile(pipe, buffer, static_cast<DWORD>(size), &count, nullptr))
        return count;
    if (GetLastError() == ERROR_BROKEN_PIPE)
        return 0;
    throw CliError(Problem::PasswordUnreadable, std::to_string(GetLastError()));
}

// A pipe carries what the program before it wrote, which Windows console
// programs write in the console's code page, else the ANSI one.
SecretText<char16_t> decoded(const SecretText<char>& bytes, UINT codePage)
{
    if (bytes.empty())
        return {};
    const int size = static_cast<int>(bytes.size());
    const int length = MultiByteToWideChar(codePage, MB_ERR_INVALID_CHARS, bytes.data(), size, nullptr, 0);
    SecretText<wchar_t> wide(static_cast<std::size_t>(length));
    if (length == 0 ||
        MultiByteToWideChar(codePage, MB_ERR_INVALID_CHARS, bytes.data(), size, wide.data(), length) != length)
        throw CliError(Problem::PasswordNotInCodePage, std::to_string(codePage));
    return SecretText<char16_t>(wide.begin(), wide.end());
}

} // namespace

std::vector<std::string> CommandLineArguments(int, char**)
{
    int count = 0;
    wchar_t** wide = CommandLineToArgvW(GetCommandLineW(), &count);
    std::vector<std::string> arguments;
    for (int i = 1; wide != nullptr && i < count; ++i)
        arguments.push_back(ToUtf8(reinterpret_cast<const char16_t*>(wide[i])));
    LocalFree(wide);
    return arguments;
}

Language MessageLanguage()
{
    const char* lcAll = std::getenv("LC_ALL");
    const char* lcMessages = std::getenv("LC_MESSAGES");
    const char* lang = std::getenv("LANG");
    if (lcAll || lcMessages || lang)
        return LanguageFromLocale(lcAll, lcMessages, lang);
    return GetUserDefaultUILanguage() == MAKELANGID(LANG_CHINESE, SUBLANG_CHINESE_SIMPLIFIED) ? Language::Chinese
                                                                                             : Language::English;
}

SecretText<char16_t> AskPasswordOnTerminal(Language language)
{
    const Handle input(CreateFileW(L"CONIN$", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                   nullptr, OPEN_EXISTING, 0, nullptr));
    const Handle output(CreateFileW(L"CONOUT$", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                    nullptr, OPEN_EXISTING, 0, nullptr));
    DWORD mode = 0;
    if (input.get() == INVALID_HANDLE_VALUE || !GetConsoleMode(input.get(), &mode))
        throw CliError(Problem::NoTerminal);
    writeConsole(output.get(), language == Language::Chinese ? u"密码：" : u"Password: ");
    SetConsoleMode(input.get(), (mode & ~DWORD{ENABLE_ECHO_INPUT}) | ENABLE_LINE_INPUT);
    try {
        SecretText<char16_t> line = readConsoleLine(input.get());
        SetConsoleMode(input.get(), mode);
        writeConsole(output.get(), u"\r\n");
        return line;
    } catch (...) {
        SetConsoleMode(input.get(), mode);
        throw;
    }
}

SecretText<char16_t> ReadPasswordFromStandardInput(bool utf8)
{
    const HANDLE input = GetStdHandle(STD_INPUT_HANDLE);
    DWORD mode = 0;
    if (GetConsoleMode(input, &mode))
        return readConsoleLine(input); // UTF-16 from the console itself: no code page involved
    const SecretText<char> line =
        ReadSecretLine([&](char* buffer, std::size_t size) { return readPipe(input, buffer, size); });
    if (utf8)
        return SecretUtf16(line);
    const UINT consoleCodePage = GetConsoleCP();
    return decoded(line, consoleCodePage != 0 ? consoleCodePage : GetACP());
}

void WriteOutput(std::string_view utf8)
{
    if (!writeTo(STD_OUTPUT_HANDLE, utf8))
        throw CliError(Problem::OutputFailed, std::to_string(GetLastError()));
}

void WriteError(std::string_view utf8) noexcept
{
    writeTo(STD_ERROR_HANDLE, utf8);
}

} // namespace portauth::cli
