// The 64 log block reads that both the main window and the log view window
// make, with their checks and messages: a reply that is not 130 data bytes
// counts as a failed exchange, and a log status byte with bit 0 (logging) or
// bit 2 (cancelled) set ends the read.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <span>

namespace quillon {

enum class LogReadFailure { Exchange, LogStatus };

using AmplifierSend = std::function<bool(std::uint32_t command_word,
                                         std::span<const std::uint8_t> params,
                                         std::span<std::uint8_t> response)>;
using RecordSink = std::function<void(std::span<const std::uint8_t, 32> record)>;

// Reads blocks 0 to 63, giving each record to record in log order and
// calling after_block(b) once block b is in. On failure the message
// ("Can't talk with Amplifier.", "Now Logging Error." or "Waveform or FFT
// function Error.") has been shown.
std::optional<LogReadFailure> read_log_blocks(const AmplifierSend& send, const RecordSink& record,
                                              const std::function<void(int block)>& after_block);

// Shows "Can't talk with Amplifier." as the windows' error.
void show_cant_talk();

}  // namespace quillon
