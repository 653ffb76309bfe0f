// What a log read back answers: which records meet a condition, how each
// record's two blocks decode, and how two logs differ.
#pragma once

#include "LogFile.h"

#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace quillon {

// A condition on one byte of a record: that byte AND mask equals value, as
// the amplifier tests its stop condition.
struct RecordCondition {
    Direction direction = Direction::Recv;
    int byte = 0;  // 0-15
    std::uint8_t mask = 0;
    std::uint8_t value = 0;

    bool operator==(const RecordCondition&) const = default;
};

// Where a record's byte of a direction stands among its 32.
constexpr std::size_t record_byte_index(Direction direction, int byte)
{
    return std::size_t(direction == Direction::Send ? kDirectionBytes : 0) + std::size_t(byte);
}

bool meets(const LogRecord& record, const RecordCondition& condition);
// The numbers (0-255) of the records that meet it.
std::vector<int> records_meeting(const LogFile& log, const RecordCondition& condition);

// A condition typed as the stop condition fields are: the number forms of
// integer_from_text (a text that is no integer throws ConversionError),
// BYTE 0-15, MASK and VALUE 0-255, with those fields' messages.
struct TypedRecordCondition {
    std::optional<RecordCondition> condition;
    std::string range_error;  // "Byte data is out of range(0-15)!", ...
};
TypedRecordCondition record_condition_from_text(Direction direction, const std::string& byte,
                                                const std::string& mask, const std::string& value);

// The file's own stop condition asked of its records.
struct StopConditionMatch {
    enum class Answer { NotRecorded, NoStopCondition, BeyondLoggedBytes, Checked };
    Answer answer = Answer::NotRecorded;
    std::vector<int> records;        // with Checked: the records that meet it
    std::vector<bool> meets_record;  // with Checked: for each of the 256
};
StopConditionMatch match_stop_condition(const LogFile& log);

// How a byte's position is spelled, one way for each kind of output.
enum class PositionSpelling {
    Condition,  // "Recv[5]": conditions and rules, and a column's tooltip
    Label,      // "Recv 5": the command line's text
    Key,        // "recv_5": CSV and JSON
    Heading,    // "R5", "SF": the browser's narrow column headings
};
std::string byte_position(Direction direction, int byte, PositionSpelling spelling);
// The same for a record's byte 0-31 (16-31 the sent ones).
std::string byte_position(std::size_t record_byte, PositionSpelling spelling);
// "Send[5] & 0x01": a byte under a mask, as a condition or an ignore rule.
std::string masked_byte_text(Direction direction, int byte, std::uint8_t mask);
// "Send[2] & 0x0F = 0x01", the condition without its count.
std::string condition_text(Direction direction, int byte, std::uint8_t mask, std::uint8_t value);
// As the file's line 2 writes it: "None", or "Send[2] & 0x0F = 0x01 ,count 5".
std::string stop_condition_text(const std::optional<FileStopCondition>& stop);
// What a log view file has in place of a stop condition, in text and JSON.
inline constexpr const char* kStopConditionNotRecorded = "not recorded";
// The file's: as its line 2 writes it, or kStopConditionNotRecorded.
std::string stop_condition_text(const LogFile& log);
// A text as a terminal may show it: each control character (0x00-0x1F,
// 0x7F) as \xNN in lower case, and a backslash as \\ so that what is shown
// reads back as one text only. For a date and time line, which is printed
// as it was read.
std::string with_control_characters_escaped(std::string_view text);

// One direction's 16 bytes read as a block: the length byte, two bytes of
// address and command (received) or header (sent), the data bytes that the
// 16 hold, and the checksum when the block ends within them.
enum class ChecksumState { Ok, Bad, Cut };
const char* checksum_text(ChecksumState state);  // "ok", "bad", "cut"

struct DecodedBlock {
    std::uint8_t length = 0;
    std::uint8_t second = 0;  // address, or header byte 1
    std::uint8_t third = 0;   // command, or header byte 2
    std::vector<std::uint8_t> data;
    ChecksumState checksum = ChecksumState::Cut;
};
struct DecodedRecord {
    DecodedBlock recv;
    DecodedBlock send;
    const char* command = nullptr;  // the command word's name, when it is the program's
};
DecodedRecord decode_record(const LogRecord& record);
// Whether a direction's block holds its checksum, without decoding it.
ChecksumState block_checksum(const LogRecord& record, Direction direction);

// Some bits of one byte of a record.
struct MaskedByte {
    Direction direction = Direction::Recv;
    int byte = 0;  // 0-15
    std::uint8_t mask = 0;
};
// A byte's bits left out of a comparison.
using IgnoreRule = MaskedByte;
// A byte's bits compared: given any, a comparison looks at theirs only
// (and the ignore rules then take their bits out of those).
using OnlyRule = MaskedByte;

