// One handle's socket to the simulated amplifier: connects, checks that an
// amplifier answers, and carries one request at a time, matched with its
// answer by sequence number.
#pragma once

#include "HalvexWire.h"
#include "UniqueFd.h"

#include <atomic>
#include <chrono>
#include <cstdint>
#include <memory>
#include <mutex>
#include <span>
#include <string>

namespace halvex {

class Connection {
public:
    // Connects to path and pings; nothing when nobody listens there
    // (result HLVX_ERR_NO_DEVICE) or the ping fails (its HLVX_ result: no
    // answer within wait, the link closed, a refusal).
    static std::unique_ptr<Connection> open(const std::string& path, std::chrono::milliseconds wait,
                                            int& result);
    ~Connection();
    Connection(const Connection&) = delete;
    Connection& operator=(const Connection&) = delete;

    // Sends the command bytes and waits up to timeout for the answer, whose
    // payload lands in block (unchecked). Returns an HLVX_ result. Calls on
    // one connection take turns.
    int exchange(std::span<const std::uint8_t> command, std::chrono::milliseconds timeout,
                 wire::Bytes& block);

    // Ends the link for good and wakes a call waiting on it. The descriptor
    // stays open until destruction, so that a call still polling it never
    // meets a number the process has handed out again.
    void shut_down();

    const std::string& path() const { return path_; }
    std::chrono::milliseconds timeout() const
    {
        return std::chrono::milliseconds(timeout_ms_.load());
    }
    void set_timeout(std::chrono::milliseconds timeout)
    {
        timeout_ms_ = static_cast<int>(timeout.count());
    }

private:
    using Clock = std::chrono::steady_clock;

    Connection(common::UniqueFd fd, std::string path);
    int request(wire::Kind kind, std::span<const std::uint8_t> payload, Clock::time_point deadline,
                wire::Bytes& answer_payload);
    int send_message(std::span<const std::uint8_t> message, Clock::time_point deadline);
    int wait(short events, Clock::time_point deadline);

    const common::UniqueFd fd_;
    const std::string path_;
    std::atomic<int> timeout_ms_;
    std::mutex turn_;
    std::uint32_t last_sequence_ = 0;  // guarded by turn_
};

}  // namespace halvex
