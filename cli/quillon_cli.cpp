// quillon-cli: Quillon's amplifier engine from the command line, for test
// benches and production lines where a log is captured by a script, without
// a display. The same exchanges, messages (on standard error) and files as
// the windows.
#include "AmplifierQueries.h"
#include "AmplifierReads.h"
#include "AtomicFile.h"
#include "AutoSave.h"
#include "CaptureHooks.h"
#include "CaptureSeries.h"
#include "CliConnection.h"
#include "CommandLine.h"
#include "HexText.h"
#include "IntegerText.h"
#include "Interruption.h"
#include "JsonLine.h"
#include "LogCommands.h"
#include "LogExport.h"
#include "LogText.h"
#include "LogTimeline.h"
#include "Messages.h"
#include "NoteCommand.h"
#include "Output.h"
#include "PortsCommand.h"
#include "ReportCommand.h"
#include "SeriesLock.h"
#include "ServiceCommand.h"
#include "TriggerWatch.h"
#include "Version.h"

#include <QDateTime>
#include <QFile>
#include <QJsonArray>
#include <QStandardPaths>

#include <sys/stat.h>
#include <unistd.h>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <exception>
#include <filesystem>

namespace quillon::cli {

namespace {

// The program's messages, on standard error.
void say_message(const Message& message)
{
    std::fprintf(stderr, "quillon-cli: %s\n", message.text.c_str());
    if (!message.details.empty()) {
        std::fprintf(stderr, "quillon-cli: %s\n", message.details.c_str());
    }
}

// While a lost way in is tried again, a message the same as the one said
// last is not said again: one failure every few seconds for hours would
// bury the journal. The messages go through this filter for its lifetime.
class RepeatsSaidOnce {
public:
    RepeatsSaidOnce() : outer_(set_message_sink([this](const Message& message) { Say(message); }))
    {
    }
    ~RepeatsSaidOnce() { set_message_sink(std::move(outer_)); }
    RepeatsSaidOnce(const RepeatsSaidOnce&) = delete;
    RepeatsSaidOnce& operator=(const RepeatsSaidOnce&) = delete;

private:
    void Say(const Message& message)
    {
        std::string said = message.text + "\n" + message.details;
        if (said != said_last_ && outer_) {
            outer_(message);
        }
        said_last_ = std::move(said);
    }

    MessageSink outer_;
    std::string said_last_;
};

Exit exit_for(AmplifierFailure failure)
{
    if (interrupted()) {
        return interruption_status();
    }
    show_failure(failure);
    return failure == AmplifierFailure::CantTalk ? kNoAnswer : kRefused;
}

Exit usage_error(const std::string& why)
{
    std::fprintf(stderr, "quillon-cli: %s\nTry 'quillon-cli --help'.\n", why.c_str());
    return kUsage;
}

std::string hex_bytes(const std::vector<std::uint8_t>& bytes)
{
    std::string text;
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        text += (i == 0 ? "" : " ") + hex_byte(bytes[i]);
    }
    return text;
}

Exit status(const Invocation& call)
{
    const StatusCheck check = check_status(*call.send, call.wide_mode);
    if (check.failure) {
        return exit_for(check.failure->failure);
    }
    const auto& log_status = check.log_status;
    const auto& data = check.com_data;
    const std::string phase = hex_byte(data->phase);
    if (call.line.options.json) {
        write_output(JsonLine()
                         .add("status", log_status_text(*log_status))
                         .add("phase", QString::fromStdString(phase))
                         .add("bytes", qint64(data->received.size()))
                         .add("rx", hex_array(data->received))
                         .add("tx", hex_array(data->sent))
                         .text() +
                     "\n");
    } else {
        write_output(std::string("Status: ") + log_status_text(*log_status) + "\nPhase: " + phase +
                     "\nRX(Cmd): " + hex_bytes(data->received) +
                     "\nTX(Rsp): " + hex_bytes(data->sent) + "\n");
    }
    return kDone;
}

// The log status after START or STOP, as the window's status check shows it.
Exit report_log_status(const AmplifierSend& send)
{
    const auto log_status = read_log_status(send);
    if (!log_status) {
        return exit_for(log_status.failure);
    }
    write_output(std::string(log_status_text(*log_status)) + "\n");
    return kDone;
}

// START's block for --stop-on (or none); nothing when a value is out of
// range (said).
std::optional<LogStartBlock> start_block(const Invocation& call)
{
    const auto& condition = call.line.options.stop_on;
    if (condition) {
        if (const auto wrong = stop_byte_range_error(condition->byte, call.wide_mode)) {
            show_error(*wrong);
            return std::nullopt;
        }
    }
    LogStartBlock block = log_start_parameters(condition, call.wide_mode);
    if (block.range_error != nullptr) {
        show_error(block.range_error);
        return std::nullopt;
    }
    return block;
}

Exit start(const Invocation& call)
{
    const auto block = start_block(call);
    if (!block) {
        return kUsage;
    }
    if (!send_log_control(*call.send, block->params)) {
        return exit_for(AmplifierFailure::CantTalk);
    }
    return report_log_status(*call.send);
}

Exit stop(const Invocation& call)
{
    if (!send_log_control(*call.send, log_stop_parameters())) {
        return exit_for(AmplifierFailure::CantTalk);
    }
    return report_log_status(*call.send);
}

// A log read's progress as a bar on standard error, when that is a
// terminal. A read that fails ends the bar's line.
class ProgressBar {
public:
    void show(int exchanges)
    {
        if (!shown_) {
            return;
        }
        constexpr int kWidth = 40;
        const int filled = exchanges * kWidth / kLogCaptureExchanges;
        std::fprintf(stderr, "\r[%s%s] %2d/%d", std::string(std::size_t(filled), '#').c_str(),
                     std::string(std::size_t(kWidth - filled), '.').c_str(), exchanges,
                     kLogCaptureExchanges);
        open_ = exchanges < kLogCaptureExchanges;
        if (!open_) {
            std::fputc('\n', stderr);
        }
    }

