#include "Settings.h"

#include "IniFile.h"
#include "SettingsLocation.h"

#include <algorithm>

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

std::string read_language_setting(const std::string& settings_path)
{
    return IniFile(settings_path).read_string(kViewSection, kLanguage, "");
}

void write_language_setting(const std::string& settings_path, const std::string& language)
{
    write_own_setting(settings_path, kViewSection, kLanguage, language);
}

}  // namespace quillon
