#include "BlockPeer.h"

#include "ZeroSumChecksum.h"

#include <poll.h>
#include <sys/eventfd.h>
#include <sys/prctl.h>
#include <unistd.h>
#include <algorithm>
#include <cerrno>
#include <system_error>

namespace ampsim {

namespace {

using Clock = std::chrono::steady_clock;

constexpr std::uint8_t ENQ = 0x05;
constexpr std::uint8_t EOT = 0x04;
constexpr std::uint8_t ACK = 0x06;
constexpr std::uint8_t NAK = 0x15;

// A host gives up long before this many offers of one response.
constexpr int kMaxResponseOffers = 8;

// Unwinds the serving loop when the peer is stopped or its line is gone.
struct Stopped {};

bool take(int& counter)
{
    if (counter <= 0) {
        return false;
    }
    --counter;
    return true;
}

int poll_timeout_ms(Clock::time_point deadline)
{
    if (deadline == Clock::time_point::max()) {
        return -1;
    }
    const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now());
    return static_cast<int>(std::max<long long>(0, left.count()));
}

}  // namespace

// The peer's end of the cable: buffered, paced reads and writes on the pty
// master, every received byte recorded, every wait also watching for stop.
class BlockPeer::Line {
public:
    Line(BlockPeer& owner, int fd, unsigned bits_per_second)
        : owner_(owner), fd_(fd), pacer_(bits_per_second)
    {
    }

    std::optional<std::uint8_t> read_byte(Clock::time_point deadline)
    {
        while (next_ == buffer_.size()) {
            if (!fill(deadline)) {
                return std::nullopt;
            }
        }
        return buffer_[next_++];
    }

    // Reads dest.size() bytes; false when the host pauses longer than gap.
    bool read_exact(std::span<std::uint8_t> dest, Clock::duration gap)
    {
        for (auto& byte : dest) {
            const auto got = read_byte(Clock::now() + gap);
            if (!got) {
                return false;
            }
            byte = *got;
        }
        return true;
    }

    void write(std::span<const std::uint8_t> bytes)
    {
        pacer_.await_departure(bytes.size());
        std::size_t done = 0;
        while (done < bytes.size()) {
            const ssize_t put = ::write(fd_, bytes.data() + done, bytes.size() - done);
            if (put > 0) {
                done += static_cast<std::size_t>(put);
            } else if (put < 0 && (errno == EAGAIN || errno == EINTR)) {
                wait(POLLOUT, Clock::time_point::max());
            } else {
                throw Stopped{};
            }
        }
    }

    void write_byte(std::uint8_t byte) { write(std::span<const std::uint8_t>(&byte, 1)); }

    // Waits out the response delay, counted from now. The delay is read
    // again whenever the faults change, so that a shorter one (delay 0) ends a
    // long wait at once. A stop still ends it at once.
    void pause()
    {
        const auto start = Clock::now();
        for (;;) {
            const auto until = start + owner_.response_delay();
            if (Clock::now() >= until) {
                return;
            }
            pollfd fds[2] = {{owner_.stop_.get(), POLLIN, 0},
                             {owner_.faults_changed_.get(), POLLIN, 0}};
            if (::poll(fds, 2, poll_timeout_ms(until)) <= 0) {
                continue;
            }
            if (fds[0].revents != 0) {
                throw Stopped{};
            }
            std::uint64_t changes = 0;
            [[maybe_unused]] const auto got =
                ::read(owner_.faults_changed_.get(), &changes, sizeof changes);
        }
    }

private:
    // Waits for events on the line; false when the deadline passed first.
    bool wait(short events, Clock::time_point deadline)
    {
        for (;;) {
            pollfd fds[2] = {{fd_, events, 0}, {owner_.stop_.get(), POLLIN, 0}};
            const int ready = ::poll(fds, 2, poll_timeout_ms(deadline));
            if (ready < 0 && errno == EINTR) {
                continue;
            }
            if (ready < 0 || fds[1].revents != 0) {
                throw Stopped{};
            }
            if (ready == 0) {
                return false;
            }
            if ((fds[0].revents & events) == 0) {
                throw Stopped{};  // hang-up or error without data
            }
            return true;
        }
    }

    bool fill(Clock::time_point deadline)
    {
        if (!wait(POLLIN, deadline)) {
            return false;
        }
        std::uint8_t chunk[512];
        const ssize_t got = ::read(fd_, chunk, sizeof chunk);
        if (got < 0 && (errno == EAGAIN || errno == EINTR)) {
            return true;
        }
        if (got <= 0) {
            throw Stopped{};
        }
        const auto count = static_cast<std::size_t>(got);
        {
            std::lock_guard lock(owner_.mutex_);
            owner_.received_.insert(owner_.received_.end(), chunk, chunk + count);
        }
        pacer_.note_arrival(count);
        buffer_.erase(buffer_.begin(), buffer_.begin() + static_cast<std::ptrdiff_t>(next_));
        next_ = 0;
        buffer_.insert(buffer_.end(), chunk, chunk + count);
        return true;
    }

    BlockPeer& owner_;
    int fd_;
    LinePacer pacer_;
    std::vector<std::uint8_t> buffer_;
    std::size_t next_ = 0;
};

BlockPeer::BlockPeer(PtyEndpoint& line, Responder responder, unsigned bits_per_second)
    : endpoint_(line), bits_per_second_(bits_per_second), responder_(std::move(responder))
{
    stop_.reset(::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK));
    faults_changed_.reset(::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK));
    if (!stop_.valid() || !faults_changed_.valid()) {
        throw std::system_error(errno, std::generic_category(), "eventfd");
    }
    thread_ = std::thread([this] { serve(); });
}

