// The digest of a file, apart from the rest of the class: a program that
// never hashes a file then links none of the file-system and locale code.
#include "cmd5.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <memory>
#include <optional>
#include <system_error>
#include <vector>

namespace portauth {
namespace {

constexpr std::size_t BlockSize = 64;
constexpr std::uint64_t MaxDigestLength = 268435455;

// Hands out a file's bytes in exact-size records while reading it in large
// chunks, and closes the file on every way out.
class BufferedFile {
public:
    explicit BufferedFile(const std::filesystem::path& path) : file_(Open(path)), chunk_(ChunkSize)
    {
        // The chunks are our buffering; a second layer in stdio only copies.
        if (file_)
            std::setvbuf(file_.get(), nullptr, _IONBF, 0);
    }

    bool isOpen() const { return file_ != nullptr; }

    std::optional<std::uint64_t> length()
    {
        std::FILE* file = file_.get();
        if (std::fseek(file, 0, SEEK_END) != 0)
            return std::nullopt;
        const long end = std::ftell(file);
        if (end < 0 || std::fseek(file, 0, SEEK_SET) != 0)
            return std::nullopt;
        return static_cast<std::uint64_t>(end);
    }

    // False at end of file or on a read error before the record is full.
    bool read(std::span<std::uint8_t> record)
    {
        while (!record.empty()) {
            if (next_ == end_ && !refill())
                return false;
            const std::size_t count = std::min(record.size(), end_ - next_);
            std::memcpy(record.data(), chunk_.data() + next_, count);
            next_ += count;
            record = record.subspan(count);
        }
        return true;
    }

    void close() { file_.reset(); }

private:
    static constexpr std::size_t ChunkSize = 64 * 1024;

    struct Closer {
        void operator()(std::FILE* file) const noexcept { std::fclose(file); }
    };

    static std::FILE* Open(const std::filesystem::path& path)
    {
#ifdef _WIN32
        return _wfopen(path.c_str(), L"rb");
#else
        return std::fopen(path.c_str(), "rb");
#endif
    }

    bool refill()
    {
        next_ = 0;
        end_ = std::fread(chunk_.data(), 1, chunk_.size(), file_.get());
        return end_ > 0;
    }

    std::unique_ptr<std::FILE, Closer> file_;
    std::vector<std::uint8_t> chunk_;
    std::size_t next_ = 0;
    std::size_t end_ = 0;
};

struct OpenedFile {
    BufferedFile file;
    std::uint64_t length;
};

// Nothing when the file is missing, unreadable or past the digest limit.
std::optional<OpenedFile> OpenWithinLimit(std::u16string_view name)
{
    const std::filesystem::path path(name);
    // The length by name turns away a missing file or a directory before
    // anything is opened; the length that is hashed is the open file's.
    std::error_code error;
    static_cast<void>(std::filesystem::file_size(path, error));
    if (error)
        return std::nullopt;

    BufferedFile file(path);
    const auto length = file.isOpen() ? file.length() : std::nullopt;
    if (!length || *length > MaxDigestLength)
        return std::nullopt;
    return OpenedFile{std::move(file), *length};
}

} // namespace

std::string CMD5::Md5_File_Calc(std::u16string_view InFile) noexcept
{
    try {
        auto opened = OpenWithinLimit(InFile);
        if (!opened)
            return {};
        auto& [file, length] = *opened;

        MD5Init();
        for (auto records = length / BlockSize; records > 0; --records) {
            if (!file.read(ByteBuffer))
                return {};
            ByteCounter += static_cast<std::int32_t>(BlockSize); // the length limit keeps this in range
            MD5Transform(ByteBuffer);
        }
        const auto tail = static_cast<std::size_t>(length % BlockSize);
        if (!file.read(std::span(ByteBuffer).first(tail)))
            return {};
        ByteCounter += static_cast<std::int32_t>(tail);
        file.close();

        MD5Final();
        return GetValues();
    } catch (...) {
        // Includes a name that has no form in the file system's encoding.
        return {};
    }
}

} // namespace portauth
