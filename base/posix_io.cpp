#include "posix_io.h"

#include <unistd.h>

#include <cerrno>

namespace portauth {

bool WriteAll(int fd, std::string_view text) noexcept
{
    while (!text.empty()) {
        const ssize_t count = ::write(fd, text.data(), text.size());
        if (count < 0 && errno == EINTR)
            continue;
        if (count == 0)
            errno = EIO;
        if (count <= 0)
            return false;
        text.remove_prefix(static_cast<std::size_t>(count));
    }
    return true;
}

} // namespace portauth
