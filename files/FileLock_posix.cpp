#include "FileLock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <cerrno>
#include <cstring>

namespace quillon {

std::optional<FileLock> FileLock::take(const std::string& path, std::string& why)
{
    // Read-only and without blocking on open: a named pipe in the file's
    // place must not hang the program.
    common::UniqueFd fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
    struct stat status {};
    if (!fd.valid() || ::fstat(fd.get(), &status) != 0) {
        why = std::strerror(errno);
        return std::nullopt;
    }
    if (!S_ISREG(status.st_mode)) {
        why = "not a regular file";
        return std::nullopt;
    }
    int locked = 0;
    do {
        locked = ::flock(fd.get(), LOCK_EX);
    } while (locked != 0 && errno == EINTR);
    if (locked != 0) {
        why = std::strerror(errno);
        return std::nullopt;
    }
    return FileLock(std::move(fd));
}

}  // namespace quillon