    void close()
    {
        if (std::exchange(open_, false)) {
            std::fputc('\n', stderr);
        }
    }

private:
    bool shown_ = ::isatty(STDERR_FILENO) != 0;
    bool open_ = false;
};

// The whole log as the text of its file; nothing when the read failed (the
// exit status is then in failed).
std::optional<std::string> take_log(const AmplifierSend& send, bool wide_mode, Exit& failed)
{
    ProgressBar bar;
    const LogTextRead read =
        read_log_text(send, date_time_line(QDateTime::currentDateTime()), wide_mode,
                      [&bar](int exchanges) { bar.show(exchanges); });
    if (read.failure) {
        bar.close();
        failed = exit_for(*read.failure);
        return std::nullopt;
    }
    return crlf_text(read.lines);
}

// Why name is no folder to write into; nothing when it is one.
std::optional<std::string> folder_problem(const std::string& name)
{
    struct stat info {};
    if (::stat(name.c_str(), &info) != 0) {
        return std::strerror(errno);
    }
    if (!S_ISDIR(info.st_mode)) {
        return "it is not a folder";
    }
    if (::access(name.c_str(), W_OK | X_OK) != 0) {
        return std::strerror(errno);
    }
    return std::nullopt;
}

Exit write_log(const std::string& path, const std::string& text)
{
    if (path == "-") {
        // A failed write is reported, with its reason, when the program ends.
        return write_output(text) ? kDone : kFileError;
    }
    try {
        write_file_atomically(path, text);
        return kDone;
    } catch (const std::exception& error) {
        show_error(error.what());
        return kFileError;
    }
}

Exit save(const Invocation& call)
{
    const std::string& path = call.line.arguments[0];
    // A file in a folder that is not there is refused before the read, which
    // takes ten seconds at 9600 bit/s.
    std::error_code unknown;
    if (path != "-") {
        if (const auto wrong =
                folder_problem(std::filesystem::absolute(path, unknown).parent_path().string())) {
            show_error(write_error(path, *wrong).what());
            return kFileError;
        }
    }
    Exit failed = kDone;
    const auto log = take_log(*call.send, call.wide_mode, failed);
    return log ? write_log(path, *log) : failed;
}

// Sleeps for a second, or less when interrupted.
void pause_a_second()
{
    timespec second{1, 0};
    ::nanosleep(&second, nullptr);
}

// The folder wait saves into, checked before the first poll: a log read
// after the trigger must have a place to go. Nothing when it has none (the
// reason shown).
std::optional<QString> wait_folder(const Options& options)
{
    auto folder =
        options.out
            ? std::optional<QString>(QFile::decodeName(options.out->c_str()))
            : auto_save_folder(QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation));
    if (!folder) {
        show_error("The automatic save folder cannot be made.");
        return std::nullopt;
    }
    const std::string name = QFile::encodeName(*folder).toStdString();
    if (const auto wrong = folder_problem(name)) {
        show_error("Cannot write to the folder " + name + ": " + *wrong + ".");
        return std::nullopt;
    }
    return folder;
}

constexpr const char* kArmOne = "arm one with start --stop-on recv|send BYTE MASK VALUE COUNT.";

// Standard output of a series. A reader that has gone away, or a disk that
// is full, does not stop the capture: that is said once on standard error,
// nothing more is printed, and the logs go on being saved.
class SeriesOutput {
public:
    SeriesOutput(QString folder, bool json) : folder_(std::move(folder)), json_(json) {}

    // One line for a saved log, written at once so that a script reading
    // line by line sees each file as it comes.
    // left_out_before: with --keep-if, the captures left out since the one
    // kept before.
    void report_saved(const SavedCapture& capture, bool wide_mode,
                      std::optional<int> left_out_before)
    {
        const std::string file = QFile::encodeName(capture.path).toStdString();
        std::string line = file;
        if (json_) {
            JsonLine object;
            add_file_name(object, "file", file)
                .add("saved", capture.saved.toOffsetFromUtc(capture.saved.offsetFromUtc())
                                  .toString(Qt::ISODate))
                .add("index", capture.index);
            add_stop_condition(object, "stop_condition",
                               file_stop_condition(capture.condition, send_offset(wide_mode)));
            if (left_out_before) {
                object.add("left_out_before", *left_out_before);
            }
            line = object.text();
        }
        if (!write_output(line + "\n", true) && !told_) {
            told_ = true;
            std::fprintf(
                stderr, "quillon-cli: standard output: %s; the logs go on being saved in %s\n",
                output_failure()->reason().c_str(), QFile::encodeName(folder_).constData());
        }
    }

private:
    QString folder_;
    bool json_;
    bool told_ = false;
};

