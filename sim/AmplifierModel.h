// A model of the servo amplifier as the program sees it: a command interface
// whose own traffic (from a synthetic host) it records in a communication
// log, the log control with its stop condition, the log status, and the last
// command and response bytes with the communication phase.
//
// Thread-safe: the serial and the USB endpoint share one model.
#pragma once

#include "CyclicHost.h"
#include "Reply.h"
#include "SyntheticHost.h"

#include <array>
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <span>
#include <vector>

namespace ampsim {

// Command bytes that the model knows.
namespace command {
inline constexpr std::uint8_t kConnectionTest = 0x00;
inline constexpr std::uint8_t kReadComData = 0xAF;
inline constexpr std::uint8_t kReadComData32 = 0xDF;
inline constexpr std::uint8_t kLogBlockRead = 0xFA;
inline constexpr std::uint8_t kLogControl = 0xEA;
}  // namespace command

inline constexpr std::size_t kLogRecords = 256;
inline constexpr std::size_t kRecordsPerBlock = 4;
inline constexpr std::size_t kLogBlocks = kLogRecords / kRecordsPerBlock;
inline constexpr std::size_t kRecordHalf = 16;  // bytes of each direction in a record

inline constexpr std::uint8_t kStatusLogging = 0x01;
inline constexpr std::uint8_t kStatusCancelled = 0x04;
inline constexpr std::uint8_t kNoStopCondition = 0xFF;

// One logged exchange of the amplifier's command interface.
struct Record {
    std::array<std::uint8_t, kRecordHalf> received{};
    std::array<std::uint8_t, kRecordHalf> sent{};
    bool operator==(const Record&) const = default;
};

// The stop condition as the log control command sets it.
struct StopCondition {
    std::uint8_t trigger_index =
        kNoStopCondition;  // below L: received byte; else sent byte index - L
    std::uint8_t mask = 0;
    std::uint8_t value = 0;
    std::uint8_t count = 0;  // further records logged after the match
    bool operator==(const StopCondition&) const = default;
};

struct ModelOptions {
    std::uint64_t seed = 1;
    // Synthetic host exchanges a second; 0 = only those run by advance().
    double traffic_rate = 50.0;
    // Where the sent bytes start in the trigger byte index.
    unsigned send_offset = 16;
    // Variants that lack a function answer its command with no data.
    bool has_log = true;
    bool has_com_data = true;
    bool has_com_data_32 = true;
    // Cancel logging (the "waveform/FFT function" event) after this many
    // logged records; 0 = never.
    unsigned cancel_after_records = 0;
    // What the synthetic host sends: random blocks, or a controller's cycle.
    enum class Host { Random, Cyclic };
    Host host = Host::Random;
    // The cyclic host's alarm read answers an alarm about this often, in
    // exchanges; 0 = never.
    unsigned alarm_every = 0;
    // Or, instead: each alarm read answers one with the chance that gives
    // this mean interval in exchanges, independent of the move; 0 = not so.
    unsigned alarm_mean = 0;
    // What must have held before an alarm that either makes due comes.
    AlarmCause alarm_cause{};
};

class AmplifierModel {
public:
    using Clock = std::chrono::steady_clock;

    explicit AmplifierModel(ModelOptions options = {});

    // Carries out one command: N, address, command byte, N parameters (a
    // checksum behind them is ignored). Nothing = no answer at all.
    std::optional<Reply> execute(std::span<const std::uint8_t> command);

    // Runs the synthetic host for this many exchanges now.
    void advance(std::size_t exchanges);
    // The "waveform/FFT function" event: logging stops as cancelled.
    void cancel_logging();

    // What a whole log read returns: 256 records, oldest first.
    std::vector<Record> log_in_read_order() const;
    std::uint8_t log_status() const;
    StopCondition stop_condition() const;
    std::uint64_t exchanges_run() const;
    const ModelOptions& options() const { return options_; }

private:
    using Exchange = HostExchange;

    void catch_up();  // runs the host exchanges that the traffic rate says are due
    void run_exchange();
    void log(const Exchange& exchange);
    bool matches_stop_condition(const Exchange& exchange) const;
    void start_logging(const StopCondition& condition);

    Reply log_block(std::span<const std::uint8_t> command);
    Reply log_control(std::span<const std::uint8_t> command);
    Reply com_data(std::span<const std::uint8_t> command, std::size_t width);
    const Record& record_in_read_order(std::size_t position) const;
    std::uint8_t status_locked() const;

    const ModelOptions options_;
    mutable std::mutex mutex_;
    std::unique_ptr<SyntheticHost> host_;
    Clock::time_point traffic_start_;
    std::uint64_t exchanges_run_ = 0;
    std::uint64_t exchanges_due_base_ = 0;

    Exchange last_{};
    std::uint8_t phase_ = 0;

    std::array<Record, kLogRecords> log_{};
    std::uint64_t records_logged_ = 0;
    bool logging_ = false;
    bool cancelled_ = false;
    StopCondition condition_{};
    std::optional<unsigned> records_left_after_match_;
};

}  // namespace ampsim
