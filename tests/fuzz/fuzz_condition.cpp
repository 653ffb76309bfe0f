// Fuzzes the condition language: any text either reads as a condition
// within the limits or is refused with a column inside it and a reason;
// a condition read holds or not at any record of a log without fault.
#include "Conditions.h"
#include "LogAnalysis.h"
#include "LogTimeline.h"

#include <cstdint>
#include <cstdlib>
#include <string_view>
#include <vector>

namespace {

const std::vector<quillon::FieldSpec>& fields()
{
    static const std::vector<quillon::FieldSpec> parsed = quillon::parse_fields(R"({"fields": [
        {"name": "position", "direction": "send", "byte": 3, "width": 4, "scale": 0.01, "unit": "mm",
         "when": {"direction": "recv", "byte": 2, "value": "0x41"}},
        {"name": "alarm", "direction": "send", "byte": 3,
         "names": {"0": "none", "5": "overload", "3": "excess position deviation"}},
        {"name": "speed", "direction": "send", "byte": 3, "width": 2, "signed": true},
        {"name": "count", "direction": "recv", "byte": 6},
        {"name": "then", "direction": "recv", "byte": 7, "mask": "0x0F"}]})",
                                                                                "fields.json")
                                                              .fields;
    return parsed;
}

// 200 records written of a made-up traffic, the trigger fired at 150 (or
// none): the same log for every input.
quillon::LogFile test_log(bool fired)
{
    quillon::LogFile log;
    for (std::size_t r = 0; r < 200; ++r) {
        for (std::size_t b = 0; b < quillon::kRecordBytes; ++b) {
            log.records[r][b] = static_cast<std::uint8_t>((r * 37 + b * 11 + (r >> 3)) | 1);
        }
    }
    if (fired) {
        log.records[150][0] = 0;
        log.stop_condition = quillon::FileStopCondition{quillon::Direction::Recv, 0, 0xFF, 0, 1};
    }
    return log;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    static const quillon::LogFile logs[] = {test_log(true), test_log(false)};
    static const quillon::LogTimeline timelines[] = {quillon::log_timeline(logs[0]),
                                                     quillon::log_timeline(logs[1])};
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    const quillon::ConditionRead read = quillon::read_condition(text, fields());
    if (read.condition.has_value() == read.error.has_value()) {
        std::abort();
    }
    if (read.error) {
        const int characters = quillon::text_column(text, text.size());
        if (read.error->column < 1 || read.error->column > characters ||
            quillon::condition_problem_text(*read.error) == nullptr) {
            std::abort();
        }
        static_cast<void>(quillon::condition_error_after(text, *read.error));
        return 0;
    }
    if (read.condition->nodes.empty() ||
        read.condition->nodes.size() > quillon::kMostConditionNodes) {
        std::abort();
    }
    // At the log's edges and around its fired record, with and without one.
    for (const int record : {0, 1, 149, 150, 151, 199, 200, 255}) {
        for (std::size_t which = 0; which < 2; ++which) {
            static_cast<void>(
                quillon::holds(*read.condition, logs[which], timelines[which], record, fields()));
        }
    }
    return 0;
}
