#include "PortRequests.h"

#include <cstdio>
#include <sstream>
#include <stdexcept>

namespace testsupport::requests {

namespace {

std::vector<long long> numbers_in(std::string_view text, std::size_t expected, const char* what)
{
    std::istringstream words{std::string(text)};
    std::vector<long long> numbers;
    for (long long number = 0; words >> number;) {
        numbers.push_back(number);
    }
    if (numbers.size() != expected) {
        throw std::invalid_argument(std::string("not ") + what + ": " + std::string(text));
    }
    return numbers;
}

std::string numbers_text(std::initializer_list<long long> numbers)
{
    std::string text;
    for (const long long number : numbers) {
        text += (text.empty() ? "" : " ") + std::to_string(number);
    }
    return text;
}

}  // namespace

std::string bytes_text(const Bytes& bytes)
{
    if (bytes.empty()) {
        return "-";
    }
    std::string text;
    char two[3];
    for (const auto byte : bytes) {
        std::snprintf(two, sizeof two, "%02X", byte);
        text += two;
    }
    return text;
}

Bytes bytes_from(std::string_view word)
{
    if (word == "-") {
        return {};
    }
    if (word.size() % 2 != 0) {
        throw std::invalid_argument("not bytes: " + std::string(word));
    }
    Bytes bytes;
    for (std::size_t i = 0; i < word.size(); i += 2) {
        bytes.push_back(
            static_cast<std::uint8_t>(std::stoul(std::string(word.substr(i, 2)), nullptr, 16)));
    }
    return bytes;
}

std::string blocks_text(const std::vector<Bytes>& blocks)
{
    std::string text;
    for (const auto& block : blocks) {
        text += (text.empty() ? "" : " ") + bytes_text(block);
    }
    return text;
}

std::vector<Bytes> blocks_from(std::string_view text)
{
    std::istringstream words{std::string(text)};
    std::vector<Bytes> blocks;
    for (std::string word; words >> word;) {
        blocks.push_back(bytes_from(word));
    }
    return blocks;
}

std::string faults_text(const ampsim::Faults& faults)
{
    return numbers_text({faults.refuse_enq, faults.ignore_enq, faults.nak_block,
                         faults.corrupt_response, faults.early_eot_after_nak,
                         faults.early_enq_after_corrupt, static_cast<long long>(faults.hang_up),
                         faults.response_delay.count()});
}

ampsim::Faults faults_from(std::string_view text)
{
    const auto n = numbers_in(text, 8, "faults");
    ampsim::Faults faults;
    faults.refuse_enq = static_cast<int>(n[0]);
    faults.ignore_enq = static_cast<int>(n[1]);
    faults.nak_block = static_cast<int>(n[2]);
    faults.corrupt_response = static_cast<int>(n[3]);
    faults.early_eot_after_nak = n[4] != 0;
    faults.early_enq_after_corrupt = n[5] != 0;
    faults.hang_up = static_cast<ampsim::HangUpPoint>(n[6]);
    faults.response_delay = std::chrono::milliseconds(n[7]);
    return faults;
}

std::string line_text(const LineState& line)
{
    return numbers_text({line.rate, line.custom_rate, line.data_bits, line.parity,
                         line.two_stop_bits, line.hardware_flow_control, line.software_flow_control,
                         line.input_changed, line.line_editing, line.output_changed,
                         line.low_latency_offered});
}

LineState line_from(std::string_view text)
{
    const auto n = numbers_in(text, 11, "a line state");
    LineState line;
    line.rate = static_cast<std::uint32_t>(n[0]);
    line.custom_rate = n[1] != 0;
    line.data_bits = static_cast<unsigned>(n[2]);
    line.parity = n[3] != 0;
    line.two_stop_bits = n[4] != 0;
    line.hardware_flow_control = n[5] != 0;
    line.software_flow_control = n[6] != 0;
    line.input_changed = n[7] != 0;
    line.line_editing = n[8] != 0;
    line.output_changed = n[9] != 0;
    line.low_latency_offered = n[10] != 0;
    return line;
}

}  // namespace testsupport::requests
