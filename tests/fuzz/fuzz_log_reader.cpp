// Fuzzes the log file reader: any bytes either read as a whole log or are
// refused with a reason, and a log that is read holds exactly what its
// record lines say.
#include "LogFile.h"
#include "LogText.h"

#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    quillon::LogFile log;
    try {
        log = quillon::parse_log_file(bytes, "fuzz.txt");
    } catch (const quillon::LogReadError& error) {
        if (error.reason().empty() || error.line() < 0) {
            std::abort();
        }
        return 0;
    }
    if (log.stop_condition && (log.stop_condition->byte > 255 || log.stop_condition->count > 255)) {
        std::abort();
    }
    // Each record written again as a record line is found in the input,
    // case aside (the reader takes lower-case digits too).
    if (log.format == quillon::LogFormat::LogText) {
        const auto lower = [](std::string text) {
            for (char& c : text) {
                c = (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
            }
            return text;
        };
        const std::string input = lower(std::string(bytes));
        for (const auto& record : log.records) {
            if (input.find(lower(quillon::record_line(record))) == std::string::npos) {
                std::abort();
            }
        }
    }
    return 0;
}
