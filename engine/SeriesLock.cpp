#include "SeriesLock.h"

#include "HalvexSocket.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>
#include <cerrno>
#include <cstring>

namespace quillon {

namespace {

// The process id the holder wrote into the file; empty when it wrote none.
std::string holder_of(int fd)
{
    char text[24] = {};
    const ssize_t got = ::pread(fd, text, sizeof text - 1, 0);
    std::string pid(text, got > 0 ? std::size_t(got) : 0);
    while (!pid.empty() && (pid.back() == '\n' || pid.back() == '\0')) {
        pid.pop_back();
    }
    return pid;
}

void write_holder(int fd)
{
    const std::string pid = std::to_string(::getpid()) + "\n";
    // Only for the message of the next one refused: a failure costs nothing.
    const bool written =
        ::ftruncate(fd, 0) == 0 && ::pwrite(fd, pid.data(), pid.size(), 0) == ssize_t(pid.size());
    static_cast<void>(written);
}

}  // namespace

std::string SeriesLock::path()
{
    return halvex::socket_path() + ".series.lock";
}

std::optional<SeriesLock> SeriesLock::take(Refusal& refusal)
{
    const std::string file = path();
    common::UniqueFd fd(::open(file.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600));
    if (!fd.valid()) {
        refusal = {false, {}, std::strerror(errno)};
        return std::nullopt;
    }
    if (::flock(fd.get(), LOCK_EX | LOCK_NB) != 0) {
        const int why = errno;
        refusal = why == EWOULDBLOCK ? Refusal{true, holder_of(fd.get()), {}}
                                     : Refusal{false, {}, std::strerror(why)};
        return std::nullopt;
    }
    write_holder(fd.get());
    return SeriesLock(std::move(fd));
}

}  // namespace quillon
