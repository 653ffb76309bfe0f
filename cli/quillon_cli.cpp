// quillon-cli: Quillon's amplifier engine from the command line, for test
// benches and production lines where a log is captured by a script, without
// a display. The same exchanges, messages (on standard error) and files as
// the windows.
#include "AmplifierQueries.h"
#include "AtomicFile.h"
#include "AutoSave.h"
#include "CliConnection.h"
#include "CliOptions.h"
#include "HexText.h"
#include "IntegerText.h"
#include "Interruption.h"
#include "LogText.h"
#include "Messages.h"
#include "PortsCommand.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QStandardPaths>

#include <unistd.h>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <filesystem>

namespace quillon::cli {

namespace {

Exit exit_for(AmplifierFailure failure)
{
    if (interrupted()) {
        return kInterrupted;
    }
    show_failure(failure);
    return failure == AmplifierFailure::CantTalk ? kNoAnswer : kRefused;
}

std::string hex_bytes(const std::vector<std::uint8_t>& bytes, const char* separator,
                      const char* quote)
{
    std::string text;
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        text += (i == 0 ? "" : separator) + std::string(quote) + hex_byte(bytes[i]) + quote;
    }
    return text;
}

Exit status(const AmplifierSend& send, bool wide_mode, bool json)
{
    if (!test_connection(send)) {
        return exit_for(AmplifierFailure::CantTalk);
    }
    const auto log_status = read_log_status(send);
    if (!log_status) {
        return exit_for(log_status.failure);
    }
    const auto data = read_com_data(send, wide_mode);
    if (!data) {
        return exit_for(data.failure);
    }
    const std::vector<std::uint8_t> phase{data->phase};
    if (json) {
        std::printf(
            "{\"status\": \"%s\", \"phase\": \"%s\", \"bytes\": %zu, \"rx\": [%s], "
            "\"tx\": [%s]}\n",
            log_status_text(*log_status), hex_bytes(phase, "", "").c_str(), data->received.size(),
            hex_bytes(data->received, ", ", "\"").c_str(),
            hex_bytes(data->sent, ", ", "\"").c_str());
    } else {
        std::printf("Status: %s\nPhase: %s\nRX(Cmd): %s\nTX(Rsp): %s\n",
                    log_status_text(*log_status), hex_bytes(phase, "", "").c_str(),
                    hex_bytes(data->received, " ", "").c_str(),
                    hex_bytes(data->sent, " ", "").c_str());
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
    std::printf("%s\n", log_status_text(*log_status));
    return kDone;
}

Exit start(const AmplifierSend& send, const Options& options, bool wide_mode)
{
    const LogStartBlock block = log_start_parameters(options.stop_on, wide_mode);
    if (block.range_error != nullptr) {
        show_error(block.range_error);
        return kUsage;
    }
    if (!send_log_control(send, block.params)) {
        return exit_for(AmplifierFailure::CantTalk);
    }
    return report_log_status(send);
}

Exit stop(const AmplifierSend& send)
{
    if (!send_log_control(send, log_stop_parameters())) {
        return exit_for(AmplifierFailure::CantTalk);
    }
    return report_log_status(send);
}

void show_progress(int exchanges)
{
    constexpr int kWidth = 40;
    const int filled = exchanges * kWidth / kLogCaptureExchanges;
    std::fprintf(stderr, "\r[%s%s] %2d/%d", std::string(std::size_t(filled), '#').c_str(),
                 std::string(std::size_t(kWidth - filled), '.').c_str(), exchanges,
                 kLogCaptureExchanges);
    if (exchanges == kLogCaptureExchanges) {
        std::fputc('\n', stderr);
    }
}

// The whole log as the text of a log file; nothing when the read failed (the
// exit status is then in failed).
std::optional<std::string> read_log_text(const AmplifierSend& send, bool wide_mode, Exit& failed)
{
    const bool bar = ::isatty(STDERR_FILENO) != 0;
    const std::string date_time = date_time_line(QDateTime::currentDateTime());
    const LogCapture capture = capture_log(send, [bar](int exchanges) {
        if (bar) {
            show_progress(exchanges);
        }
    });
    if (const auto failure = capture.failure()) {
        if (bar) {
            std::fputc('\n', stderr);
        }
        failed = exit_for(*failure);
        return std::nullopt;
    }
    return crlf_text(log_text_lines(date_time, capture, send_offset(wide_mode)));
}

Exit write_log(const std::string& path, const std::string& text)
{
    if (path == "-") {
        return std::fwrite(text.data(), 1, text.size(), stdout) == text.size() &&
                       std::fflush(stdout) == 0
                   ? kDone
                   : kFileError;
    }
    try {
        write_file_atomically(path, text);
        return kDone;
    } catch (const std::exception& error) {
        show_error(error.what());
        return kFileError;
    }
}

Exit save(const AmplifierSend& send, const std::string& path, bool wide_mode)
{
    // A file in a folder that is not there is refused before the read, which
    // takes ten seconds at 9600 bit/s.
    std::error_code unknown;
    if (path != "-" &&
        !std::filesystem::is_directory(std::filesystem::absolute(path).parent_path(), unknown)) {
        show_error(write_error(path, std::strerror(ENOENT)).what());
        return kFileError;
    }
    Exit failed = kDone;
    const auto text = read_log_text(send, wide_mode, failed);
    return text ? write_log(path, *text) : failed;
}

// Sleeps for a second, or less when interrupted.
void pause_a_second()
{
    timespec second{1, 0};
    ::nanosleep(&second, nullptr);
}

Exit wait(const AmplifierSend& send, const Options& options, bool wide_mode)
{
    const std::int32_t timeout = options.timeout ? integer_from_text(*options.timeout) : -1;
    if (options.timeout && timeout < 0) {
        std::fprintf(stderr, "quillon-cli: --timeout takes seconds, 0 or more\n");
        return kUsage;
    }
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(timeout);
    for (;;) {
        if (timeout >= 0 && std::chrono::steady_clock::now() >= deadline) {
            std::fprintf(stderr, "quillon-cli: no trigger within %d s\n", timeout);
            return kTimedOut;
        }
        pause_a_second();
        if (interrupted()) {
            return kInterrupted;
        }
        const auto log_status = read_log_status(send);
        if (!log_status) {
            return exit_for(log_status.failure);
        }
        if (*log_status == LogStatus::Cancelled) {
            return exit_for(AmplifierFailure::Cancelled);
        }
        if (*log_status == LogStatus::Idle) {
            break;  // logging has ended by itself: the trigger
        }
    }
    Exit failed = kDone;
    const auto text = read_log_text(send, wide_mode, failed);
    if (!text) {
        return failed;
    }
    const auto folder =
        options.out
            ? std::optional<QString>(QFile::decodeName(options.out->c_str()))
            : auto_save_folder(QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation));
    if (!folder) {
        std::fprintf(stderr, "quillon-cli: the automatic save folder cannot be made\n");
        return kFileError;
    }
    // The name takes the time after the read, as the window's automatic save.
    const QString path = *folder + "/" + auto_save_file_name(QDateTime::currentDateTime());
    const std::string file = QFile::encodeName(path).toStdString();
    const Exit written = write_log(file, *text);
    if (written == kDone) {
        std::printf("%s\n", file.c_str());
    }
    return written;
}

Exit usage_error(const std::string& why)
{
    std::fprintf(stderr, "quillon-cli: %s\n%s", why.c_str(), kUsageText);
    return kUsage;
}

// The arguments each command takes, beyond its options.
bool arguments_fit(const Options& options)
{
    const auto count = options.arguments.size();
    if (options.command == "save") {
        return count == 1;
    }
    if (options.command == "ports") {
        return count == 0 || (count == 3 && options.arguments[0] == "link");
    }
    return count == 0 && (!options.stop_on || options.command == "start") &&
           ((!options.timeout && !options.out) || options.command == "wait");
}

Exit run_with_amplifier(const Options& options)
{
    const StoredSettings settings = read_stored_settings();
    const bool wide_mode = options.wide_mode.value_or(settings.wide_mode);
    Connection connection;
    if (const Exit opened = connection.open(options, settings); opened != kDone) {
        return opened;
    }
    const AmplifierSend send = connection.sender();
    if (options.command == "status") {
        return status(send, wide_mode, options.json);
    }
    if (options.command == "start") {
        return start(send, options, wide_mode);
    }
    if (options.command == "stop") {
        return stop(send);
    }
    if (options.command == "save") {
        return save(send, options.arguments[0], wide_mode);
    }
    return wait(send, options, wide_mode);
}

Exit run(const std::vector<std::string>& args)
{
    const Parsed parsed = parse_options(args);
    if (parsed.help) {
        std::fputs(kUsageText, stdout);
        return kDone;
    }
    if (!parsed.options) {
        return usage_error(parsed.error);
    }
    const Options& options = *parsed.options;
    if (!arguments_fit(options)) {
        return usage_error("wrong arguments for " + options.command);
    }
    if (options.command == "ports") {
        return options.arguments.empty() ? list_ports()
                                         : link_port(options.arguments[1], options.arguments[2]);
    }
    try {
        return run_with_amplifier(options);
    } catch (const ConversionError& error) {
        show_error(error.what());
        return kUsage;
    }
}

}  // namespace

}  // namespace quillon::cli

int main(int argc, char** argv)
{
    using namespace quillon;
    set_message_sink([](const Message& message) {
        std::fprintf(stderr, "quillon-cli: %s\n", message.text.c_str());
    });
    cli::catch_interruption();
    return cli::run(std::vector<std::string>(argv + 1, argv + argc));
}
