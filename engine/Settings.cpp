#include "Settings.h"

#include "IniFile.h"
#include "SettingsLocation.h"

#include <QJsonArray>
#include <QJsonDocument>

#include <algorithm>
#include <sstream>
#include <string_view>

namespace quillon {

namespace {

constexpr const char* kSection = "Form";
constexpr const char* kComPort = "ComPort";
constexpr const char* kBaudRate = "BaudRate";
constexpr const char* kUsbMode = "USB MODE";
constexpr const char* kAutoSave = "AUTO SAVE";
constexpr const char* kTypeSelect = "TYPE SELECT";

constexpr const char* kBrowserSection = "LogBrowser";
constexpr const char* kFieldsFile = "FieldsFile";
constexpr const char* kViewSection = "View";
constexpr const char* kLanguage = "Language";
constexpr const char* kSeriesSection = "Series";
constexpr const char* kSeriesFolder = "Folder";
constexpr const char* kSeriesCount = "Count";
constexpr const char* kSeriesFieldsFile = "FieldsFile";
constexpr const char* kKeepIf = "KeepIf";

}  // namespace

Settings read_settings(const std::string& path)
{
    const IniFile file(path);
    const Settings defaults;
    Settings settings;
    settings.com_port = file.read_string(kSection, kComPort, defaults.com_port);
    settings.baud_rate = file.read_integer(kSection, kBaudRate, defaults.baud_rate);
    settings.usb_mode = file.read_integer(kSection, kUsbMode, defaults.usb_mode);
    settings.log_save_condition =
        file.read_integer(kSection, kAutoSave, defaults.log_save_condition);
    const std::int32_t mode = file.read_integer(kSection, kTypeSelect, defaults.log_mode);
    settings.log_mode = mode < 0 ? -1 : std::min(mode, 1);
    return settings;
}

void write_settings(const std::string& path, const Settings& settings)
{
    make_settings_folder(path);
    IniFile file(path);
    file.write_integer(kSection, kBaudRate, settings.baud_rate);
    file.write_string(kSection, kComPort, settings.com_port);
    file.write_integer(kSection, kUsbMode, settings.usb_mode);
    file.write_integer(kSection, kAutoSave, settings.log_save_condition);
    file.write_integer(kSection, kTypeSelect, settings.log_mode);
    file.save();
}

namespace {

// One key of the program's own beyond [Form], written alone.
void write_own_setting(const std::string& settings_path, const char* section, const char* key,
                       const std::string& value)
{
    make_settings_folder(settings_path);
    IniFile file(settings_path);
    file.write_string(section, key, value);
    file.save();
}

}  // namespace

std::string read_fields_file_setting(const std::string& settings_path)
{
    return IniFile(settings_path).read_string(kBrowserSection, kFieldsFile, "");
}

void write_fields_file_setting(const std::string& settings_path, const std::string& fields_path)
{
    write_own_setting(settings_path, kBrowserSection, kFieldsFile, fields_path);
}

SeriesSettings read_series_settings(const std::string& settings_path)
{
    const IniFile file(settings_path);
    return {file.read_string(kSeriesSection, kSeriesFolder, ""),
            std::max(file.read_integer(kSeriesSection, kSeriesCount, 0), 0),
            file.read_string(kSeriesSection, kSeriesFieldsFile, "")};
}

void write_series_settings(const std::string& settings_path, const SeriesSettings& series)
{
    make_settings_folder(settings_path);
    IniFile file(settings_path);
    file.write_string(kSeriesSection, kSeriesFolder, series.folder);
    file.write_string(kSeriesSection, kSeriesCount, std::to_string(series.count));
    file.write_string(kSeriesSection, kSeriesFieldsFile, series.fields_file);
    file.save();
}

std::string read_language_setting(const std::string& settings_path)
{
    return IniFile(settings_path).read_string(kViewSection, kLanguage, "");
}

void write_language_setting(const std::string& settings_path, const std::string& language)
{
    write_own_setting(settings_path, kViewSection, kLanguage, language);
}

namespace {

constexpr const char* kSeriesWindowSection = "SeriesWindow";
constexpr const char* kRules = "Rules";
constexpr const char* kColumns = "Columns";

}  // namespace

std::vector<ComparisonRule> read_comparison_rules_setting(const std::string& settings_path)
{
    std::vector<ComparisonRule> rules;
    std::istringstream listed(IniFile(settings_path).read_string(kSeriesWindowSection, kRules, ""));
    for (std::string entry; std::getline(listed, entry, ';');) {
        std::istringstream words(entry);
        std::string kind;
        std::string direction;
        std::string byte;
        std::string mask;
        std::string more;
        if (!(words >> kind >> direction >> byte >> mask) || (words >> more) ||
            (kind != "ignore" && kind != "only") || (direction != "recv" && direction != "send")) {
            continue;
        }
        try {
            const auto typed = ignore_rule_from_text(
                direction == "send" ? Direction::Send : Direction::Recv, byte, mask);
            if (typed.rule) {
                rules.push_back({kind == "only", *typed.rule});
            }
        } catch (const std::exception&) {
            // A number that does not read: the rule is left out.
        }
    }
    return rules;
}

void write_comparison_rules_setting(const std::string& settings_path,
                                    std::span<const ComparisonRule> rules)
{
    std::string listed;
    for (const ComparisonRule& rule : rules) {
        constexpr std::string_view kDigits = "0123456789ABCDEF";
        const std::string mask{'0', 'x', kDigits[rule.bits.mask >> 4U],
                               kDigits[rule.bits.mask & 0xFU]};
        listed += (listed.empty() ? "" : ";") + std::string(rule.only ? "only " : "ignore ") +
                  (rule.bits.direction == Direction::Send ? "send " : "recv ") +
                  std::to_string(rule.bits.byte) + " " + mask;
    }
    write_own_setting(settings_path, kSeriesWindowSection, kRules, listed);
}

std::string read_keep_if_setting(const std::string& settings_path, KeepIfWindow window)
{
    const std::string written =
        IniFile(settings_path)
            .read_string(window == KeepIfWindow::Main ? kSeriesSection : kSeriesWindowSection,
                         kKeepIf, "");
    const QJsonArray held =
        QJsonDocument::fromJson(QByteArray::fromStdString("[\"" + written + "\"]")).array();
    return held.size() == 1 && held[0].isString() ? held[0].toString().toStdString() : "";
}

void write_keep_if_setting(const std::string& settings_path, KeepIfWindow window,
                           const std::string& condition)
{
    const QByteArray held =
        QJsonDocument(QJsonArray{QString::fromStdString(condition)}).toJson(QJsonDocument::Compact);
    // The string's escaped text alone, without the brackets and quotes
    // (a value in quotes would read without them), a blank at either end
    // escaped too (the file's reader trims them).
    std::string escaped = held.mid(2, held.size() - 4).toStdString();
    if (escaped.ends_with(' ')) {
        escaped.replace(escaped.size() - 1, 1, "\\u0020");
    }
    if (escaped.starts_with(' ')) {
        escaped.replace(0, 1, "\\u0020");
    }
    write_own_setting(settings_path,
                      window == KeepIfWindow::Main ? kSeriesSection : kSeriesWindowSection, kKeepIf,
                      escaped);
}

std::vector<std::string> read_value_columns_setting(const std::string& settings_path)
{
    const std::string listed =
        IniFile(settings_path).read_string(kSeriesWindowSection, kColumns, "");
    std::vector<std::string> columns;
    for (const auto& column : QJsonDocument::fromJson(QByteArray::fromStdString(listed)).array()) {
        if (column.isString()) {
            columns.push_back(column.toString().toStdString());
        }
    }
    return columns;
}

void write_value_columns_setting(const std::string& settings_path,
                                 std::span<const std::string> columns)
{
    QJsonArray listed;
    for (const std::string& column : columns) {
        listed.append(QString::fromStdString(column));
    }
    write_own_setting(settings_path, kSeriesWindowSection, kColumns,
                      QJsonDocument(listed).toJson(QJsonDocument::Compact).toStdString());
}

}  // namespace quillon
