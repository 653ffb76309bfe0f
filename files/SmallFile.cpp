#include "SmallFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <algorithm>
#include <cerrno>
#include <cstdint>

namespace quillon {

namespace {

NotRegularKind kind_of(mode_t mode)
{
    if (S_ISDIR(mode)) {
        return NotRegularKind::Folder;
    }
    if (S_ISFIFO(mode)) {
        return NotRegularKind::NamedPipe;
    }
    if (S_ISSOCK(mode)) {
        return NotRegularKind::Socket;
    }
    if (S_ISCHR(mode) || S_ISBLK(mode)) {
        return NotRegularKind::Device;
    }
    return NotRegularKind::Other;
}

// A symbolic link whose target is missing reads as missing itself: told
// apart, as the link is there to be seen.
bool is_link(const std::string& path)
{
    struct stat link {};
    return ::lstat(path.c_str(), &link) == 0 && S_ISLNK(link.st_mode);
}

}  // namespace

// Anything but a regular file is looked at, never opened: a device such as
// /dev/zero could fill the memory, a named pipe would hold the program up.
// Should the file be swapped after the look, opening without blocking and
// reading at most one piece too many keep both from happening.
SmallFileRead read_small_file(const std::string& path, std::size_t largest, std::string& bytes)
{
    struct stat file {};
    if (::stat(path.c_str(), &file) != 0) {
        const int error = errno;
        if (error == ENOENT || error == ENOTDIR) {
            return {SmallFileState::Missing, error, NotRegularKind::Other,
                    error == ENOENT && is_link(path)};
        }
        return {SmallFileState::Failed, error};
    }
    if (!S_ISREG(file.st_mode)) {
        return {SmallFileState::NotRegular, 0, kind_of(file.st_mode)};
    }
    if (static_cast<std::uintmax_t>(file.st_size) > largest) {
        return {SmallFileState::TooLarge, 0};
    }
    const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0) {
        return {SmallFileState::Failed, errno};
    }
    // Read straight into place; one byte more than the size tells a file
    // that grew since the look.
    bytes.assign(static_cast<std::size_t>(file.st_size) + 1, '\0');
    SmallFileRead result{SmallFileState::Read, 0};
    std::size_t filled = 0;
    for (;;) {
        if (filled == bytes.size()) {
            if (bytes.size() > largest) {
                break;
            }
            bytes.resize(std::min(largest + 1, 2 * bytes.size()));
        }
        const ssize_t got = ::read(fd, bytes.data() + filled, bytes.size() - filled);
        if (got < 0 && errno == EINTR) {
            continue;
        }
        if (got < 0) {
            result = {SmallFileState::Failed, errno};
            break;
        }
        filled += static_cast<std::size_t>(got);
        // A regular file reads short only at its end: no read more to see it.
        if (filled < bytes.size()) {
            break;
        }
    }
    bytes.resize(filled);
    ::close(fd);
    if (result.state == SmallFileState::Read && bytes.size() > largest) {
        result = {SmallFileState::TooLarge, 0};
    }
    if (result.state != SmallFileState::Read) {
        bytes.clear();
    }
    return result;
}

}  // namespace quillon
