// The log text file of "SAVE LOG" and of the automatic save: 259 lines, each
// ended by CR LF: the date and time, the stop condition, an empty line, and
// one line for each of the 256 records.
#pragma once

#include <QDateTime>

#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace quillon {

inline constexpr std::uint8_t kNoStopCondition = 0xFF;

// "#Date and Time  : " with the local short date and long time formats.
std::string date_time_line(const QDateTime& when);

// "#Stop Condition : None", or e.g. "#Stop Condition : Send[2] & 0x0F =
// 0x01 ,count 5"; send_offset is where the sent bytes start in the index.
std::string stop_condition_line(std::uint8_t trigger_index, std::uint8_t mask,
                                std::uint8_t value, std::uint8_t count, int send_offset);

// "Recv,XX,...,XX, Send,XX,...,XX" for one 32-byte record.
std::string record_line(std::span<const std::uint8_t, 32> record);

}  // namespace quillon
