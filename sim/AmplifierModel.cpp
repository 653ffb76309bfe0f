#include "AmplifierModel.h"

#include "CyclicHost.h"
#include "RandomHost.h"

#include <algorithm>

namespace ampsim {

namespace {

// A model left alone for days must not stall the next command.
constexpr std::uint64_t kMaxCatchUp = 1'000'000;

std::unique_ptr<SyntheticHost> make_host(const ModelOptions& options)
{
    if (options.host == ModelOptions::Host::Cyclic) {
        return std::make_unique<CyclicHost>(options.seed, options.alarm_every, options.alarm_mean,
                                            options.alarm_cause);
    }
    return std::make_unique<RandomHost>(options.seed);
}

}  // namespace

AmplifierModel::AmplifierModel(ModelOptions options)
    : options_(options), host_(make_host(options)), traffic_start_(Clock::now())
{
}

std::optional<Reply> AmplifierModel::execute(std::span<const std::uint8_t> command)
{
    std::lock_guard lock(mutex_);
    catch_up();
    if (command.size() < 3 || command.size() < std::size_t{command[0]} + 3) {
        return std::nullopt;  // not a command block: the amplifier ignores it
    }
    const std::uint8_t cmd = command[2];
    switch (cmd) {
    case command::kLogBlockRead:
        return options_.has_log ? log_block(command) : Reply::to(command, {});
    case command::kLogControl:
        return options_.has_log ? log_control(command) : Reply::to(command, {});
    case command::kReadComData:
        return options_.has_com_data ? com_data(command, 16) : Reply::to(command, {});
    case command::kReadComData32:
        return options_.has_com_data_32 ? com_data(command, 32) : Reply::to(command, {});
    default:
        // The connection test, and every command the model does not know,
        // is acknowledged without data.
        return Reply::to(command, {});
    }
}

void AmplifierModel::advance(std::size_t exchanges)
{
    std::lock_guard lock(mutex_);
    for (std::size_t i = 0; i < exchanges; ++i) {
        run_exchange();
    }
}

void AmplifierModel::cancel_logging()
{
    std::lock_guard lock(mutex_);
    catch_up();
    if (logging_) {
        logging_ = false;
        cancelled_ = true;
    }
}

std::vector<Record> AmplifierModel::log_in_read_order() const
{
    std::lock_guard lock(mutex_);
    std::vector<Record> records;
    records.reserve(kLogRecords);
    for (std::size_t i = 0; i < kLogRecords; ++i) {
        records.push_back(record_in_read_order(i));
    }
    return records;
}

std::uint8_t AmplifierModel::log_status() const
{
    std::lock_guard lock(mutex_);
    return status_locked();
}

std::uint8_t AmplifierModel::status_locked() const
{
    return static_cast<std::uint8_t>((logging_ ? kStatusLogging : 0) |
                                     (cancelled_ ? kStatusCancelled : 0));
}

StopCondition AmplifierModel::stop_condition() const
{
    std::lock_guard lock(mutex_);
    return condition_;
}

std::uint64_t AmplifierModel::exchanges_run() const
{
    std::lock_guard lock(mutex_);
    return exchanges_run_;
}

void AmplifierModel::catch_up()
{
    if (options_.traffic_rate <= 0) {
        return;
    }
    const double seconds = std::chrono::duration<double>(Clock::now() - traffic_start_).count();
    const auto due = static_cast<std::uint64_t>(seconds * options_.traffic_rate);
    const std::uint64_t count = std::min(due - exchanges_due_base_, kMaxCatchUp);
    exchanges_due_base_ = due;
    for (std::uint64_t i = 0; i < count; ++i) {
        run_exchange();
    }
}

void AmplifierModel::run_exchange()
{
    last_ = host_->next_exchange();
    ++exchanges_run_;
    phase_ = static_cast<std::uint8_t>(exchanges_run_);
    log(last_);
}

void AmplifierModel::log(const Exchange& exchange)
{
    if (!logging_) {
        return;
    }
    Record& record = log_[records_logged_ % kLogRecords];
    std::copy_n(exchange.received.begin(), kRecordHalf, record.received.begin());
    std::copy_n(exchange.sent.begin(), kRecordHalf, record.sent.begin());
    ++records_logged_;

    if (records_left_after_match_) {
        // Stops once the count of further records has passed.
        if (--*records_left_after_match_ == 0) {
            logging_ = false;
        }
    } else if (matches_stop_condition(exchange)) {
        records_left_after_match_ = condition_.count;
        logging_ = condition_.count != 0;
    }
    if (logging_ && options_.cancel_after_records != 0 &&
        records_logged_ == options_.cancel_after_records) {
        logging_ = false;
        cancelled_ = true;
    }
}

bool AmplifierModel::matches_stop_condition(const Exchange& exchange) const
{
    const unsigned index = condition_.trigger_index;
    if (index == kNoStopCondition) {
        return false;
    }
    std::optional<std::uint8_t> byte;
    if (index < options_.send_offset) {
        if (index < kExchangeBytes) {
            byte = exchange.received[index];
        }
    } else if (index - options_.send_offset < kExchangeBytes) {
        byte = exchange.sent[index - options_.send_offset];
    }
    return byte && (*byte & condition_.mask) == condition_.value;
}

void AmplifierModel::start_logging(const StopCondition& condition)
{
    log_ = {};
    records_logged_ = 0;
    logging_ = true;
    cancelled_ = false;
    condition_ = condition;
    records_left_after_match_.reset();
}

Reply AmplifierModel::log_block(std::span<const std::uint8_t> command)
{
    if (command[0] < 1 || command[3] >= kLogBlocks) {
        return Reply::to(command, {});
    }
    const std::uint8_t block = command[3];
    std::vector<std::uint8_t> data{block};
    for (std::size_t r = 0; r < kRecordsPerBlock; ++r) {
        const Record& record = record_in_read_order(block * kRecordsPerBlock + r);
        data.insert(data.end(), record.received.begin(), record.received.end());
        data.insert(data.end(), record.sent.begin(), record.sent.end());
    }
    data.push_back(status_locked());
    return Reply::to(command, std::move(data));
}

Reply AmplifierModel::log_control(std::span<const std::uint8_t> command)
{
    if (command[0] < 5) {
        return Reply::to(command, {});
    }
    if (command[3] == 1) {
        start_logging({command[4], command[5], command[6], command[7]});
    } else {
        logging_ = false;
    }
    // Both answer with the stop condition in effect.
    return Reply::to(
        command, {condition_.trigger_index, condition_.mask, condition_.value, condition_.count});
}

Reply AmplifierModel::com_data(std::span<const std::uint8_t> command, std::size_t width)
{
    std::vector<std::uint8_t> data(last_.received.begin(), last_.received.begin() + width);
    data.insert(data.end(), last_.sent.begin(), last_.sent.begin() + width);
    data.push_back(phase_);
    data.push_back(0x00);  // reserved
    return Reply::to(command, std::move(data));
}

const Record& AmplifierModel::record_in_read_order(std::size_t position) const
{
    // Until the ring has wrapped, the oldest record sits in slot 0.
    const std::size_t oldest = records_logged_ < kLogRecords ? 0 : records_logged_ % kLogRecords;
    return log_[(oldest + position) % kLogRecords];
}

}  // namespace ampsim
