#include "LogAnalysis.h"

#include "LogTimeline.h"

#include "HexText.h"
#include "IntegerText.h"

#include <algorithm>
#include <bit>
#include <cstring>

namespace quillon {

namespace {

// Where a block's data bytes start: after its length and two more bytes.
constexpr std::size_t kBlockHeader = 3;

// Where a block's checksum stands among its direction's 16 bytes; none
// when the block ends past them (cut).
std::optional<std::size_t> checksum_place(std::span<const std::uint8_t, kDirectionBytes> block)
{
    const std::size_t place = kBlockHeader + block[0];
    return place < kDirectionBytes ? std::optional(place) : std::nullopt;
}

// The 8-bit sum of a block's bytes 0 to last, eight at a time and without
// a branch per byte: a series sums the blocks of thousands of logs.
std::uint8_t sum_through(std::span<const std::uint8_t, kDirectionBytes> block, std::size_t last)
{
    static_assert(std::endian::native == std::endian::little, "byte k is bits 8k to 8k + 7");
    constexpr std::size_t kWord = sizeof(std::uint64_t);
    constexpr std::uint64_t kEvenBytes = 0x00FF00FF00FF00FF;
    constexpr std::uint64_t kEachPair = 0x0001000100010001;  // adds the four pairs at the top
    std::uint64_t sum = 0;
    for (std::size_t at = 0; at < kDirectionBytes; at += kWord) {
        std::uint64_t word = 0;
        std::memcpy(&word, block.data() + at, kWord);
        const std::size_t kept = std::min(last + 1 - std::min(last + 1, at), kWord);
        word &= kept == kWord ? ~std::uint64_t{0} : (std::uint64_t{1} << (8 * kept)) - 1;
        const std::uint64_t pairs = (word & kEvenBytes) + ((word >> 8) & kEvenBytes);
        sum += (pairs * kEachPair) >> 48;
    }
    return static_cast<std::uint8_t>(sum);
}

ChecksumState checksum_state(std::span<const std::uint8_t, kDirectionBytes> block,
                             std::optional<std::size_t> place)
{
    if (!place) {
        return ChecksumState::Cut;
    }
    return sum_through(block, *place) == 0 ? ChecksumState::Ok : ChecksumState::Bad;
}

DecodedBlock decode_block(std::span<const std::uint8_t, kDirectionBytes> bytes)
{
    DecodedBlock block;
    block.length = bytes[0];
    block.second = bytes[1];
    block.third = bytes[2];
    const auto place = checksum_place(bytes);
    block.data.assign(bytes.begin() + kBlockHeader,
                      bytes.begin() + static_cast<std::ptrdiff_t>(place.value_or(kDirectionBytes)));
    block.checksum = checksum_state(bytes, place);
    return block;
}

}  // namespace

bool meets(const LogRecord& record, const RecordCondition& condition)
{
    return (record[record_byte_index(condition.direction, condition.byte)] & condition.mask) ==
           condition.value;
}

std::vector<int> records_meeting(const LogFile& log, const RecordCondition& condition)
{
    // A record never written holds no command, whatever its zeros would meet.
    std::vector<int> found;
    const int written = written_records(log.records);
    for (int i = 0; i < written; ++i) {
        if (meets(log.records[std::size_t(i)], condition)) {
            found.push_back(i);
        }
    }
    return found;
}

TypedRecordCondition record_condition_from_text(Direction direction, const std::string& byte,
                                                const std::string& mask, const std::string& value)
{
    // The byte as the stop condition's in 16 byte mode: a record holds 16.
    if (auto wrong = stop_byte_range_error(byte, false)) {
        return {std::nullopt, std::move(*wrong)};
    }
    const struct {
        const std::string& text;
        const char* error;
    } fields[] = {
        {mask, "Mask data is out of range(0-255)!"},
        {value, "Condition data is out of range(0-255)!"},
    };
    std::uint8_t numbers[2] = {};
    for (std::size_t i = 0; i < 2; ++i) {
        const std::int32_t number = integer_from_text(fields[i].text);
        if (number < 0 || number > 255) {
            return {std::nullopt, fields[i].error};
        }
        numbers[i] = static_cast<std::uint8_t>(number);
    }
    return {RecordCondition{direction, integer_from_text(byte), numbers[0], numbers[1]}, {}};
}

TypedIgnoreRule ignore_rule_from_text(Direction direction, const std::string& byte,
                                      const std::string& mask)
{
    // A rule has no value: any one in range lets the byte and mask be read.
    TypedRecordCondition typed = record_condition_from_text(direction, byte, mask, "0");
    if (!typed.condition) {
        return {std::nullopt, std::move(typed.range_error)};
    }
    return {IgnoreRule{direction, typed.condition->byte, typed.condition->mask}, {}};
}

StopConditionMatch match_stop_condition(const LogFile& log)
{
    StopConditionMatch match;
    if (!log.stop_condition_recorded()) {
        return match;
    }
    if (!log.stop_condition) {
        match.answer = StopConditionMatch::Answer::NoStopCondition;
        return match;
    }
    const FileStopCondition& stop = *log.stop_condition;
    if (stop.byte >= kDirectionBytes) {
        match.answer = StopConditionMatch::Answer::BeyondLoggedBytes;
        return match;
    }
    match.answer = StopConditionMatch::Answer::Checked;
    const RecordCondition condition{stop.direction, stop.byte, stop.mask, stop.value};
    match.records = records_meeting(log, condition);
    match.meets_record.assign(kLogRecords, false);
    for (const int record : match.records) {
        match.meets_record[std::size_t(record)] = true;
    }
    return match;
}

std::string byte_position(Direction direction, int byte, PositionSpelling spelling)
{
    const bool recv = direction == Direction::Recv;
    const std::string number = std::to_string(byte);
    switch (spelling) {
    case PositionSpelling::Condition: return (recv ? "Recv[" : "Send[") + number + "]";
    case PositionSpelling::Label: return (recv ? "Recv " : "Send ") + number;
    case PositionSpelling::Key: return std::string(direction_key(direction)) + "_" + number;
    case PositionSpelling::Heading: break;
    }
    constexpr std::string_view kHexDigits = "0123456789ABCDEF";
    return {recv ? 'R' : 'S', kHexDigits[std::size_t(byte) % kHexDigits.size()]};
}

std::string byte_position(std::size_t record_byte, PositionSpelling spelling)
{
    const bool sent = record_byte >= kDirectionBytes;
    return byte_position(sent ? Direction::Send : Direction::Recv,
                         int(record_byte % kDirectionBytes), spelling);
}

std::string masked_byte_text(Direction direction, int byte, std::uint8_t mask)
{
    std::string text = byte_position(direction, byte, PositionSpelling::Condition) + " & 0x";
    append_hex_byte(text, mask);
    return text;
}

std::string condition_text(Direction direction, int byte, std::uint8_t mask, std::uint8_t value)
{
    std::string text = masked_byte_text(direction, byte, mask) + " = 0x";
    append_hex_byte(text, value);
    return text;
}

std::string stop_condition_text(const std::optional<FileStopCondition>& stop)
{
    if (!stop) {
        return "None";
    }
    return condition_text(stop->direction, stop->byte, stop->mask, stop->value) + " ,count " +
           std::to_string(stop->count);
}

std::string stop_condition_text(const LogFile& log)
{
    return log.stop_condition_recorded() ? stop_condition_text(log.stop_condition)
                                         : kStopConditionNotRecorded;
}

std::string with_control_characters_escaped(std::string_view text)
{
    std::string escaped;
    escaped.reserve(text.size());
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte < 0x20 || byte == 0x7F) {
            constexpr std::string_view kDigits = "0123456789abcdef";
            escaped += "\\x";
            escaped += kDigits[byte >> 4];
            escaped += kDigits[byte & 0x0F];
        } else if (c == '\\') {
            escaped += "\\\\";
        } else {
            escaped += c;
        }
    }
    return escaped;
}

