// The amplifier's side of the block transfer protocol on a pseudo-terminal:
// answers the host's ENQ with EOT, takes and checks the command block, ACKs
// or NAKs it, then offers the response with ENQ, sends it after EOT and sends
// it again after a NAK. What the response says comes from a responder, so
// that a scripted test and a model of the amplifier can sit behind the same
// protocol code. Faults can be ordered for the coming exchanges.
#pragma once

#include "Faults.h"
#include "LinePacer.h"
#include "PtyEndpoint.h"
#include "Reply.h"
#include "UniqueFd.h"

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <mutex>
#include <optional>
#include <span>
#include <thread>
#include <vector>

namespace ampsim {

// Given an intact command block, the reply; nothing = stay silent after the
// block's ACK (the host then times out waiting for ENQ).
using Responder = std::function<std::optional<Reply>(std::span<const std::uint8_t> block)>;

class BlockPeer {
public:
    // The peer answers on the endpoint until it is destroyed. bits_per_second
    // 0 = an instant line.
    BlockPeer(PtyEndpoint& line, Responder responder, unsigned bits_per_second = 0);
    ~BlockPeer();
    BlockPeer(const BlockPeer&) = delete;
    BlockPeer& operator=(const BlockPeer&) = delete;

    void set_faults(Faults faults);
    void set_responder(Responder responder);

    // Every byte received from the host, in order.
    std::vector<std::uint8_t> received() const;
    // Every intact command block received (including ones that were NAKed).
    std::vector<std::vector<std::uint8_t>> commands() const;
    // Number of response blocks fully sent (resends included).
    int responses_sent() const { return responses_sent_.load(); }
    void clear_records();

    // How long the peer waits for the host's next byte inside an exchange, and
    // the longest gap inside a block before the block is abandoned.
    static constexpr std::chrono::milliseconds kHandshakeWait{3000};
    static constexpr std::chrono::milliseconds kBlockGap{200};

private:
    class Line;
    void serve();
    bool serve_exchange(Line& line, bool eot_already_sent = false);
    bool deliver_response(Line& line, const Reply& reply);
    std::chrono::milliseconds response_delay() const;

    PtyEndpoint& endpoint_;
    unsigned bits_per_second_;
    common::UniqueFd stop_;
    common::UniqueFd faults_changed_;  // set_faults() wakes a response delay
    mutable std::mutex mutex_;
    Responder responder_;
    Faults faults_;
    std::vector<std::uint8_t> received_;
    std::vector<std::vector<std::uint8_t>> commands_;
    std::atomic<int> responses_sent_{0};
    std::thread thread_;
};

}  // namespace ampsim
