// Faults that the amplifier's side of the block transfer protocol can be
// ordered to make in the coming exchanges. Plain data, so that a test on
// another platform can order them through the port host as well.
#pragma once

#include <chrono>

namespace ampsim {

// Where a pulled cable interrupts an exchange.
enum class HangUpPoint {
    Never,
    OnEnq,          // instead of answering the host's ENQ
    AfterBlockAck,  // once the command block is ACKed, before the response
    MidResponse,    // after half of the response block
};

// Faults for the coming exchanges; each counter is used up as it fires.
struct Faults {
    int refuse_enq = 0;        // answer the host's ENQ with NAK
    int ignore_enq = 0;        // stay silent on the host's ENQ
    int nak_block = 0;         // NAK an intact command block
    int corrupt_response = 0;  // send the response with a wrong checksum
    // With a NAK of the block, send the EOT for the host's next ENQ at once,
    // ahead of that ENQ (shows whether the host purges before a retry).
    bool early_eot_after_nak = false;
    // After a corrupted response, send the next ENQ at once, ahead of the
    // host's NAK (shows whether the host purges before waiting for ENQ).
    bool early_enq_after_corrupt = false;
    HangUpPoint hang_up = HangUpPoint::Never;
    // Extra delay before offering the response.
    std::chrono::milliseconds response_delay{0};
};

}  // namespace ampsim