// A typed number of at least least; nothing when it is below, or too large
// for 32 bits. A text that is no number throws ConversionError.
std::optional<std::int32_t> limit_from_text(const std::string& text, std::int32_t least)
{
    try {
        const std::int32_t value = integer_from_text(text);
        return value >= least ? std::optional(value) : std::nullopt;
    } catch (const ConversionError& error) {
        if (error.too_large()) {
            return std::nullopt;
        }
        throw;
    }
}

// Over USB every program of the user reaches the amplifier through one
// socket: one series at a time holds it. False when another does (the
// reason shown).
bool lock_series(bool usb, std::optional<SeriesLock>& lock)
{
    if (!usb) {
        return true;
    }
    SeriesLock::Refusal refusal;
    lock = SeriesLock::take(refusal);
    if (!lock) {
        show_error(refusal.held
                       ? "Another series of logs is being captured over USB from this "
                         "amplifier" +
                             (refusal.holder.empty() ? std::string()
                                                     : " (process " + refusal.holder + ")") +
                             "; one series at a time."
                       : SeriesLock::path() + ": " + refusal.reason);
    }
    return lock.has_value();
}

std::optional<std::chrono::seconds> hook_time_limit(const Options& options)
{
    return options.hook_timeout ? std::optional(std::chrono::seconds(*options.hook_timeout))
                                : std::nullopt;
}

// What wait asks of a series: its options as rules.
CaptureSeriesRules series_rules(const Invocation& call, std::optional<KeepCondition> keep_if)
{
    const Options& options = call.line.options;
    CaptureSeriesRules rules;
    rules.keep_if = std::move(keep_if);
    rules.rearm = options.rearm;
    rules.count = options.count;
    rules.reconnect = options.reconnect;
    if (options.timeout) {
        rules.timeout = std::chrono::seconds(*options.timeout);
    }
    if (options.stop_on) {
        rules.start_without_condition = start_block(call)->params;
    }
    return rules;
}

// wait's series of captures, driven from the command line: the engine's
// series advanced, with a second's sleep between its polls; its captures
// printed and handed to the hooks, its news said on standard error.
class WaitSeries {
public:
    WaitSeries(const Invocation& call, const QString& folder, std::optional<KeepCondition> keep_if)
        : call_(call), options_(call.line.options), folder_(folder), keep_if_(std::move(keep_if)),
          output_(folder, options_.json), hooks_(options_.on_capture, hook_time_limit(options_)),
          deadline_(options_.timeout
                        ? std::chrono::steady_clock::now() + std::chrono::seconds(*options_.timeout)
                        : std::chrono::steady_clock::time_point::max())
    {
    }

    Exit Run()
    {
        const Exit status = call_.connected || options_.reconnect ? Drive() : kNoAnswer;
        // A capture saved but not yet started again has its command due too.
        Announce();
        hooks_.finish(deadline_);
        // A signal while the commands still due ran ends the program as one
        // during the series does.
        return interrupted() ? interruption_status() : status;
    }

private:
    Exit Drive()
    {
        CaptureSeries series(series_rules(call_, std::move(keep_if_)), Seams(),
                             call_.connected ? SeriesBegin::AsFound : SeriesBegin::WayInLost);
        for (;;) {
            const SeriesStep step = series.Advance();
            if (step.end) {
                quiet_.reset();
                progress_.close();
                return Ended(*step.end);
            }
            if (!Pause(step.wait)) {
                return interruption_status();
            }
        }
    }

    CaptureSeriesSeams Seams()
    {
        CaptureSeriesSeams seams;
        seams.send = *call_.send;
        seams.wide_mode = call_.wide_mode;
        seams.progress = [this](int exchanges) { progress_.show(exchanges); };
        seams.save = [this](const QDateTime& when, const std::string& text) {
            return save_log_automatically(folder_, when, text);
        };
        seams.reopen = call_.reopen;
        seams.tell = [this](SeriesNews news) { Tell(news); };
        seams.saved = [this](const SavedCapture& capture) { Saved(capture); };
        seams.leave_out = [](const LeftOutCapture& capture) { LeaveOut(capture); };
        return seams;
    }

    // A capture that does not meet --keep-if, moved aside: named on
    // standard error only, as standard output lists the captures kept.
    static void LeaveOut(const LeftOutCapture& capture)
    {
        const std::string file = QFile::encodeName(capture.path).toStdString();
        const LeftOutMove moved = move_left_out(capture.path);
        if (!moved.path) {
            show_error(file + " does not meet --keep-if, and stays where it was saved: " +
                       QFile::encodeName(moved.failure).toStdString());
            return;
        }
        Say(file + " does not meet --keep-if: moved to " +
            QFile::encodeName(*moved.path).toStdString() + " (" + std::to_string(capture.left_out) +
            " left out, " + std::to_string(capture.kept) + " kept)");
    }

