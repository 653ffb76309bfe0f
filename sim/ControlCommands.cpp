#include "ControlCommands.h"

#include <algorithm>
#include <cstdio>
#include <initializer_list>
#include <sstream>

namespace ampsim {

namespace {

constexpr const char* kHelp =
    "  refuse-enq N        answer the next N ENQs with NAK (serial)\n"
    "  ignore-enq N        stay silent on the next N ENQs (serial)\n"
    "  nak-block N         NAK the next N command blocks (serial)\n"
    "  corrupt N           send the next N responses with a bad checksum (serial)\n"
    "  delay MS            offer each response MS milliseconds late (serial)\n"
    "  hang-up [WHERE]     pull the serial cable at the next exchange: on-enq,\n"
    "                      after-ack or mid-response (default)\n"
    "  silent N            answer none of the next N commands (serial and USB)\n"
    "  drop-usb            close every USB connection and refuse new ones\n"
    "  allow-usb           accept USB connections again\n"
    "  cancel              a waveform/FFT event cancels logging\n"
    "  advance N           run N host exchanges now\n"
    "  status              print the log status, stop condition and exchange count\n"
    "  write-log PATH      write the 256 log records, oldest first, one a line as\n"
    "                      16 received then 16 sent bytes in hexadecimal\n";

// One line a record: its 16 received and 16 sent bytes as hexadecimal pairs.
bool write_log(const AmplifierModel& model, const std::string& path)
{
    std::FILE* out = std::fopen(path.c_str(), "w");
    if (out == nullptr) {
        return false;
    }
    for (const auto& record : model.log_in_read_order()) {
        for (auto byte : record.received) {
            std::fprintf(out, "%02X", byte);
        }
        for (auto byte : record.sent) {
            std::fprintf(out, "%02X", byte);
        }
        std::fputc('\n', out);
    }
    return std::fclose(out) == 0;
}

std::string describe_status(const AmplifierModel& model)
{
    const StopCondition condition = model.stop_condition();
    char text[160];
    const int length = std::snprintf(
        text, sizeof text,
        "log status 0x%02X, stop condition index %u mask 0x%02X value 0x%02X count %u, "
        "%llu host exchanges",
        model.log_status(), condition.trigger_index, condition.mask, condition.value,
        condition.count, static_cast<unsigned long long>(model.exchanges_run()));
    return std::string(text, static_cast<std::size_t>(std::clamp(length, 0, int{sizeof text} - 1)));
}

}  // namespace

const char* control_help()
{
    return kHelp;
}

std::optional<ControlCommand> parse_control_command(const std::string& line)
{
    std::istringstream words(line);
    ControlCommand command;
    words >> command.verb;
    const auto is = [&](std::initializer_list<const char*> verbs) {
        return std::any_of(verbs.begin(), verbs.end(),
                           [&](const char* verb) { return command.verb == verb; });
    };
    if (is({"refuse-enq", "ignore-enq", "nak-block", "corrupt", "delay", "silent", "advance"})) {
        long count = 1;
        if (!(words >> std::ws).eof() && (!(words >> count) || count < 0 || count > 1'000'000)) {
            return std::nullopt;
        }
        command.count = static_cast<int>(count);
    } else if (is({"hang-up"})) {
        words >> command.word;
        if (!command.word.empty() && command.word != "on-enq" && command.word != "after-ack" &&
            command.word != "mid-response") {
            return std::nullopt;
        }
    } else if (is({"write-log"})) {
        if (!(words >> command.word)) {
            return std::nullopt;
        }
    } else if (!is({"drop-usb", "allow-usb", "cancel", "status"})) {
        return std::nullopt;
    }
    std::string extra;
    if (words >> extra) {
        return std::nullopt;
    }
    return command;
}

std::string run_control_command(ControlTarget& target, const std::string& line)
{
    const auto command = parse_control_command(line);
    if (!command) {
        return "unknown command: " + line;
    }
    const std::string& verb = command->verb;
    const std::string& where = command->word;
    const int n = command->count;

    const bool serial_fault = verb == "refuse-enq" || verb == "ignore-enq" || verb == "nak-block" ||
                              verb == "corrupt" || verb == "delay" || verb == "hang-up";
    if (serial_fault) {
        if (target.serial == nullptr) {
            return "no serial port to apply " + verb + " to";
        }
        Faults faults;
        if (verb == "refuse-enq")
            faults.refuse_enq = n;
        if (verb == "ignore-enq")
            faults.ignore_enq = n;
        if (verb == "nak-block")
            faults.nak_block = n;
        if (verb == "corrupt")
            faults.corrupt_response = n;
        if (verb == "delay")
            faults.response_delay = std::chrono::milliseconds(n);
        if (verb == "hang-up") {
            faults.hang_up = where == "on-enq"      ? HangUpPoint::OnEnq
                             : where == "after-ack" ? HangUpPoint::AfterBlockAck
                                                    : HangUpPoint::MidResponse;
        }
        target.serial->set_faults(faults);
        return "serial fault armed: " + line;
    }
    if (verb == "silent") {
        target.amplifier.stay_silent(n);
        return "silent for " + std::to_string(n) + " commands";
    }
    if (verb == "drop-usb" || verb == "allow-usb") {
        if (target.usb == nullptr) {
            return "no USB socket";
        }
        const bool allow = verb == "allow-usb";
        target.usb->reconnect_allowed(allow);
        if (!allow) {
            target.usb->drop_connections();
        }
        return allow ? "USB connections accepted" : "USB connections dropped";
    }
    if (verb == "cancel") {
        target.model.cancel_logging();
        return "logging cancelled";
    }
    if (verb == "advance") {
        target.model.advance(static_cast<std::size_t>(n));
        return "ran " + std::to_string(n) + " host exchanges";
    }
    if (verb == "status") {
        return describe_status(target.model);
    }
    if (verb == "write-log") {
        return write_log(target.model, where) ? "log written to " + where
                                              : "cannot write the log to " + where;
    }
    return "unknown command: " + line;  // a verb the parser knows and nothing here serves
}

}  // namespace ampsim
