#include "AtomicFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>

namespace quillon {

namespace {

// As many links as the system follows in one path.
constexpr int kMostLinks = 40;

[[noreturn]] void fail(const std::string& path, int error)
{
    throw write_error(path, std::strerror(error));
}

bool write_all(int fd, std::string_view bytes)
{
    while (!bytes.empty()) {
        const ssize_t put = ::write(fd, bytes.data(), bytes.size());
        if (put < 0) {
            if (errno == EINTR) {
                continue;
            }
            return false;
        }
        bytes.remove_prefix(static_cast<std::size_t>(put));
    }
    return true;
}

// The file a write to path lands in: path itself, or the end of its chain of
// symbolic links, which need not exist yet.
std::filesystem::path link_target(const std::string& path)
{
    std::filesystem::path target(path);
    for (int hops = 0; hops < kMostLinks; ++hops) {
        std::error_code not_a_link;
        const std::filesystem::path next = std::filesystem::read_symlink(target, not_a_link);
        if (not_a_link) {
            return target;
        }
        target = next.is_absolute() ? next : target.parent_path() / next;
    }
    fail(path, ELOOP);
}

// The permissions an ordinary new file gets.
mode_t new_file_mode()
{
    const mode_t mask = ::umask(0);
    ::umask(mask);
    return 0666 & ~mask;
}

// The new file, open as fd, given mode and bytes, synced and closed. When
// it cannot be written whole it is removed (file is its name), and the
// write_error names path.
void fill_and_close(int fd, mode_t mode, std::string_view bytes, const std::string& file,
                    const std::string& path)
{
    const bool written = ::fchmod(fd, mode) == 0 && write_all(fd, bytes) && ::fsync(fd) == 0;
    const int cause = errno;
    ::close(fd);
    if (!written) {
        ::unlink(file.c_str());
        fail(path, cause);
    }
}

// A new temporary file beside target, with mode, open; its path and
// descriptor. Throws write_error naming path when it cannot be made.
std::pair<std::string, int> new_temporary(const std::filesystem::path& target, mode_t mode,
                                          const std::string& path)
{
    // A short name, so that every name the folder takes can be replaced.
    const std::filesystem::path folder =
        target.has_parent_path() ? target.parent_path() : std::filesystem::path(".");
    std::string temporary = (folder / ".quillon-XXXXXX").string();
    const int fd = ::mkstemp(temporary.data());
    if (fd < 0) {
        fail(path, errno);
    }
    if (::fchmod(fd, mode) != 0) {
        const int cause = errno;
        ::close(fd);
        ::unlink(temporary.c_str());
        fail(path, cause);
    }
    return {temporary, fd};
}

// The bytes in a new temporary file beside target, with mode; its path.
// Throws write_error naming path when it cannot be written whole.
std::string write_temporary(const std::filesystem::path& target, mode_t mode,
                            std::string_view bytes, const std::string& path)
{
    const auto [temporary, fd] = new_temporary(target, mode, path);
    fill_and_close(fd, mode, bytes, temporary, path);
    return temporary;
}

// The file that a write to path replaces and the mode its new content
// takes: an existing file's own (never its set-ID bits), else a new file's.
// Throws write_error when what stands there may not be replaced.
std::pair<std::filesystem::path, mode_t> replaced(const std::string& path)
{
    const std::filesystem::path target = link_target(path);
    mode_t mode = new_file_mode();
    struct stat existing {};
    if (::stat(target.c_str(), &existing) == 0) {
        if (!S_ISREG(existing.st_mode)) {
            throw write_error(path, "Not a regular file");
        }
        if ((existing.st_mode & 0222) == 0 ||
            ::faccessat(AT_FDCWD, target.c_str(), W_OK, AT_EACCESS) != 0) {
            fail(path, EACCES);
        }
        // A rewritten file is new content: it never inherits the right to
        // run as the file's owner or group.
        mode = existing.st_mode & 07777 & ~mode_t{S_ISUID | S_ISGID};
    }
    return {target, mode};
}

// The temporary file renamed over target; removed when it cannot be.
void rename_over(const std::string& temporary, const std::filesystem::path& target,
                 const std::string& path)
{
    if (::rename(temporary.c_str(), target.c_str()) != 0) {
        const int cause = errno;
        ::unlink(temporary.c_str());
        fail(path, cause);
    }
}

}  // namespace

std::string crlf_text(const std::vector<std::string>& lines)
{
    std::string text;
    for (const auto& line : lines) {
        text += line;
        text += "\r\n";
    }
    return text;
}

std::runtime_error write_error(const std::string& path, const std::string& reason)
{
    return std::runtime_error("Cannot write the file " + path + ": " + reason + ".");
}

void write_file_atomically(const std::string& path, std::string_view bytes)
{
    const auto [target, mode] = replaced(path);
    rename_over(write_temporary(target, mode, bytes, path), target, path);
}

void replace_file_by(const std::string& path,
                     const std::function<void(const std::string& temporary)>& fill)
{
    const auto [target, mode] = replaced(path);
    const auto [temporary, fd] = new_temporary(target, mode, path);
    ::close(fd);
    try {
        fill(temporary);
    } catch (...) {
        ::unlink(temporary.c_str());
        throw;
    }
    // On the disk before it takes the name, so that the name never leads
    // to a part of it after a crash.
    const int synced = ::open(temporary.c_str(), O_RDONLY | O_CLOEXEC);
    const bool on_disk = synced >= 0 && ::fsync(synced) == 0;
    const int cause = errno;
    if (synced >= 0) {
        ::close(synced);
    }
    if (!on_disk) {
        ::unlink(temporary.c_str());
        fail(path, cause);
    }
    rename_over(temporary, target, path);
}

bool create_file_exclusively(const std::string& path, std::string_view bytes)
{
    const std::filesystem::path target(path);
    const std::string temporary = write_temporary(target, new_file_mode(), bytes, path);
    // link() fails when the name exists, atomically, in this and every other
    // process; the whole file appears under its name at once.
    const int linked = ::link(temporary.c_str(), target.c_str());
    const int cause = errno;
    ::unlink(temporary.c_str());
    if (linked == 0) {
        return true;
    }
    if (cause == EEXIST) {
        return false;
    }
    if (cause != EPERM && cause != EOPNOTSUPP) {
        fail(path, cause);
    }
    // A file system without hard links (a FAT stick): the name is still
    // taken exclusively; only a crash mid-write could leave a part.
    const int fd = ::open(target.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, new_file_mode());
    if (fd < 0) {
        if (errno == EEXIST) {
            return false;
        }
        fail(path, errno);
    }
    fill_and_close(fd, new_file_mode(), bytes, target.string(), path);
    return true;
}

}  // namespace quillon