    void Tell(SeriesNews news)
    {
        switch (news) {
        case SeriesNews::Logging:
        case SeriesNews::Cancelled:
        case SeriesNews::Reading: return;
        case SeriesNews::Rearmed: Announce(); return;
        case SeriesNews::StartedWithoutCondition: Say("the log is started under --stop-on"); return;
        case SeriesNews::NoLogStartedAgain:
            Say("the amplifier has no log; it is started again");
            return;
        case SeriesNews::StoppedBeforeTrigger:
            Say("the log was stopped before its trigger fired; it is started again");
            return;
        case SeriesNews::FiredBeforeBegin:
            show_error(
                "The trigger had fired before wait began; the log is saved before its count of "
                "records had passed.");
            return;
        case SeriesNews::CantTalk:
            progress_.close();
            if (!interrupted()) {
                show_failure(AmplifierFailure::CantTalk);
            }
            return;
        case SeriesNews::WayInLost:
            Say("the way to the amplifier is lost; it is tried again every " +
                std::to_string(kReconnectInterval.count()) + " s");
            quiet_.emplace();
            return;
        case SeriesNews::AnswersAgain:
            quiet_.reset();
            Say("the amplifier answers again");
            return;
        }
    }

    static void Say(const std::string& news)
    {
        std::fprintf(stderr, "quillon-cli: %s\n", news.c_str());
    }

    void Saved(const SavedCapture& capture)
    {
        output_.report_saved(
            capture, call_.wide_mode,
            options_.keep_if ? std::optional(capture.left_out_before) : std::nullopt);
        announced_ = CaptureFacts{QFile::encodeName(capture.path).toStdString(), capture.index,
                                  capture.fired_record,
                                  stop_condition_text(file_stop_condition(
                                      capture.condition, send_offset(call_.wide_mode)))};
    }

    Exit Ended(const SeriesEnd& end)
    {
        switch (end.cause) {
        case SeriesEndCause::Completed:
        case SeriesEndCause::TriggerFired: return kDone;
        case SeriesEndCause::NotACapture:
            show_error("The log was stopped before its trigger fired.",
                       QFile::encodeName(end.file).toStdString());
            return kRefused;
        case SeriesEndCause::NoStopCondition:
            show_error(std::string("The log has no stop condition, so no trigger can end it; ") +
                       kArmOne + " Or give wait --stop-on.");
            return kRefused;
        case SeriesEndCause::RunningWithoutCondition:
            show_error(
                std::string("The log was started without a stop condition, so no trigger can "
                            "end it; it is stopped now, and save reads it. To wait, ") +
                kArmOne);
            return kRefused;
        case SeriesEndCause::Failed: return exit_for(end.failure);
        case SeriesEndCause::NotSaved: show_error(end.why); return kFileError;
        case SeriesEndCause::TimedOut:
            std::fprintf(stderr, "quillon-cli: no trigger within %d s\n",
                         options_.timeout.value_or(0));
            return kTimedOut;
        }
        return kDone;
    }

    // The hook of the capture saved last, once its log is started again (or
    // it is the last).
    void Announce()
    {
        if (announced_) {
            hooks_.add(std::move(*announced_));
            announced_.reset();
        }
    }

    // Sleeps for wait, the hooks looked after each second; false when
    // interrupted.
    bool Pause(std::chrono::seconds wait)
    {
        for (std::chrono::seconds slept{0}; slept < wait; ++slept) {
            pause_a_second();
            hooks_.poll();
            if (interrupted()) {
                return false;
            }
        }
        return true;
    }

    const Invocation& call_;
    const Options& options_;
    QString folder_;
    std::optional<KeepCondition> keep_if_;
    SeriesOutput output_;
    CaptureHooks hooks_;
    std::chrono::steady_clock::time_point deadline_;
    ProgressBar progress_;
    // While the way in is tried again.
    std::optional<RepeatsSaidOnce> quiet_;
    // The capture saved last, until its log is started again.
    std::optional<CaptureFacts> announced_;
};

Exit wait(const Invocation& call)
{
    // A condition out of range is refused before anything is asked.
    if (call.line.options.stop_on && !start_block(call)) {
        return kUsage;
    }
    std::optional<KeepCondition> keep_if;
    if (const auto& text = call.line.options.keep_if) {
        auto fields = fields_or_report(call.line.options);
        if (!fields) {
            return kUnreadableLog;
        }
        auto condition = typed_condition("--keep-if", *text, call.line.options, *fields);
        if (!condition) {
            return kUsage;
        }
        keep_if = KeepCondition{std::move(*condition), std::move(fields->fields)};
    }
    const auto folder = wait_folder(call.line.options);
    if (!folder) {
        return kFileError;
    }
    std::optional<SeriesLock> lock;
    if (!lock_series(call.usb, lock)) {
        return kNoConnection;
    }
    ignore_broken_pipe();
    return WaitSeries(call, *folder, std::move(keep_if)).Run();
}

Exit ports(const Invocation&)
{
    return list_ports();
}

Exit ports_link(const Invocation& call)
{
    return link_port(call.line.arguments[0], call.line.arguments[1]);
}

Exit service(const Invocation& call);

std::optional<std::string> store_flag(bool Options::*flag, Options& options)
{
    options.*flag = true;
    return std::nullopt;
}

// A number of at least least, stored; the range when it is out of it.
std::optional<std::string> store_limit(std::optional<std::int32_t> Options::*slot,
                                       std::int32_t least, const char* range, Options& options,
                                       const std::string& text)
{
    options.*slot = limit_from_text(text, least);
    return options.*slot ? std::nullopt : std::optional<std::string>(range);
}

std::optional<std::string> store_text(std::optional<std::string> Options::*slot, Options& options,
                                      std::span<const std::string> values)
{
    options.*slot = values[0];
    return std::nullopt;
}