BlockPeer::~BlockPeer()
{
    const std::uint64_t one = 1;
    [[maybe_unused]] const auto written = ::write(stop_.get(), &one, sizeof one);
    thread_.join();
}

void BlockPeer::set_faults(Faults faults)
{
    {
        std::lock_guard lock(mutex_);
        faults_ = faults;
    }
    const std::uint64_t one = 1;
    [[maybe_unused]] const auto written = ::write(faults_changed_.get(), &one, sizeof one);
}

std::chrono::milliseconds BlockPeer::response_delay() const
{
    std::lock_guard lock(mutex_);
    return faults_.response_delay;
}

void BlockPeer::set_responder(Responder responder)
{
    std::lock_guard lock(mutex_);
    responder_ = std::move(responder);
}

std::vector<std::uint8_t> BlockPeer::received() const
{
    std::lock_guard lock(mutex_);
    return received_;
}

std::vector<std::vector<std::uint8_t>> BlockPeer::commands() const
{
    std::lock_guard lock(mutex_);
    return commands_;
}

void BlockPeer::clear_records()
{
    std::lock_guard lock(mutex_);
    received_.clear();
    commands_.clear();
    responses_sent_ = 0;
}

void BlockPeer::serve()
{
    // Wake-ups on time: the default 50 us slack would show in every
    // emulated byte time.
    ::prctl(PR_SET_TIMERSLACK, 1UL);
    if (endpoint_.hung_up()) {
        return;
    }
    Line line(*this, endpoint_.master_fd(), bits_per_second_);
    try {
        for (;;) {
            auto byte = line.read_byte(Clock::time_point::max());
            // Anything but ENQ between exchanges is noise and is dropped.
            bool another = byte == ENQ;
            while (another) {
                another = serve_exchange(line);
            }
        }
    } catch (const Stopped&) {
    }
}

// Runs one exchange after the host's ENQ. True when the host has already
// started the next one with a fresh ENQ.
bool BlockPeer::serve_exchange(Line& line, bool eot_already_sent)
{
    if (!eot_already_sent) {
        bool refuse = false;
        bool ignore = false;
        HangUpPoint hang_up = HangUpPoint::Never;
        {
            std::lock_guard lock(mutex_);
            refuse = take(faults_.refuse_enq);
            ignore = !refuse && take(faults_.ignore_enq);
            hang_up = faults_.hang_up;
        }
        if (refuse) {
            line.write_byte(NAK);
            return false;
        }
        if (ignore) {
            return false;
        }
        if (hang_up == HangUpPoint::OnEnq) {
            endpoint_.hang_up();
            throw Stopped{};
        }
        line.write_byte(EOT);
    }

    const auto length = line.read_byte(Clock::now() + kHandshakeWait);
    if (!length) {
        return false;
    }
    std::vector<std::uint8_t> block(std::size_t{*length} + 4);
    block[0] = *length;
    // A block cut off in the middle is abandoned: wait for a fresh ENQ rather
    // than fall into step with the host's retries.
    if (!line.read_exact(std::span(block).subspan(1), kBlockGap)) {
        return false;
    }
    if (!common::sums_to_zero(block)) {
        line.write_byte(NAK);
        return false;
    }
    Responder responder;
    bool refuse_block = false;
    bool early_eot = false;
    HangUpPoint hang_up = HangUpPoint::Never;
    {
        std::lock_guard lock(mutex_);
        commands_.push_back(block);
        refuse_block = take(faults_.nak_block);
        early_eot = refuse_block && faults_.early_eot_after_nak;
        hang_up = faults_.hang_up;
        responder = responder_;
    }
    if (early_eot) {
        line.write(std::vector<std::uint8_t>{NAK, EOT});
        return line.read_byte(Clock::now() + kHandshakeWait) == ENQ && serve_exchange(line, true);
    }
    if (refuse_block) {
        line.write_byte(NAK);
        return false;
    }
    line.write_byte(ACK);
    if (hang_up == HangUpPoint::AfterBlockAck) {
        endpoint_.hang_up();
        throw Stopped{};
    }
    const auto reply = responder ? responder(block) : std::nullopt;
    if (!reply) {
        return false;
    }
    return deliver_response(line, *reply);
}

// Offers the response until the host ACKs it. True when the host has started
// a new exchange instead.
bool BlockPeer::deliver_response(Line& line, const Reply& reply)
{
    const std::vector<std::uint8_t> frame = reply.framed();
    line.pause();

    bool enq_already_sent = false;
    for (int offer = 0; offer < kMaxResponseOffers; ++offer) {
        if (!enq_already_sent) {
            line.write_byte(ENQ);
        }
        enq_already_sent = false;
        auto answer = line.read_byte(Clock::now() + kHandshakeWait);
        if (answer != EOT) {
            return answer == ENQ;
        }
        std::vector<std::uint8_t> out = frame;
        HangUpPoint hang_up = HangUpPoint::Never;
        {
            std::lock_guard lock(mutex_);
            if (take(faults_.corrupt_response)) {
                out.back() = static_cast<std::uint8_t>(out.back() + 1);
                if (faults_.early_enq_after_corrupt) {
                    out.push_back(ENQ);
                    enq_already_sent = true;
                }
            }
            hang_up = faults_.hang_up;
        }
        if (hang_up == HangUpPoint::MidResponse) {
            line.write(std::span(out).first(out.size() / 2));
            endpoint_.hang_up();
            throw Stopped{};
        }
        line.write(out);
        ++responses_sent_;
        answer = line.read_byte(Clock::now() + kHandshakeWait);
        if (answer != NAK) {
            return answer == ENQ;
        }
    }
    return false;
}

}  // namespace ampsim
