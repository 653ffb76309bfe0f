// The exchanges the program makes with the amplifier, each as one function
// over a way to send a command: the windows and the command-line tool both
// call these, so each command is built and each reply read in one place.
// Nothing here shows anything; a failure comes back for the caller to show
// (show_failure) or to act on.
#pragma once

#include "AmplifierProtocol.h"

#include <functional>
#include <optional>
#include <span>
#include <vector>

namespace quillon {

// One exchange through whichever adapter is in use: true with the response
// block in response, false when it failed.
using AmplifierSend =
    std::function<bool(std::uint32_t command_word, std::span<const std::uint8_t> params,
                       std::span<std::uint8_t> response)>;

enum class AmplifierFailure {
    CantTalk,       // "Can't talk with Amplifier."
    NoLogFunction,  // "This Amplifier doesn't support Log function!"
    NoComData,      // "... this command(MOT_READ_COM_DATA)!"
    NoComData32,    // "... this command(MOT_READ_COM_DATA_32)!"
    NowLogging,     // "Now Logging Error."
    Cancelled,      // "Waveform or FFT function Error."
};

const char* failure_text(AmplifierFailure failure);
// Shows the failure's text as an error ("Error!", error icon).
void show_failure(AmplifierFailure failure);

// A value, or the failure that stood in its way.
template <class T>
struct Outcome {
    std::optional<T> value;
    AmplifierFailure failure = AmplifierFailure::CantTalk;

    explicit operator bool() const { return value.has_value(); }
    const T& operator*() const { return *value; }
    const T* operator->() const { return &*value; }
};

bool test_connection(const AmplifierSend& send);

// Block 0's log status.
Outcome<LogStatus> read_log_status(const AmplifierSend& send);

Outcome<ComData> read_com_data(const AmplifierSend& send, bool wide_mode);

// Sends a log control block; true when the exchange succeeded.
bool send_log_control(const AmplifierSend& send, const ParameterBlock& params);

// Stops logging and reads the stop condition the log was taken under.
Outcome<StopCondition> stop_logging(const AmplifierSend& send);

// The records of the blocks read, in log order; when a block failed, the
// records before it and the failure.
struct LogBlocks {
    std::vector<LogRecord> records;
    std::optional<AmplifierFailure> failure;
};
// Reads blocks 0 to 63. Only a whole block reply becomes records, and a log
// status that says logging or cancelled ends the read. after_block(b) runs
// once block b is in.
LogBlocks read_log_blocks(const AmplifierSend& send,
                          const std::function<void(int block)>& after_block);

// The whole log as SAVE LOG takes it: the log control command (which stops
// logging and names the stop condition), then the 64 blocks. progress(n)
// runs with the number of exchanges done, 0 before the first and 65 after
// the last; not after a failure.
struct LogCapture {
    std::optional<StopCondition> condition;  // nothing when the control command failed
    LogBlocks blocks;
    std::optional<AmplifierFailure> failure() const;
};
inline constexpr int kLogCaptureExchanges = 1 + kLogBlocks;
LogCapture capture_log(const AmplifierSend& send,
                       const std::function<void(int exchanges)>& progress);
// The same, for a log that a stop condition has ended: when the log control
// reply names none, the capture holds that reply's condition
// (kNoStopCondition) and no record, and no block is read.
LogCapture capture_triggered_log(const AmplifierSend& send,
                                 const std::function<void(int exchanges)>& progress);

}  // namespace quillon