// An option given more than once: each text added in its order.
std::optional<std::string> add_text(std::vector<std::string> Options::*list, Options& options,
                                    std::span<const std::string> values)
{
    (options.*list).push_back(values[0]);
    return std::nullopt;
}

const OptionSpec kOptions[] = {
    {"--usb", "", nullptr, "over USB",
     [](Options& o, std::span<const std::string>) { return store_flag(&Options::usb, o); }},
    {"--port", "COMn", nullptr, "over RS-232, on COMn (COM1 to COM16)",
     [](Options& o, std::span<const std::string> v) -> std::optional<std::string> {
         o.port = typed_port_name(v[0]);
         if (!o.port) {
             return "--port takes COMn, COM1 to COM16, not '" + v[0] + "'";
         }
         return std::nullopt;
     }},
    {"--baud", "N", nullptr, "the baud rate with --port (default 9600 bit/s)",
     [](Options& o, std::span<const std::string> v) { return store_text(&Options::baud, o, v); }},
    {"--bytes", "16|32", nullptr,
     "how many command and response bytes (default: the settings'\nlog mode)",
     [](Options& o, std::span<const std::string> v) -> std::optional<std::string> {
         if (v[0] != "16" && v[0] != "32") {
             return "--bytes takes 16 or 32";
         }
         o.wide_mode = v[0] == "32";
         return std::nullopt;
     }},
    {"--json", "", "status wait show find diff series note",
     "one JSON object a line instead of text",
     [](Options& o, std::span<const std::string>) { return store_flag(&Options::json, o); }},
    {"--stop-on", "recv|send BYTE MASK VALUE COUNT", "start wait",
     "the stop condition: BYTE 0-15 (0-31 with --bytes 32) of the\n"
     "command (recv) or response (send), MASK and VALUE 0-255,\n"
     "COUNT records more (0-255; 0-127 with --bytes 32); wait starts\n"
     "the log under it when the log has no condition (never started,\n"
     "or the amplifier restarted)",
     [](Options& o, std::span<const std::string> v) -> std::optional<std::string> {
         const auto direction = direction_of_key(v[0]);
         if (!direction) {
             return "--stop-on takes recv|send BYTE MASK VALUE COUNT";
         }
         o.stop_on = StopConditionEntry{*direction == Direction::Send, v[1], v[2], v[3], v[4]};
         return std::nullopt;
     }},
    {"--timeout", "SECONDS", "wait", "gives up after SECONDS without a trigger",
     [](Options& o, std::span<const std::string> v) {
         return store_limit(&Options::timeout, 0, "--timeout takes seconds, 0 to 2147483647", o,
                            v[0]);
     }},
    {"--out", "DIR", "wait", "the folder of the saved log (default: the automatic save\nfolder)",
     [](Options& o, std::span<const std::string> v) { return store_text(&Options::out, o, v); }},
    {"--out", "FILE", "report", "the report's file, HTML (required)",
     [](Options& o, std::span<const std::string> v) { return store_text(&Options::out, o, v); }},
    {"--context", "K", "report",
     "the records shown before and after each fired record (default 5,\n"
     "at most 255)",
     [](Options& o, std::span<const std::string> v) {
         auto range =
             store_limit(&Options::context, 0, "--context takes 0 to 255 records", o, v[0]);
         return range || *o.context <= kLogRecords - 1
                    ? range
                    : std::optional<std::string>("--context takes 0 to 255 records");
     }},
    {"--lang", "en|ja", "report",
     "the report's language (default: the windows', from quillon's\n"
     "settings or the system's locale)",
     [](Options& o, std::span<const std::string> v) -> std::optional<std::string> {
         if (v[0] != "en" && v[0] != "ja") {
             return "--lang takes en or ja";
         }
         o.lang = v[0];
         return std::nullopt;
     }},
    {"--rearm", "", "wait",
     "after each saved log, starts the log again under the same stop\n"
     "condition and waits for the next trigger: a series of logs",
     [](Options& o, std::span<const std::string>) { return store_flag(&Options::rearm, o); }},
    {"--count", "K", "wait", "with --rearm: ends after K logs, the amplifier left idle",
     [](Options& o, std::span<const std::string> v) {
         return store_limit(&Options::count, 1, "--count takes a number of logs, 1 to 2147483647",
                            o, v[0]);
     }},
    {"--reconnect", "", "wait",
     "when the way to the amplifier is lost (the device gone, the\n"
     "amplifier silent or restarted), tries it again every 5 s and goes\n"
     "on: a running log is watched on, a stopped one saved when its\n"
     "trigger fired, else started again",
     [](Options& o, std::span<const std::string>) { return store_flag(&Options::reconnect, o); }},
    {"--on-capture", "CMD", "wait",
     "after each saved capture (and its re-arm), runs CMD through\n"
     "/bin/sh -c with QUILLON_FILE, QUILLON_INDEX, QUILLON_FIRED_RECORD\n"
     "and QUILLON_STOP_CONDITION set, its output on standard error;\n"
     "one at a time, without holding up the watch; a failure is\n"
     "reported and ends nothing",
     [](Options& o, std::span<const std::string> v) {
         return store_text(&Options::on_capture, o, v);
     }},
    {"--hook-timeout", "SECONDS", "wait",
     "bounds each command of --on-capture: one that runs longer is\n"
     "ended (its process group sent SIGTERM, SIGKILL 5 s later) and\n"
     "said; without it a command runs unbounded while the series runs.\n"
     "When the series ends, the commands still due get SECONDS each (60\n"
     "without it), never past --timeout; a signal ends the one that runs\n"
     "and names those that will not",
     [](Options& o, std::span<const std::string> v) {
         return store_limit(&Options::hook_timeout, 1,
                            "--hook-timeout takes seconds, 1 to 2147483647", o, v[0]);
     }},
    {"--csv", "", "show series",
     "the records (show) or the captures (series) as CSV (RFC 4180), one\n"
     "row each",
     [](Options& o, std::span<const std::string>) { return store_flag(&Options::csv, o); }},
    {"--decode", "", "show",
     "each record's two blocks read: length, address and command or\n"
     "header, checksum (ok, bad, or cut when the block is longer than\n"
     "the 16 bytes kept), the command's name where it is Quillon's",
     [](Options& o, std::span<const std::string>) { return store_flag(&Options::decode, o); }},
    {"--count", "", "find", "one line FILE:COUNT for each file",
     [](Options& o, std::span<const std::string>) {
         return store_flag(&Options::count_records, o);
     }},
    {"--fired", "", "find",
     "each file's record that fired its trigger; with a condition,\n"
     "only when that record meets it",
     [](Options& o, std::span<const std::string>) { return store_flag(&Options::fired, o); }},
    {"--ignore", "recv|send BYTE MASK", "diff series report",
     "leaves the bits of MASK of that byte out of the comparison; may\n"
     "be given more than once",
     [](Options& o, std::span<const std::string> v) -> std::optional<std::string> {
         o.ignore.push_back({v[0], v[1], v[2]});
         return std::nullopt;
     }},
    {"--only", "recv|send BYTE [MASK]", "diff series report",
     "compares only the bits of MASK (default 0xFF) of that byte, then\n"
     "less those of --ignore; may be given more than once",
     [](Options& o, std::span<const std::string> v) -> std::optional<std::string> {
         o.only.push_back({v[0], v[1], v.size() > 2 ? v[2] : "0xFF"});
         return std::nullopt;
     }},
    {"--by-number", "", "diff",
     "pairs record 0 with record 0 and so on, also when both logs have\n"
     "a fired record",
     [](Options& o, std::span<const std::string>) { return store_flag(&Options::by_number, o); }},
    {"--checksums-by-value", "", "diff series report",
     "compares each block's checksum byte by its value, as any other\n"
     "byte; without it, by whether it holds (ok, bad or cut), so that a\n"
     "checksum that holds adds no difference to its block's data",
     [](Options& o, std::span<const std::string>) {
         return store_flag(&Options::checksums_by_value, o);
     }},
    {"--fields", "FILE", "show find diff series wait report",
     "the fields that FILE (JSON) describes, each record's values shown\n"
     "after its bytes (a column each in CSV, \"fields\" in JSON); diff\n"
     "and series leave the bits of a field marked \"compare\": false out\n"
     "of the comparison, as --ignore would; conditions name them",
     [](Options& o, std::span<const std::string> v) { return store_text(&Options::fields, o, v); }},
    {"--reference", "FILE", "series report",
     "the capture that the others are held against (default: the first\n"
     "captured)",
     [](Options& o, std::span<const std::string> v) {
         return store_text(&Options::reference, o, v);
     }},
    {"--map", "", "series",
     "the variation map: for each offset from the fired record (rows)\n"
     "and byte position (columns), how many captures differ there from\n"
     "the reference",
     [](Options& o, std::span<const std::string>) { return store_flag(&Options::map, o); }},
    {"--value", "OPERAND@PLACE", "series report",
     "a column of each capture's value there: OPERAND a field of\n"
     "--fields by its name, or recv[N] or send[N] for a byte (N 0-15);\n"
     "PLACE T0 for the fired record, T-K or T+K for K records before\n"
     "or after it (\"position@T-3\", \"send[3]@T0\"); may be given more\n"
     "than once",
     [](Options& o, std::span<const std::string> v) { return add_text(&Options::values, o, v); }},
    {"--where", "COND", "find",
     "only records where the condition COND holds: fields of --fields\n"
     "by name, recv[N] & MASK, recv.command, send.checksum, written,\n"
     "offset, compared (= != < <= > >=, in LOW..HIGH) with numbers or\n"
     "\"value names\", at places (@-3 from the record, @T-3 from the\n"
     "fired one), any/all/count(...) @FIRST..LAST, not, and, or,\n"
     "A then B within K; NAME OP VALUE as before (\"alarm = encoder\n"
     "error\"); may be given more than once, all must hold",
     [](Options& o, std::span<const std::string> v) { return add_text(&Options::where, o, v); }},
    {"--explain", "", "series report",
     "the likely causes: what held before the trigger in most captures\n"
     "and seldom before the same command otherwise, ranked, each a\n"
     "condition for --keep-if",
     [](Options& o, std::span<const std::string>) { return store_flag(&Options::explain, o); }},
    {"--window", "W", "series report",
     "with --explain: the records before the trigger looked at\n"
     "(default 16, at most 255)",
     [](Options& o, std::span<const std::string> v) {
         auto range = store_limit(&Options::window, 1, "--window takes 1 to 255 records", o, v[0]);
         return range || *o.window <= kLogRecords - 1
                    ? range
                    : std::optional<std::string>("--window takes 1 to 255 records");
     }},
    {"--baseline", "FILE|DIR", "series report",
     "with --explain: logs saved while nothing was wrong, whose records\n"
     "make the baseline instead of the captures' own; may be given\n"
     "more than once",
     [](Options& o, std::span<const std::string> v) { return add_text(&Options::baseline, o, v); }},
    {"--keep-if", "COND", "series wait report",
     "only the captures where COND (as --where) holds at the fired\n"
     "record; series lists the others as left out, wait moves them into\n"
     "OUT/left-out/ (not counted, no hook) and starts the log again",
     [](Options& o, std::span<const std::string> v) {
         return store_text(&Options::keep_if, o, v);
     }},
    {"--sqlite", "FILE", "series",
     "writes the series to FILE, an SQLite database (tables captures,\n"
     "records, field_values, notes), in place of the table; FILE is\n"
     "replaced whole or not at all; --keep-if sets each capture's kept,\n"
     "--reference its reference",
     [](Options& o, std::span<const std::string> v) { return store_text(&Options::sqlite, o, v); }},
    {"--record", "N", "note",
     "the record the note is on (0-255, one the log wrote); without it\n"
     "the note is on the log",
     [](Options& o, std::span<const std::string> v) {
         auto range = store_limit(&Options::record, 0, "--record takes 0 to 255", o, v[0]);
         return range || *o.record < kLogRecords
                    ? range
                    : std::optional<std::string>("--record takes 0 to 255");
     }},
    {"--tag", "TAG", "note find",
     "note: a tag of the note (one word, a leading # left out); find:\n"
     "the notes with the tag (any case); may be given more than once",
     [](Options& o, std::span<const std::string> v) -> std::optional<std::string> {
         if (!tag_as_kept(v[0])) {
             return "--tag takes one word, without blanks or another '#', not '" +
                    with_control_characters_escaped(v[0]) + "'";
         }
         return add_text(&Options::tags, o, v);
     }},
    {"--list", "", "note",
     "the log's notes, one a line: ID, the record or \"log\", the tags\n"
     "and the text, between tabs",
     [](Options& o, std::span<const std::string>) { return store_flag(&Options::list_notes, o); }},
    {"--remove", "ID", "note", "removes the note ID (exit status 8 when there is none)",
     [](Options& o, std::span<const std::string> v) {
         return store_text(&Options::remove_note, o, v);
     }},
    {"--note", "WORD", "find",
     "the notes whose text holds WORD (any case), one line\n"
     "FILE:RECORD: TEXT each (FILE: TEXT for a log's own note); with\n"
     "--tag, notes with both",
     [](Options& o, std::span<const std::string> v) {
         return store_text(&Options::note_word, o, v);
     }},
    {"--check", "", "service",
     "reads and checks the settings and prints the command line they\n"
     "make; runs nothing",
     [](Options& o, std::span<const std::string>) { return store_flag(&Options::check, o); }},
};