const char* checksum_text(ChecksumState state)
{
    switch (state) {
    case ChecksumState::Ok: return "ok";
    case ChecksumState::Bad: return "bad";
    case ChecksumState::Cut: break;
    }
    return "cut";
}

DecodedRecord decode_record(const LogRecord& record)
{
    const auto bytes = std::span(record);
    DecodedRecord decoded{decode_block(bytes.first<kDirectionBytes>()),
                          decode_block(bytes.last<kDirectionBytes>())};
    decoded.command = command_word_name(decoded.recv.length, decoded.recv.third);
    return decoded;
}

ChecksumState block_checksum(const LogRecord& record, Direction direction)
{
    const auto bytes = std::span(record);
    const auto block = direction == Direction::Recv ? bytes.first<kDirectionBytes>()
                                                    : bytes.last<kDirectionBytes>();
    return checksum_state(block, checksum_place(block));
}

LogRecord compared_bits(std::span<const IgnoreRule> ignore, std::span<const OnlyRule> only)
{
    LogRecord compared;
    compared.fill(only.empty() ? 0xFF : 0x00);
    for (const OnlyRule& rule : only) {
        compared[record_byte_index(rule.direction, rule.byte)] |= rule.mask;
    }
    for (const IgnoreRule& rule : ignore) {
        compared[record_byte_index(rule.direction, rule.byte)] &=
            static_cast<std::uint8_t>(~rule.mask);
    }
    return compared;
}

