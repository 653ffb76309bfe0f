// The log text file of "SAVE LOG" and of the automatic save: 259 lines, each
// ended by CR LF: the date and time, the stop condition, an empty line, and
// one line for each of the 256 records.
#pragma once

#include "AmplifierQueries.h"

#include <QDateTime>

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace quillon {

// "#Date and Time  : " with the local short date and long time formats.
std::string date_time_line(const QDateTime& when);

// "#Stop Condition : None", or e.g. "#Stop Condition : Send[2] & 0x0F =
// 0x01 ,count 5"; send_offset is where the sent bytes start in the index.
std::string stop_condition_line(const StopCondition& condition, int send_offset);

// How a record line of each format lays out its bytes, written here and
// read back by the log reader: what comes before the received bytes and
// between them and the sent ones, and whether each byte's comma comes
// before it (",XX") or after it ("XX,").
struct RecordLayout {
    std::string_view recv_prefix;
    std::string_view send_prefix;
    bool comma_first;
};
// "Recv,XX,...,XX, Send,XX,...,XX": the log text file's.
inline constexpr RecordLayout kLogTextRecord{"Recv", ", Send", true};
// "Recv : XX,...,XX, Send : XX,...,XX,": the log view's rows and file.
inline constexpr RecordLayout kLogViewRecord{"Recv : ", " Send : ", false};

// One 32-byte record as a line of the layout.
std::string record_line(std::span<const std::uint8_t, 32> record,
                        const RecordLayout& layout = kLogTextRecord);

// Where the two digits of the record's byte (from 0) begin in its line of the
// layout, for marks written under a record line.
std::size_t record_byte_column(std::size_t byte, const RecordLayout& layout = kLogTextRecord);

// The lines of the file for a log read from the amplifier: the date and time
// line, then (once the stop condition was read) the stop condition line, the
// empty line and a line for each record read.
std::vector<std::string> log_text_lines(const std::string& date_time, const LogCapture& capture,
                                        int send_offset);

}  // namespace quillon