const CommandSpec kCommands[] = {
    {"status", "",
     "the log status (IDLE, Logging, Cancel), the phase and the last\n"
     "command (RX) and response (TX) bytes",
     true, status},
    {"start", "", "starts logging, with a stop condition or without", true, start},
    {"stop", "", "stops logging", true, stop},
    {"save", "FILE", "writes the whole log to FILE (- for standard output)", true, save},
    {"wait", "",
     "polls the log status once a second; when the trigger has fired,\n"
     "saves the log as Autolog_yyyymmddhhnnss.txt (_2, _3, ... when\n"
     "that name is taken) and prints the file's path; --timeout bounds\n"
     "the whole run",
     true, wait},
    {"ports", "", "COM1..COM16 and the devices they lead to, then this machine's\nserial devices",
     false, ports},
    {"ports link", "COMn DEVICE", "maps COMn to DEVICE (a terminal device)", false, ports_link},
    {"show", "FILE",
     "a saved log (either of Quillon's formats): its date and time, stop\n"
     "condition and 256 records, the record that fired the trigger\n"
     "marked > and the others that meet the stop condition *, each\n"
     "record's offset from the fired one (T-3, T0, T+5), those never\n"
     "written said to be so, and where the trigger fired",
     false, show_log},
    {"find", "[recv|send BYTE MASK VALUE] FILE...",
     "the records whose received (recv) or sent (send) byte BYTE (0-15)\n"
     "AND MASK equals VALUE, one line FILE:RECORD: each (records never\n"
     "written meet nothing); the condition may be left out with --fired\n"
     "or --where; with --note or --tag, the notes of the files (and of\n"
     "a folder's .txt files) instead; exit status 8 when none is found",
     false, find_in_logs},
    {"diff", "A B",
     "compares two saved logs record by record, lined up at their fired\n"
     "records when both have one (at the same offset, T-3, T0, T+5),\n"
     "else by record number: how many records differ and at which\n"
     "bytes, how many are only in A or only in B (written in one, outside\n"
     "the other's range or never written there: no difference), then\n"
     "each differing pair, the differing bytes marked ^^; exit status 8\n"
     "when they differ",
     false, diff_logs},
    {"series", "FILE|DIR...",
     "a series of captures (a folder's .txt files, or the files named)\n"
     "in the order they were captured, each against the reference,\n"
     "lined up at their fired records: one row a capture (time, fired\n"
     "record, its command byte, records that meet the stop condition,\n"
     "records differing and where), then the offsets and byte positions\n"
     "that vary; exit status 8 when a capture differs from the\n"
     "reference, 7 when a file could not be read",
     false, series_of_logs},
    {"report", "FILE|DIR...",
     "a report in one HTML file (--out) for people, offline and printable\n"
     "on A4, in the language of the windows (--lang): of a series, the\n"
     "reference and rules, the captures with --value's values, the\n"
     "variation map and plots as pictures, the likely causes (--explain),\n"
     "each fired record with the records around it, differences marked,\n"
     "and every note; of one log, its header, summary, the records around\n"
     "the fired record and its notes. Exit status as series; 5 when the\n"
     "file cannot be written",
     false, report_of_logs},
    {"note", "FILE [TEXT]",
     "adds a note on the log FILE (or with --record on one of its\n"
     "records) and prints its id; with --list its notes, with --remove\n"
     "one less; kept beside the log in FILE.notes.json, the log never\n"
     "changed; a notes file that does not read is never written over\n"
     "(exit status 7)",
     false, note_on_log},
    {"service", "NAME",
     "runs the capture series that the user service quillon-capture@NAME\n"
     "runs: wait --rearm --reconnect with the settings of\n"
     "$XDG_CONFIG_HOME/quillon/capture/NAME.conf (WAY, STOP_ON, OUT,\n"
     "ON_CAPTURE, KEEP_IF, OPTIONS), each checked for its kind; a fault\n"
     "names the file and line (status 1)",
     false, service},
};

