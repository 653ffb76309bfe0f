// The program's five settings as one value, and the one reader and writer of
// the settings file's [Form] section, which the window and the command line
// share (the command line only reads it); and the log browser's fields file,
// kept in a section of its own.
#pragma once

#include "LogAnalysis.h"

#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace quillon {

struct Settings {
    std::string com_port = "COM1";
    std::int32_t baud_rate = 9600;
    std::int32_t usb_mode = 1;            // non-zero: USB; 0: RS-232
    std::int32_t log_save_condition = 0;  // 0 automatic, else manual
    // The log mode's item: 0 "16 byte mode", 1 "32 byte mode", -1 none
    // (which counts as 32 byte mode).
    std::int32_t log_mode = 0;

    bool usb() const { return usb_mode != 0; }
    bool wide_mode() const { return log_mode != 0; }
};

// The settings file's values; a missing file or key gives the default, and a
// log mode above 1 reads as 1, below 0 as -1.
Settings read_settings(const std::string& path);

// Writes the five keys, in the order the program always has, keeping every
// other line of the file; makes the user's configuration folder when the
// file lies there. Throws write_error() naming the file.
void write_settings(const std::string& path, const Settings& settings);

// The fields file that the log browser read last ([LogBrowser] FieldsFile),
// "" when none is remembered.
std::string read_fields_file_setting(const std::string& settings_path);
// Remembers it, keeping every other line of the file; throws as
// write_settings does.
void write_fields_file_setting(const std::string& settings_path, const std::string& fields_path);

// The main window's series of captures ([Series] Folder and Count): the
// folder its captures go to, "" for the automatic save folder, and how many
// it captures, 0 for no limit (a count below 0 reads as 0).
// The fields file its keep condition is read on ([Series] FieldsFile), ""
// for none.
struct SeriesSettings {
    std::string folder;
    std::int32_t count = 0;
    std::string fields_file;
};
SeriesSettings read_series_settings(const std::string& settings_path);
// Remembers them, keeping every other line of the file; throws as
// write_settings does.
void write_series_settings(const std::string& settings_path, const SeriesSettings& series);

// The series window's value columns chosen last ([SeriesWindow] Columns,
// a JSON array of their texts as written, "position@T-3"), in their order;
// empty when none is remembered or the entry does not read.
std::vector<std::string> read_value_columns_setting(const std::string& settings_path);
// Remembers them, keeping every other line of the file; throws as
// write_settings does.
void write_value_columns_setting(const std::string& settings_path,
                                 std::span<const std::string> columns);

// The condition a window keeps captures by, as typed last: the main
// window's series ([Series] KeepIf) or the series window's ([SeriesWindow]
// KeepIf), kept as a JSON string so that any text reads back as it was; ""
// for none.
enum class KeepIfWindow { Main, Series };
std::string read_keep_if_setting(const std::string& settings_path, KeepIfWindow window);
// Remembers it, keeping every other line of the file; throws as
// write_settings does.
void write_keep_if_setting(const std::string& settings_path, KeepIfWindow window,
                           const std::string& condition);

// The language of the windows that the user chose ([View] Language):
// "en", "ja", or "" for the system's.
std::string read_language_setting(const std::string& settings_path);
// Remembers it, keeping every other line of the file; throws as
// write_settings does.
void write_language_setting(const std::string& settings_path, const std::string& language);

// A comparison rule as a window lists it: some bits of a byte left out of
// the comparison, or the only ones in it.
struct ComparisonRule {
    bool only = false;
    MaskedByte bits;

    bool operator==(const ComparisonRule& other) const
    {
        return only == other.only && bits.direction == other.bits.direction &&
               bits.byte == other.bits.byte && bits.mask == other.bits.mask;
    }
};
// The series window's rules read last ([SeriesWindow] Rules, written
// "ignore recv 3 0xFF;only send 2 0x0F"), in their order; one that does not
// read is left out.
std::vector<ComparisonRule> read_comparison_rules_setting(const std::string& settings_path);
// Remembers them, keeping every other line of the file; throws as
// write_settings does.
void write_comparison_rules_setting(const std::string& settings_path,
                                    std::span<const ComparisonRule> rules);

}  // namespace quillon