// A rule typed as the condition fields are: BYTE 0-15, MASK 0-255, with
// their messages (a text that is no integer throws ConversionError).
struct TypedIgnoreRule {
    std::optional<IgnoreRule> rule;
    std::string range_error;
};
TypedIgnoreRule ignore_rule_from_text(Direction direction, const std::string& byte,
                                      const std::string& mask);

// Per byte, the bits that a comparison under these rules looks at.
LogRecord compared_bits(std::span<const IgnoreRule> ignore, std::span<const OnlyRule> only);

// How a decoded block's checksum byte is compared. By whether it holds (ok,
// bad or cut): its value changes whenever the block's data does, so that by
// value it only repeats their differences; a checksum that holds in one log
// and not in the other still differs. Or by its value, as any other byte.
enum class ChecksumComparison { ByState, ByValue };

// What a comparison looks at: the bits of the only rules (every bit
// without one), less those of the ignore rules, checksums as asked.
struct ComparisonRules {
    std::vector<IgnoreRule> ignore;
    std::vector<OnlyRule> only;
    ChecksumComparison checksums = ChecksumComparison::ByState;
};

// The bits in which two paired records differ among those compared (per
// byte, as compared_bits gives them); whether any do. By state, a place
// that holds a block's checksum in either record differs, in its compared
// bits, when the two blocks' checksums do not hold alike, whatever its
// values; every other byte is compared by value.
bool differing_bits(const LogRecord& a, const LogRecord& b, const LogRecord& compared,
                    ChecksumComparison checksums, LogRecord& bits);

// How two logs' records are paired: at the same offset from each log's
// fired record (a trigger seen in both, each log read at its own time), or
// record 0 with record 0 and so on.
enum class Alignment { FiredRecord, RecordNumber };

// A pair of records, one of each log, whose compared bits differ.
struct RecordDifference {
    int record = 0;              // A's record: its row in a view of A
    int b_record = 0;            // B's record paired with it
    std::optional<int> offset;   // from the fired records, when aligned by them
    LogRecord differing_bits{};  // per byte, the bits that differ after the rules
};
struct LogComparison {
    Alignment aligned_by = Alignment::RecordNumber;
    std::optional<int> a_fired;  // each log's fired record, when it has one
    std::optional<int> b_fired;
    int b_shift = 0;  // in every pair, B's record number less A's
    // The records written in both logs are compared pair by pair. A record
    // written in one log whose pair lies outside 0-255 or was never written
    // in the other is only in that log: counted, and no difference.
    int records_compared = 0;
    int only_in_a = 0;
    int only_in_b = 0;
    std::vector<RecordDifference> records;  // the differing pairs, in A's order (when kept)
    int records_differing = 0;              // how many pairs differ, kept or not
    std::array<int, kRecordBytes> records_per_byte{};  // per byte position
    // Whether both files record a stop condition: only then can theirs
    // differ (a log view file records none).
    bool stop_conditions_compared = false;
    bool stop_conditions_differ = false;

    bool equal() const { return records_differing == 0 && !stop_conditions_differ; }
};
// The two logs pair by pair, and their stop conditions; the date and time
// lines are not compared. Aligned as wanted when both logs have a fired
// record, else by record number, under the rules.
// With Pairs::Counted, only the counts are kept, not each differing pair: a
// series compares thousands of logs.
enum class Pairs { Kept, Counted };
LogComparison compare_logs(const LogFile& a, const LogFile& b, const ComparisonRules& rules,
                           Alignment wanted = Alignment::FiredRecord, Pairs pairs = Pairs::Kept);
// The same, checksums compared by whether they hold.
LogComparison compare_logs(const LogFile& a, const LogFile& b, std::span<const IgnoreRule> ignore,
                           std::span<const OnlyRule> only = {},
                           Alignment wanted = Alignment::FiredRecord, Pairs pairs = Pairs::Kept);

// What a comparison's report says, for each front-end to word its way.
struct ComparisonReport {
    // How the pairs were made: at the fired records, or by record number:
    // as asked (both logs have a fired record), or for want of one.
    enum class Pairing {
        FiredRecords,
        NumberAsAsked,
        NumberNoneFiredInA,
        NumberNoneFiredInB,
        NumberNoneFiredInEither,
    };
    Pairing pairing = Pairing::NumberAsAsked;
    int a_fired = 0;  // with FiredRecords
    int b_fired = 0;
    // The records written in one log only.
    int only_in_a = 0;
    int only_in_b = 0;
    int records_differing = 0;
    int records_compared = 0;
    // Each byte position in which records differ, and in how many:
    // {"Recv 3", 1}, in the order of the bytes.
    std::vector<std::pair<std::string, int>> positions_differing;
    enum class StopConditions { NotCompared, Same, Differ };
    StopConditions stop_conditions = StopConditions::NotCompared;
};
ComparisonReport comparison_report(const LogComparison& comparison);

}  // namespace quillon
