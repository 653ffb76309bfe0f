#include "UsbEndpoint.h"

#include "HalvexSocket.h"
#include "HalvexWire.h"
#include "UniqueFd.h"

#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>
#include <algorithm>
#include <cerrno>
#include <cstring>
#include <mutex>
#include <system_error>
#include <thread>
#include <utility>

namespace ampsim {

namespace wire = halvex::wire;
using common::UniqueFd;

namespace {

[[noreturn]] void fail(const char* what)
{
    throw std::system_error(errno, std::generic_category(), what);
}

sockaddr_un address_of(const std::string& path)
{
    const auto address = halvex::socket_address(path);
    if (!address) {
        throw std::system_error(ENAMETOOLONG, std::generic_category(), path);
    }
    return *address;
}

// A socket file nobody listens on is left over from a simulator that died:
// remove it. One that someone still serves is left alone, and bind then
// says the address is in use.
void remove_if_stale(const sockaddr_un& address)
{
    struct stat info {};
    if (::lstat(address.sun_path, &info) != 0 || !S_ISSOCK(info.st_mode)) {
        return;
    }
    const UniqueFd probe(::socket(AF_UNIX, SOCK_SEQPACKET | SOCK_NONBLOCK | SOCK_CLOEXEC, 0));
    if (probe.get() < 0) {
        fail("socket");
    }
    if (::connect(probe.get(), reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0 &&
        errno == ECONNREFUSED) {
        ::unlink(address.sun_path);
    }
}

// Sends without waiting: a host that lets answers pile up is not reading
// them, and drops late ones unread anyway. False when the link is gone.
bool send_message(int fd, std::span<const std::uint8_t> message)
{
    for (;;) {
        if (::send(fd, message.data(), message.size(), MSG_NOSIGNAL | MSG_DONTWAIT) >= 0) {
            return true;
        }
        if (errno != EINTR) {
            return errno == EAGAIN;
        }
    }
}

}  // namespace

struct UsbEndpoint::Impl {
    Impl(UsbCommandHandler command_handler, std::string socket_path);
    ~Impl();

    void serve();
    void accept_one();
    bool serve_message(int fd);
    bool is_dropped(int fd) const;
    void mark_dropped(int fd);

    struct Link {
        UniqueFd fd;
        bool dropped = false;  // shut down; closed by the serving thread
    };

    const UsbCommandHandler handler;
    const std::string path;
    // A constructor that throws half-way leaks neither.
    UniqueFd listener;
    UniqueFd stop;
    dev_t file_device = 0;
    ino_t file_inode = 0;

    mutable std::mutex mutex;
    // Only the serving thread closes a link, and only under the mutex, so a
    // number drop_connections() shuts down is never one already reused.
    std::vector<Link> links;
    bool accepting = true;
    std::vector<std::vector<std::uint8_t>> received;

