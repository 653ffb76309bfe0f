// One whole log read as the program makes it: the log control command with
// eight zero parameter bytes, then the log block reads of blocks 0 to 63,
// through any adapter's send operation.
#pragma once

#include "AmplifierModel.h"

#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <vector>

namespace testsupport {

using SendCommand =
    std::function<bool(std::uint32_t command_word, std::span<const std::uint8_t> payload,
                       std::span<std::uint8_t> response)>;

struct LogRead {
    ampsim::StopCondition condition;  // from the log control reply
    std::vector<ampsim::Record> records;
    std::uint8_t last_status = 0;  // log status byte of block 63
};

inline constexpr std::size_t kLogReadWireBytes = (1 + 1 + (8 + 4) + 1 + 1 + 1 + (4 + 4) + 1) +
                                                 64 * (1 + 1 + (1 + 4) + 1 + 1 + 1 + (130 + 4) + 1);

// Nothing when an exchange fails or a reply has the wrong length.
std::optional<LogRead> read_whole_log(const SendCommand& send);

// A model with a full log (300 host exchanges logged without a stop
// condition, then stopped) and no traffic of its own.
struct FilledAmplifier {
    FilledAmplifier();
    ampsim::AmplifierModel model;
};

}  // namespace testsupport
