#include "ServiceCommand.h"

#include "IntegerText.h"
#include "LogFile.h"
#include "PortPath.h"
#include "SmallFile.h"

#include <sys/stat.h>
#include <algorithm>
#include <array>
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <sstream>

namespace quillon::cli {

namespace {

// The settings, in the order their arguments take.
enum Setting : std::size_t { kWay, kStopOn, kOut, kOnCapture, kKeepIf, kMoreOptions, kSettings };
constexpr std::array<const char*, kSettings> kNames{"WAY",        "STOP_ON", "OUT",
                                                    "ON_CAPTURE", "KEEP_IF", "OPTIONS"};

// The options of the way in, which only WAY gives.
constexpr std::array<std::string_view, 3> kWayOptions{"--usb", "--port", "--baud"};

constexpr std::size_t kLargestSettings = std::size_t{64} * 1024;

struct Value {
    std::string text;
    int line = 0;
};

// Thrown with a line's fault; caught once, where the file is named.
struct Fault {
    std::string why;
    int line;
};

std::string_view trimmed(std::string_view text)
{
    const auto first = text.find_first_not_of(" \t");
    if (first == std::string_view::npos) {
        return {};
    }
    return text.substr(first, text.find_last_not_of(" \t") - first + 1);
}

std::vector<std::string> words_of(const std::string& text)
{
    std::vector<std::string> words;
    std::istringstream in(text);
    for (std::string word; in >> word;) {
        words.push_back(word);
    }
    return words;
}

// A value as written, less the quotes around it: inside single quotes every
// character is itself, inside double quotes \" and \\ are " and \.
std::string unquoted(std::string_view value, const std::string& name, int line)
{
    if (value.empty() || (value.front() != '\'' && value.front() != '"')) {
        return std::string(value);
    }
    const char quote = value.front();
    std::string text;
    for (std::size_t at = 1; at < value.size(); ++at) {
        const char c = value[at];
        if (c == quote) {
            if (at + 1 != value.size()) {
                throw Fault{name + ": text after the closing quote", line};
            }
            return text;
        }
        if (quote == '"' && c == '\\' && at + 1 < value.size() &&
            (value[at + 1] == '"' || value[at + 1] == '\\')) {
            ++at;
        }
        text += value[at];
    }
    throw Fault{name + ": no closing " + quote, line};
}

// Each setting's value, by its line; an unknown name, or one given twice,
// is a fault.
std::array<std::optional<Value>, kSettings> read_values(std::string_view text)
{
    std::array<std::optional<Value>, kSettings> values;
    int line = 0;
    for (std::size_t at = 0; at < text.size();) {
        const std::size_t end = std::min(text.find('\n', at), text.size());
        std::string_view content = text.substr(at, end - at);
        at = end + 1;
        ++line;
        if (content.ends_with('\r')) {
            content.remove_suffix(1);
        }
        content = trimmed(content);
        if (content.empty() || content.front() == '#' || content.front() == ';') {
            continue;
        }
        const std::size_t equals = content.find('=');
        const std::string name(trimmed(content.substr(0, std::min(equals, content.size()))));
        if (equals == std::string_view::npos || name.empty()) {
            throw Fault{"not NAME=VALUE", line};
        }
        const auto known = std::find(kNames.begin(), kNames.end(), name);
        if (known == kNames.end()) {
            throw Fault{
                "unknown setting " + name + " (WAY, STOP_ON, OUT, ON_CAPTURE, KEEP_IF or OPTIONS)",
                line};
        }
        auto& slot = values[std::size_t(known - kNames.begin())];
        if (slot) {
            throw Fault{name + " is set twice, first on line " + std::to_string(slot->line), line};
        }
        slot = Value{unquoted(trimmed(content.substr(equals + 1)), name, line), line};
    }
    return values;
}

bool is_port(std::string word)
{
    std::transform(word.begin(), word.end(), word.begin(),
                   [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
    return tarnlink::port_number_of(word).has_value();
}

bool is_decimal(const std::string& word)
{
    return !word.empty() && std::all_of(word.begin(), word.end(),
                                        [](unsigned char c) { return std::isdigit(c) != 0; });
}

std::vector<std::string> way_args(const Value& way)
{
    auto words = words_of(way.text);
    const bool usb = words == std::vector<std::string>{"--usb"};
    const bool port = (words.size() == 2 || words.size() == 4) && words[0] == "--port" &&
                      is_port(words[1]) &&
                      (words.size() == 2 || (words[2] == "--baud" && is_decimal(words[3])));
    if (!usb && !port) {
        throw Fault{"WAY is --usb, or --port COMn (COM1 to COM16) with or without --baud N",
                    way.line};
    }
    return words;
}

std::vector<std::string> stop_on_args(const Value& stop_on)
{
    auto words = words_of(stop_on.text);
    if (words.size() != 5 || !direction_of_key(words[0])) {
        throw Fault{"STOP_ON is recv|send BYTE MASK VALUE COUNT", stop_on.line};
    }
    for (std::size_t i = 1; i < words.size(); ++i) {
        try {
            integer_from_text(words[i]);
        } catch (const ConversionError& error) {
            throw Fault{std::string("STOP_ON: ") + error.what(), stop_on.line};
        }
    }
    words.insert(words.begin(), "--stop-on");
    return words;
}

std::vector<std::string> out_args(const Value& out, const std::string& home)
{
    std::string folder = out.text;
    if (folder == "~" || folder.starts_with("~/")) {
        if (home.empty()) {
            throw Fault{"OUT begins with ~, but HOME is not set", out.line};
        }
        folder.replace(0, 1, home);
    }
    if (!folder.starts_with('/')) {
        throw Fault{"OUT is a folder's whole path, /... or ~/...: not " + out.text, out.line};
    }
    struct stat info {};
    if (::stat(folder.c_str(), &info) != 0) {
        throw Fault{"OUT: " + folder + ": " + std::strerror(errno), out.line};
    }
    if (!S_ISDIR(info.st_mode)) {
        throw Fault{"OUT: " + folder + ": it is not a folder", out.line};
    }
    return {"--out", folder};
}

std::vector<std::string> more_options(const Value& options, std::span<const OptionSpec> table)
{
    auto words = words_of(options.text);
    for (const std::string& word : words) {
        if (word.find_first_of("'\"") != std::string::npos) {
            throw Fault{"OPTIONS takes each word as it is, without quotes: " + word +
                            " (a command goes in ON_CAPTURE)",
                        options.line};
        }
        if (!word.starts_with('-')) {
            continue;
        }
        const bool known = std::any_of(table.begin(), table.end(),
                                       [&word](const OptionSpec& o) { return word == o.name; });
        if (!known) {
            throw Fault{"OPTIONS: unknown option " + word, options.line};
        }
        if (std::find(kWayOptions.begin(), kWayOptions.end(), word) != kWayOptions.end()) {
            throw Fault{"OPTIONS: " + word + " belongs in WAY", options.line};
        }
    }
    return words;
}

using SettingArgs = std::array<std::vector<std::string>, kSettings>;

// The command line of the settings' arguments: the way in before the
// command, the others after it.
std::vector<std::string> command_line(const SettingArgs& args)
{
    std::vector<std::string> line = args[kWay];
    line.insert(line.end(), {"wait", "--rearm", "--reconnect"});
    for (std::size_t setting = kStopOn; setting < kSettings; ++setting) {
        line.insert(line.end(), args[setting].begin(), args[setting].end());
    }
    return line;
}

// The command line so far read by quillon-cli's own parser: whatever it
// refuses (an option of another command, a value out of range, an option
// without the one it goes with) is a fault of the setting added last, as
// the line before it was read.
void check_with_parser(const SettingArgs& args, const char* name, int line,
                       std::span<const OptionSpec> options, std::span<const CommandSpec> commands)
{
    std::string why;
    try {
        why = parse_command_line(options, commands, command_line(args)).error;
    } catch (const ConversionError& error) {
        why = error.what();
    }
    if (!why.empty()) {
        throw Fault{std::string(name) + ": " + why, line};
    }
}

// Each option once: given twice, the setting that gives it again is named
// with the one that gave it first.
class OptionsGiven {
public:
    OptionsGiven()
    {
        for (const char* own : {"--rearm", "--reconnect"}) {
            by_[own] = "the service";
        }
    }

    void add(const std::vector<std::string>& args, const std::string& setting, int line)
    {
        for (const std::string& word : args) {
            if (!word.starts_with("--")) {
                continue;
            }
            const auto [given, added] = by_.emplace(word, setting);
            if (!added) {
                std::string why = setting;
                why += " gives " + word;
                why += given->second == setting ? " twice" : ", which " + given->second + " gives";
                throw Fault{why, line};
            }
        }
    }

private:
    std::map<std::string, std::string> by_;
};

}  // namespace

ServiceSettings parse_service_settings(std::string_view text, const std::string& home,
                                       std::span<const OptionSpec> options,
                                       std::span<const CommandSpec> commands)
{
    ServiceSettings settings;
    try {
        const auto values = read_values(text);
        SettingArgs args;
        OptionsGiven given;
        for (std::size_t setting = 0; setting < kSettings; ++setting) {
            const auto& value = values[setting];
            if (!value || value->text.empty()) {
                continue;  // left out
            }
            switch (setting) {
            case kWay: args[setting] = way_args(*value); break;
            case kStopOn: args[setting] = stop_on_args(*value); break;
            case kOut: args[setting] = out_args(*value, home); break;
            case kOnCapture: args[setting] = {"--on-capture", value->text}; break;
            case kKeepIf: args[setting] = {"--keep-if", value->text}; break;
            default: args[setting] = more_options(*value, options); break;
            }
            given.add(args[setting], kNames[setting], value->line);
            check_with_parser(args, kNames[setting], value->line, options, commands);
        }
        settings.args = command_line(args);
    } catch (const Fault& fault) {
        settings.error = fault.why;
        settings.line = fault.line;
    }
    return settings;
}

std::optional<std::vector<std::string>> service_arguments(const std::string& name,
                                                          std::span<const OptionSpec> options,
                                                          std::span<const CommandSpec> commands)
{
    if (name.find('/') != std::string::npos || name.starts_with('.')) {
        std::fprintf(stderr, "quillon-cli: service takes the NAME of NAME.conf, not %s\n",
                     name.c_str());
        return std::nullopt;
    }
    const std::string path = tarnlink::user_config_folder() + "/capture/" + name + ".conf";
    std::string text;
    const SmallFileRead read = read_small_file(path, kLargestSettings, text);
    if (read.state != SmallFileState::Read) {
        const std::string why = read.state == SmallFileState::NotRegular ? "it is not a file"
                                : read.state == SmallFileState::TooLarge
                                    ? "it is larger than 64 KiB"
                                    : std::strerror(read.error);
        std::fprintf(stderr, "quillon-cli: %s: %s\n", path.c_str(), why.c_str());
        return std::nullopt;
    }
    const char* home = std::getenv("HOME");
    const ServiceSettings settings =
        parse_service_settings(text, home != nullptr ? home : "", options, commands);
    if (settings.error) {
        std::fprintf(stderr, "quillon-cli: %s:%d: %s\n", path.c_str(), settings.line,
                     settings.error->c_str());
        return std::nullopt;
    }
    return settings.args;
}

std::string shell_line(const std::vector<std::string>& words)
{
    std::string line;
    for (const std::string& word : words) {
        const bool plain =
            !word.empty() && word.find_first_not_of(
                                 "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ"
                                 "0123456789@%+=:,./_-") == std::string::npos;
        std::string quoted = plain ? word : "'";
        if (!plain) {
            for (const char c : word) {
                quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
            }
            quoted += '\'';
        }
        line += (line.empty() ? "" : " ") + quoted;
    }
    return line;
}

}  // namespace quillon::cli
