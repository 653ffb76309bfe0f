#include "Connection.h"

#include "HalvexSocket.h"
#include "halvex.h"

#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>
#include <algorithm>
#include <cerrno>
#include <cstring>

namespace halvex {

namespace {

int poll_timeout_ms(std::chrono::steady_clock::time_point deadline)
{
    // Rounded up, so that poll never gives up before the deadline.
    const auto left =
        std::chrono::ceil<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
    return static_cast<int>(std::max<long long>(0, left.count()));
}

}  // namespace

std::unique_ptr<Connection> Connection::open(const std::string& path,
                                             std::chrono::milliseconds wait, int& result)
{
    result = HLVX_ERR_NO_DEVICE;
    const auto address = socket_address(path);
    if (!address) {
        return nullptr;
    }

    // Non-blocking from the start: a listener with a full backlog must not
    // hold the caller beyond the wait.
    common::UniqueFd fd(::socket(AF_UNIX, SOCK_SEQPACKET | SOCK_NONBLOCK | SOCK_CLOEXEC, 0));
    if (!fd.valid() ||
        ::connect(fd.get(), reinterpret_cast<const sockaddr*>(&*address), sizeof *address) != 0) {
        return nullptr;
    }
    std::unique_ptr<Connection> connection(new Connection(std::move(fd), path));
    // A listening socket alone is no amplifier: it must answer the ping.
    // (No other thread knows the connection yet, so no turn is taken.)
    wire::Bytes ignored;
    result = connection->request(wire::Kind::Ping, {}, Clock::now() + wait, ignored);
    if (result != HLVX_OK) {
        return nullptr;
    }
    return connection;
}

Connection::Connection(common::UniqueFd fd, std::string path)
    : fd_(std::move(fd)), path_(std::move(path)), timeout_ms_(HLVX_DEFAULT_TIMEOUT_MS)
{
}

Connection::~Connection() = default;

void Connection::shut_down()
{
    ::shutdown(fd_.get(), SHUT_RDWR);
}

int Connection::exchange(std::span<const std::uint8_t> command, std::chrono::milliseconds timeout,
                         wire::Bytes& block)
{
    std::lock_guard turn(turn_);
    return request(wire::Kind::Command, command, Clock::now() + timeout, block);
}

int Connection::request(wire::Kind kind, std::span<const std::uint8_t> payload,
                        Clock::time_point deadline, wire::Bytes& answer_payload)
{
    const std::uint32_t sequence = ++last_sequence_;
    if (const int sent = send_message(wire::request(kind, sequence, payload), deadline);
        sent != HLVX_OK) {
        return sent;
    }
    for (;;) {
        if (const int ready = wait(POLLIN, deadline); ready != HLVX_OK) {
            return ready;
        }
        std::uint8_t buffer[wire::kReceiveBuffer];
        iovec part{buffer, sizeof buffer};
        msghdr message{};
        message.msg_iov = &part;
        message.msg_iovlen = 1;
        const ssize_t got = ::recvmsg(fd_.get(), &message, 0);
        if (got < 0 && (errno == EAGAIN || errno == EINTR)) {
            continue;
        }
        if (got <= 0) {
            return HLVX_ERR_LINK_LOST;  // the peer closed, or the link broke
        }
        const auto answer = wire::parse_answer(
            std::span<const std::uint8_t>(buffer, static_cast<std::size_t>(got)));
        // Anything else is a late answer to a request that timed out: drop it.
        if (!answer || answer->sequence != sequence ||
            answer->kind != static_cast<std::uint8_t>(kind)) {
            continue;
        }
        if (answer->status != static_cast<std::uint8_t>(wire::Status::Ok) ||
            (message.msg_flags & MSG_TRUNC) != 0) {
            return HLVX_ERR_BAD_RESPONSE;
        }
        answer_payload.assign(answer->payload.begin(), answer->payload.end());
        return HLVX_OK;
    }
}

int Connection::send_message(std::span<const std::uint8_t> message, Clock::time_point deadline)
{
    for (;;) {
        // MSG_NOSIGNAL: a closed peer is a failed call, not a SIGPIPE that
        // ends the host program.
        const ssize_t put = ::send(fd_.get(), message.data(), message.size(), MSG_NOSIGNAL);
        if (put >= 0) {
            // A packet goes whole or not at all.
            return static_cast<std::size_t>(put) == message.size() ? HLVX_OK : HLVX_ERR_LINK_LOST;
        }
        if (errno == EINTR) {
            continue;
        }
        if (errno != EAGAIN) {
            return HLVX_ERR_LINK_LOST;
        }
        if (const int ready = wait(POLLOUT, deadline); ready != HLVX_OK) {
            return ready;
        }
    }
}

// HLVX_OK once the socket is ready for events (or has news on a closed
// link, which the following call reads as such).
int Connection::wait(short events, Clock::time_point deadline)
{
    for (;;) {
        pollfd entry{fd_.get(), events, 0};
        const int ready = ::poll(&entry, 1, poll_timeout_ms(deadline));
        if (ready < 0 && errno == EINTR) {
            continue;
        }
        if (ready < 0) {
            return HLVX_ERR_LINK_LOST;
        }
        if (ready == 0) {
            return HLVX_ERR_TIMEOUT;
        }
        // Queued answers are still read after a hang-up; only a link with
        // nothing left to read is lost here.
        if ((entry.revents & events) == 0) {
            return HLVX_ERR_LINK_LOST;
        }
        return HLVX_OK;
    }
}

}  // namespace halvex
