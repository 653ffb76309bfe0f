// quillon-cli report: the one output of the command line written for
// people, in their language; its messages stay English as every other's.
#include "ReportCommand.h"

#include "AtomicFile.h"
#include "Catalogue.h"
#include "CliConnection.h"
#include "LogCommands.h"
#include "LogFile.h"
#include "Messages.h"
#include "Report.h"
#include "SeriesCommand.h"
#include "Settings.h"

#include <QGuiApplication>
#include <QLocale>

#include <algorithm>
#include <array>
#include <exception>
#include <filesystem>
#include <memory>
#include <string>

namespace quillon::cli {

namespace {

// --lang's, else the language the windows are set to, else the system's.
QLocale report_locale(const Options& options)
{
    std::string language = options.lang.value_or("");
    if (language.empty()) {
        try {
            language = read_language_setting(quillon_settings_file_path());
        } catch (const std::exception&) {
            // No settings to read: the system's language.
        }
    }
    if (language == "ja") {
        return QLocale(QLocale::Japanese, QLocale::Japan);
    }
    if (language == "en") {
        return QLocale(QLocale::English, QLocale::UnitedStates);
    }
    return QLocale::system();
}

// One log named, and nothing asked that only a series answers.
bool one_log(const Invocation& call)
{
    const Options& options = call.line.options;
    std::error_code error;
    return call.line.arguments.size() == 1 &&
           !std::filesystem::is_directory(call.line.arguments.front(), error) &&
           !options.reference && options.values.empty() && !options.keep_if && !options.explain &&
           options.ignore.empty() && options.only.empty() && !options.checksums_by_value;
}

// The document written in one piece; kFileError when it cannot be.
Exit write_report(const std::string& path, const std::string& html)
{
    try {
        write_file_atomically(path, html);
    } catch (const std::exception& error) {
        show_error(error.what());
        return kFileError;
    }
    return kDone;
}

Exit log_report(const Invocation& call, const std::string& language, int context)
{
    const Options& options = call.line.options;
    const auto fields = fields_or_report(options);
    if (!fields) {
        return kUnreadableLog;
    }
    const std::string& file = call.line.arguments.front();
    const auto log = read_log_file_or_show_why(file);
    if (!log) {
        return kUnreadableLog;
    }
    LogReport report{file, &*log, fields->fields, options.fields, context, language};
    return write_report(*options.out, log_report_html(report));
}

Exit series_report(const Invocation& call, const std::string& language, int context)
{
    const Options& options = call.line.options;
    SeriesInput input;
    if (const Exit read = read_series_input(call, "report", input); read != kDone) {
        return read;
    }
    ComparedSeries compared;
    if (const Exit status = compare_series_input(input, options, "report", compared);
        status != kDone) {
        return status;
    }
    const Series& series = input.series;
    SeriesReport report;
    report.named = call.line.arguments;
    report.series = &series;
    report.fields = input.fields.fields;
    report.fields_file = options.fields;
    report.kept = compared.kept;
    report.keep_if = options.keep_if.value_or("");
    report.map = &compared.map;
    report.values = &compared.values;
    report.value_reads = input.value_reads;
    report.causes = compared.causes;
    report.context = context;
    report.language = language;
    if (const Exit written = write_report(*options.out, series_report_html(report));
        written != kDone) {
        return written;
    }
    if (!series.unreadable.empty()) {
        return kUnreadableLog;
    }
    const bool differing = std::ranges::any_of(series.captures, [](const SeriesCapture& capture) {
        return !capture.against_reference.equal();
    });
    return differing ? kNoMatch : kDone;
}

}  // namespace

Exit report_of_logs(const Invocation& call)
{
    const Options& options = call.line.options;
    if (!options.out) {
        show_error("report needs --out FILE: the report's file");
        return kUsage;
    }
    // The pictures are painted as the windows paint them, without a display;
    // Qt's remarks on what that display lacks are no output of the command.
    qputenv("QT_QPA_PLATFORM", "offscreen");
    qInstallMessageHandler([](QtMsgType, const QMessageLogContext&, const QString&) {});
    int argc = 1;
    std::string name = "quillon-cli";
    std::array<char*, 2> argv{name.data(), nullptr};
    const QGuiApplication application(argc, argv.data());
    const std::unique_ptr<QTranslator> catalogue = install_catalogue(report_locale(options));
    const std::string language = catalogue_language(catalogue.get());
    const int context = options.context.value_or(kDefaultReportContext);
    return one_log(call) ? log_report(call, language, context)
                         : series_report(call, language, context);
}

}  // namespace quillon::cli
