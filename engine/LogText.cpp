#include "LogText.h"

#include "HexText.h"
#include "LogAnalysis.h"

#include <QLocale>
#include <QString>

namespace quillon {

std::string date_time_line(const QDateTime& when)
{
    const QLocale locale = QLocale::system();
    const QString text = "#Date and Time  : " + locale.toString(when.date(), QLocale::ShortFormat) +
                         " " + locale.toString(when.time(), QLocale::LongFormat);
    // Kept as the locale's 8-bit text, which is what the file holds.
    return text.toLocal8Bit().toStdString();
}

std::string stop_condition_line(const StopCondition& condition, int send_offset)
{
    return "#Stop Condition : " + stop_condition_text(file_stop_condition(condition, send_offset));
}

std::string record_line(std::span<const std::uint8_t, 32> record, const RecordLayout& layout)
{
    std::string line(layout.recv_prefix);
    for (std::size_t i = 0; i < record.size(); ++i) {
        if (i == std::size_t(kDirectionBytes)) {
            line += layout.send_prefix;
        }
        if (layout.comma_first) {
            line += ',';
        }
        append_hex_byte(line, record[i]);
        if (!layout.comma_first) {
            line += ',';
        }
    }
    return line;
}

std::size_t record_byte_column(std::size_t byte, const RecordLayout& layout)
{
    constexpr std::size_t kByteText = 3;  // two digits and a comma
    std::size_t column =
        layout.recv_prefix.size() + kByteText * byte + (layout.comma_first ? 1 : 0);
    if (byte >= std::size_t(kDirectionBytes)) {
        column += layout.send_prefix.size();
    }
    return column;
}

std::vector<std::string> log_text_lines(const std::string& date_time, const LogCapture& capture,
                                        int send_offset)
{
    std::vector<std::string> lines{date_time};
    if (!capture.condition) {
        return lines;
    }
    lines.push_back(stop_condition_line(*capture.condition, send_offset));
    lines.emplace_back();
    for (const auto& record : capture.blocks.records) {
        lines.push_back(record_line(record));
    }
    return lines;
}

}  // namespace quillon