namespace {

// Whether the log wrote a record of that number (which may lie outside
// 0-255, where a pair's other record falls off the log).
bool holds(const LogTimeline& timeline, int record)
{
    return record >= 0 && timeline.is_written(record);
}

// A direction's checksum places in a and b compared by whether their
// checksums hold, over what bits holds there by value.
void compare_checksums(std::span<const std::uint8_t, kDirectionBytes> a,
                       std::span<const std::uint8_t, kDirectionBytes> b,
                       std::span<const std::uint8_t, kDirectionBytes> compared,
                       std::span<std::uint8_t, kDirectionBytes> bits)
{
    const auto a_place = checksum_place(a);
    const auto b_place = checksum_place(b);
    if (!a_place && !b_place) {
        return;
    }
    const std::uint8_t differ =
        checksum_state(a, a_place) != checksum_state(b, b_place) ? 0xFF : 0x00;
    for (const auto& place : {a_place, b_place}) {
        if (place) {
            bits[*place] = static_cast<std::uint8_t>(differ & compared[*place]);
        }
    }
}

}  // namespace

bool differing_bits(const LogRecord& a, const LogRecord& b, const LogRecord& compared,
                    ChecksumComparison checksums, LogRecord& bits)
{
    // Worked out apart from bits, which might be a or b, and without a
    // branch per byte, so that the compiler can take the 32 at once.
    LogRecord differing;
    for (std::size_t k = 0; k < kRecordBytes; ++k) {
        differing[k] = static_cast<std::uint8_t>((a[k] ^ b[k]) & compared[k]);
    }
    if (checksums == ChecksumComparison::ByState) {
        const auto direction = [](auto& record, std::size_t at) {
            return std::span(record).subspan(at).template first<kDirectionBytes>();
        };
        for (const std::size_t at : {std::size_t{0}, std::size_t{kDirectionBytes}}) {
            compare_checksums(direction(a, at), direction(b, at), direction(compared, at),
                              direction(differing, at));
        }
    }
    std::uint8_t any = 0;
    for (std::size_t k = 0; k < kRecordBytes; ++k) {
        any |= differing[k];
    }
    bits = differing;
    return any != 0;
}