constexpr const char* kExitStatusText =
    "\nExit status: 0 done; 1 bad usage or a value out of range; 2 no connection\n"
    "(library missing, port or USB device not opened, another wait holding the\n"
    "USB amplifier); 3 the amplifier did not answer; 4 the amplifier refused (no\n"
    "log function, now logging, cancelled, no stop condition to wait for, a log\n"
    "stopped before its trigger fired); 5 the file or standard output could not\n"
    "be written; 6 wait timed out; 7 a log file or its notes could not be read;\n"
    "8 find found no record or note, diff found the logs different, or note\n"
    "--remove no note of that ID; 130 interrupted (Ctrl-C), 143 ended by\n"
    "SIGTERM, 129 by SIGHUP.\n";

Exit run_with_amplifier(const CommandLine& line)
{
    const Settings settings = read_stored_settings();
    Connection connection;
    const Exit opened = connection.open(line.options, settings);
    // A series that is to outlive a lost way in also waits for one that is
    // not there yet.
    const bool try_again =
        opened == kNoConnection && line.options.reconnect && connection.can_reopen();
    if (opened != kDone && !try_again) {
        return opened;
    }
    const AmplifierSend send = connection.sender();
    const Invocation call{line,
                          &send,
                          line.options.wide_mode.value_or(settings.wide_mode()),
                          connection.usb_mode(),
                          [&connection] { return connection.reopen(); },
                          opened == kDone};
    return line.command->handler(call);
}

