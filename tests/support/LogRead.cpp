#include "LogRead.h"

#include <algorithm>
#include <array>

namespace testsupport {

std::optional<LogRead> read_whole_log(const SendCommand& send)
{
    // The program's own buffers: 16 parameter bytes, 150 response bytes.
    std::array<std::uint8_t, 16> params{};
    std::array<std::uint8_t, 150> response{};
    if (!send(0x8EA00, params, response) || response[0] < 4) {
        return std::nullopt;
    }
    LogRead log;
    log.condition = {response[3], response[4], response[5], response[6]};
    for (int block = 0; block < 64; ++block) {
        params[0] = static_cast<std::uint8_t>(block);
        if (!send(0x1FA00, params, response) || response[0] != 130) {
            return std::nullopt;
        }
        for (int r = 0; r < 4; ++r) {
            ampsim::Record record;
            const auto* first = response.data() + 4 + 32 * r;
            std::copy_n(first, 16, record.received.begin());
            std::copy_n(first + 16, 16, record.sent.begin());
            log.records.push_back(record);
        }
        log.last_status = response[132];
    }
    return log;
}

FilledAmplifier::FilledAmplifier() : model({.traffic_rate = 0})
{
    const std::uint8_t start[] = {8, 0, 0xEA, 1, 0xFF, 0, 0, 0, 0, 0, 0};
    model.execute(start);
    model.advance(300);
    const std::uint8_t stop[] = {8, 0, 0xEA, 0, 0, 0, 0, 0, 0, 0, 0};
    model.execute(stop);
}

}  // namespace testsupport