    std::thread thread;
};

UsbEndpoint::Impl::Impl(UsbCommandHandler command_handler, std::string socket_path)
    : handler(std::move(command_handler)),
      path(socket_path.empty() ? halvex::socket_path() : std::move(socket_path))
{
    const sockaddr_un address = address_of(path);
    remove_if_stale(address);
    listener = UniqueFd(::socket(AF_UNIX, SOCK_SEQPACKET | SOCK_NONBLOCK | SOCK_CLOEXEC, 0));
    if (listener.get() < 0) {
        fail("socket");
    }
    if (::bind(listener.get(), reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
        throw std::system_error(errno, std::generic_category(), "bind " + path);
    }
    struct stat info {};
    if (::lstat(path.c_str(), &info) != 0 || ::listen(listener.get(), 16) != 0) {
        const int error = errno;
        ::unlink(path.c_str());
        errno = error;
        fail("listen");
    }
    file_device = info.st_dev;
    file_inode = info.st_ino;
    stop = UniqueFd(::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK));
    if (stop.get() < 0) {
        const int error = errno;
        ::unlink(path.c_str());
        errno = error;
        fail("eventfd");
    }
    thread = std::thread([this] { serve(); });
}

UsbEndpoint::Impl::~Impl()
{
    const std::uint64_t one = 1;
    [[maybe_unused]] const auto written = ::write(stop.get(), &one, sizeof one);
    thread.join();
    // Remove the socket file only if it is still the one we bound.
    struct stat info {};
    if (::lstat(path.c_str(), &info) == 0 && info.st_dev == file_device &&
        info.st_ino == file_inode) {
        ::unlink(path.c_str());
    }
}

void UsbEndpoint::Impl::serve()
{
    std::vector<pollfd> fds;
    for (;;) {
        fds.assign({{stop.get(), POLLIN, 0}, {listener.get(), POLLIN, 0}});
        {
            std::lock_guard lock(mutex);
            std::erase_if(links, [](const Link& link) { return link.dropped; });
            for (const auto& link : links) {
                fds.push_back({link.fd.get(), POLLIN, 0});
            }
        }
        const int ready = ::poll(fds.data(), fds.size(), -1);
        if (ready < 0 && errno == EINTR) {
            continue;
        }
        if (ready < 0 || fds[0].revents != 0) {
            return;
        }
        if (fds[1].revents != 0) {
            accept_one();
        }
        for (std::size_t i = 2; i < fds.size(); ++i) {
            const int fd = fds[i].fd;
            if (fds[i].revents != 0 && !is_dropped(fd) && !serve_message(fd)) {
                mark_dropped(fd);
            }
        }
    }
}

void UsbEndpoint::Impl::accept_one()
{
    UniqueFd fd(::accept4(listener.get(), nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC));
    if (fd.get() < 0) {
        return;
    }
    std::lock_guard lock(mutex);
    // While the cable is out, a host's connection is closed at once: it sees
    // the link end rather than wait for an answer.
    if (accepting) {
        links.push_back({std::move(fd)});
    }
}

// Reads and answers one message. False when the link has ended.
bool UsbEndpoint::Impl::serve_message(int fd)
{
    std::uint8_t buffer[wire::kReceiveBuffer];
    iovec part{buffer, sizeof buffer};
    msghdr message{};
    message.msg_iov = &part;
    message.msg_iovlen = 1;
    const ssize_t got = ::recvmsg(fd, &message, MSG_DONTWAIT);
    if (got < 0) {
        return errno == EAGAIN || errno == EINTR;
    }
    if (got == 0) {
        return false;
    }
    const auto request =
        wire::parse_request(std::span<const std::uint8_t>(buffer, static_cast<std::size_t>(got)));
    if (!request) {
        return true;  // no header to answer to
    }
    const bool whole = (message.msg_flags & MSG_TRUNC) == 0;
    if (whole && request->kind == static_cast<std::uint8_t>(wire::Kind::Ping)) {
        return send_message(fd, wire::answer(request->kind, request->sequence, wire::Status::Ok));
    }
    if (!whole || request->kind != static_cast<std::uint8_t>(wire::Kind::Command) ||
        !wire::command_well_formed(request->payload)) {
        return send_message(
            fd, wire::answer(request->kind, request->sequence, wire::Status::BadRequest));
    }
    {
        std::lock_guard lock(mutex);
        received.emplace_back(request->payload.begin(), request->payload.end());
    }
    // Without the lock: the handler may take its time, and drop_connections()
    // must still act at once meanwhile.
    const auto block = handler ? handler(request->payload) : std::nullopt;
    if (!block) {
        return true;  // the amplifier stays silent
    }
    return send_message(fd,
                        wire::answer(request->kind, request->sequence, wire::Status::Ok, *block));
}

bool UsbEndpoint::Impl::is_dropped(int fd) const
{
    std::lock_guard lock(mutex);
    const auto found = std::find_if(links.begin(), links.end(),
                                    [fd](const Link& link) { return link.fd.get() == fd; });
    return found == links.end() || found->dropped;
}

void UsbEndpoint::Impl::mark_dropped(int fd)
{
    std::lock_guard lock(mutex);
    for (auto& link : links) {
        if (link.fd.get() == fd) {
            link.dropped = true;
        }
    }
}

UsbEndpoint::UsbEndpoint(UsbCommandHandler handler, std::string path)
    : impl_(std::make_unique<Impl>(std::move(handler), std::move(path)))
{
}

UsbEndpoint::~UsbEndpoint() = default;

const std::string& UsbEndpoint::path() const
{
    return impl_->path;
}

void UsbEndpoint::drop_connections()
{
    std::lock_guard lock(impl_->mutex);
    impl_->accepting = false;
    // Shut down here, so that the host sees the end before this returns; the
    // serving thread, woken by the hang-up, closes the descriptors.
    for (auto& link : impl_->links) {
        if (!link.dropped) {
            ::shutdown(link.fd.get(), SHUT_RDWR);
            link.dropped = true;
        }
    }
}

void UsbEndpoint::reconnect_allowed(bool allowed)
{
    std::lock_guard lock(impl_->mutex);
    impl_->accepting = allowed;
}

std::vector<std::vector<std::uint8_t>> UsbEndpoint::commands() const
{
    std::lock_guard lock(impl_->mutex);
    return impl_->received;
}

}  // namespace ampsim
