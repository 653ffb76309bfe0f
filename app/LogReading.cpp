#include "LogReading.h"

#include "Messages.h"

#include <array>

namespace quillon {

namespace {

constexpr std::uint32_t kLogBlockRead = 0x1FA00;
constexpr int kLogBlocks = 64;
constexpr int kRecordsPerBlock = 4;
constexpr std::uint8_t kBlockReplyLength = 130;
constexpr std::size_t kFirstRecordByte = 4;
constexpr std::size_t kRecordBytes = 32;
constexpr std::size_t kLogStatusByte = 132;
constexpr std::uint8_t kStatusLogging = 0x01;
constexpr std::uint8_t kStatusCancelled = 0x04;

void show_error(const char* text)
{
    show_message({text, "Error!", MessageIcon::Error});
}

}  // namespace

void show_cant_talk()
{
    show_error("Can't talk with Amplifier.");
}

std::optional<LogReadFailure> read_log_blocks(const AmplifierSend& send, const RecordSink& record,
                                              const std::function<void(int block)>& after_block)
{
    // The buffers every handler owns: 16 parameter and 150 response bytes.
    std::array<std::uint8_t, 16> params{};
    std::array<std::uint8_t, 150> response{};
    for (int block = 0; block < kLogBlocks; ++block) {
        params[0] = static_cast<std::uint8_t>(block);
        params[1] = 0;
        // Only a whole block reply may become records: no file may hold
        // bytes that the amplifier did not send.
        if (!send(kLogBlockRead, params, response) || response[0] != kBlockReplyLength) {
            show_cant_talk();
            return LogReadFailure::Exchange;
        }
        const std::uint8_t status = response[kLogStatusByte];
        if ((status & kStatusLogging) != 0) {
            show_error("Now Logging Error.");
            return LogReadFailure::LogStatus;
        }
        if ((status & kStatusCancelled) != 0) {
            show_error("Waveform or FFT function Error.");
            return LogReadFailure::LogStatus;
        }
        for (int r = 0; r < kRecordsPerBlock; ++r) {
            record(std::span<const std::uint8_t, kRecordBytes>(
                response.data() + kFirstRecordByte + r * kRecordBytes, kRecordBytes));
        }
        after_block(block);
    }
    return std::nullopt;
}

}  // namespace quillon