// The status once standard output is flushed and closed: a failure there
// makes a success a failure to write (a series, whose reader may go away,
// has said so already).
Exit with_output_finished(Exit status)
{
    const auto failure = finish_output();
    if (!failure || failure->reader_left()) {
        return status;
    }
    std::fprintf(stderr, "quillon-cli: Cannot write to standard output: %s.\n",
                 failure->reason().c_str());
    return status == kDone || status == kNoMatch ? kFileError : status;
}

Exit run(const std::vector<std::string>& args)
{
    const ParsedCommandLine parsed = parse_command_line(kOptions, kCommands, args);
    if (parsed.help) {
        write_output(help_text(kOptions, kCommands) + kExitStatusText);
        return kDone;
    }
    if (parsed.version) {
        write_output(std::string("quillon-cli (Quillon) ") + kVersion + "\n");
        return kDone;
    }
    if (!parsed.line) {
        return usage_error(parsed.error);
    }
    const CommandLine& line = *parsed.line;
    try {
        return line.command->talks_to_amplifier ? run_with_amplifier(line)
                                                : line.command->handler(Invocation{line});
    } catch (const ConversionError& error) {
        show_error(error.what());
        return kUsage;
    }
}

// The series of a user service's settings, through the same parser and
// handler as the command line it makes.
Exit service(const Invocation& call)
{
    const auto args = service_arguments(call.line.arguments[0], kOptions, kCommands);
    if (!args) {
        return kUsage;
    }
    if (call.line.options.check) {
        write_output("quillon-cli " + shell_line(*args) + "\n");
        return kDone;
    }
    return run(*args);
}

}  // namespace

}  // namespace quillon::cli

int main(int argc, char** argv)
{
    using namespace quillon;
    set_message_sink(cli::say_message);
    cli::catch_interruption();
    // Whatever goes wrong ends with a message, never with an abort.
    cli::Exit status = cli::kUsage;
    try {
        status = cli::run(std::vector<std::string>(argv + 1, argv + argc));
    } catch (const std::exception& error) {
        std::fprintf(stderr, "quillon-cli: %s\n", error.what());
    } catch (...) {
        std::fprintf(stderr, "quillon-cli: an unexpected error\n");
    }
    return cli::with_output_finished(status);
}