LogComparison compare_logs(const LogFile& a, const LogFile& b, std::span<const IgnoreRule> ignore,
                           std::span<const OnlyRule> only, Alignment wanted, Pairs pairs)
{
    return compare_logs(a, b,
                        ComparisonRules{{ignore.begin(), ignore.end()}, {only.begin(), only.end()}},
                        wanted, pairs);
}

LogComparison compare_logs(const LogFile& a, const LogFile& b, const ComparisonRules& rules,
                           Alignment wanted, Pairs pairs)
{
    const LogTimeline a_timeline = log_timeline(a);
    const LogTimeline b_timeline = log_timeline(b);
    LogComparison comparison;
    comparison.a_fired = a_timeline.fired;
    comparison.b_fired = b_timeline.fired;
    const bool by_fired = wanted == Alignment::FiredRecord && a_timeline.fired && b_timeline.fired;
    comparison.aligned_by = by_fired ? Alignment::FiredRecord : Alignment::RecordNumber;
    comparison.b_shift = by_fired ? *b_timeline.fired - *a_timeline.fired : 0;
    const LogRecord compared = compared_bits(rules.ignore, rules.only);
    // Counted here, not in comparison, which the compiler must take to
    // share memory with the records.
    std::array<int, kRecordBytes> per_byte{};
    for (int i = 0; i < a_timeline.written; ++i) {
        const int j = i + comparison.b_shift;
        if (!holds(b_timeline, j)) {
            ++comparison.only_in_a;
            continue;
        }
        ++comparison.records_compared;
        LogRecord bits;
        if (!differing_bits(a.records[std::size_t(i)], b.records[std::size_t(j)], compared,
                            rules.checksums, bits)) {
            continue;
        }
        ++comparison.records_differing;
        for (std::size_t k = 0; k < kRecordBytes; ++k) {
            per_byte[k] += bits[k] != 0 ? 1 : 0;
        }
        if (pairs == Pairs::Kept) {
            const std::optional<int> offset = by_fired ? a_timeline.offset(i) : std::nullopt;
            comparison.records.push_back(RecordDifference{i, j, offset, bits});
        }
    }
    comparison.records_per_byte = per_byte;
    for (int j = 0; j < b_timeline.written; ++j) {
        comparison.only_in_b += holds(a_timeline, j - comparison.b_shift) ? 0 : 1;
    }
    comparison.stop_conditions_compared =
        a.stop_condition_recorded() && b.stop_condition_recorded();
    comparison.stop_conditions_differ =
        comparison.stop_conditions_compared && a.stop_condition != b.stop_condition;
    return comparison;
}

ComparisonReport comparison_report(const LogComparison& comparison)
{
    using Pairing = ComparisonReport::Pairing;
    ComparisonReport report;
    if (comparison.aligned_by == Alignment::FiredRecord) {
        report.pairing = Pairing::FiredRecords;
        report.a_fired = *comparison.a_fired;
        report.b_fired = *comparison.b_fired;
    } else {
        report.pairing = comparison.a_fired && comparison.b_fired ? Pairing::NumberAsAsked
                         : comparison.a_fired                     ? Pairing::NumberNoneFiredInB
                         : comparison.b_fired                     ? Pairing::NumberNoneFiredInA
                                              : Pairing::NumberNoneFiredInEither;
    }
    report.only_in_a = comparison.only_in_a;
    report.only_in_b = comparison.only_in_b;
    report.records_differing = comparison.records_differing;
    report.records_compared = comparison.records_compared;
    for (std::size_t k = 0; k < kRecordBytes; ++k) {
        if (const int count = comparison.records_per_byte[k]; count > 0) {
            report.positions_differing.emplace_back(byte_position(k, PositionSpelling::Label),
                                                    count);
        }
    }
    using Verdict = ComparisonReport::StopConditions;
    report.stop_conditions = !comparison.stop_conditions_compared ? Verdict::NotCompared
                             : comparison.stop_conditions_differ  ? Verdict::Differ
                                                                  : Verdict::Same;
    return report;
}

}  // namespace quillon
