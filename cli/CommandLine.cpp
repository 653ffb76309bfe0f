#include "CommandLine.h"

#include "IntegerText.h"

#include <algorithm>
#include <sstream>

namespace quillon::cli {

namespace {

std::vector<std::string> words(const char* text)
{
    std::vector<std::string> result;
    std::istringstream in(text == nullptr ? "" : text);
    for (std::string word; in >> word;) {
        result.push_back(word);
    }
    return result;
}

bool goes_with(const OptionSpec& option, const CommandSpec& command)
{
    if (option.commands == nullptr) {
        return command.talks_to_amplifier;
    }
    const auto names = words(option.commands);
    return std::find(names.begin(), names.end(), command.name) != names.end();
}

// The command whose name the first positionals spell, the longest one.
const CommandSpec* find_command(std::span<const CommandSpec> commands,
                                const std::vector<std::string>& positionals)
{
    const CommandSpec* best = nullptr;
    std::size_t best_words = 0;
    for (const CommandSpec& command : commands) {
        const auto name = words(command.name);
        if (name.size() > best_words && name.size() <= positionals.size() &&
            std::equal(name.begin(), name.end(), positionals.begin())) {
            best = &command;
            best_words = name.size();
        }
    }
    return best;
}

// The option of that name; when two commands each have one of the name
// (wait --count K, find --count), the one of the command named so far.
const OptionSpec* find_option(std::span<const OptionSpec> options, const CommandSpec* command,
                              const std::string& name)
{
    const OptionSpec* first = nullptr;
    for (const OptionSpec& option : options) {
        if (name != option.name) {
            continue;
        }
        if (command != nullptr && goes_with(option, *command)) {
            return &option;
        }
        first = first == nullptr ? &option : first;
    }
    return first;
}

std::string not_taken(const CommandSpec& command, const OptionSpec& option)
{
    return std::string(command.name) + " takes no " + option.name;
}

bool is_repeated(const std::string& word)
{
    return word.ends_with("...");
}

// "FILE" for the first argument of "FILE", "[DIR]" ...: the word that names
// argument index of a command.
std::string argument_name(const CommandSpec& command, std::size_t index)
{
    const auto names = words(command.arguments);
    if (index >= names.size() && !names.empty() && is_repeated(names.back())) {
        return names.back();
    }
    if (index >= names.size()) {
        return "ARGUMENT";
    }
    std::string name = names[index];
    std::erase(name, '[');
    std::erase(name, ']');
    return name;
}

// How many of the words are optional: every word from "[" to "]", as in
// "[recv|send BYTE MASK VALUE] FILE..." or "recv|send BYTE [MASK]".
std::size_t optional_words(const std::vector<std::string>& names)
{
    std::size_t optional = 0;
    bool in_brackets = false;
    for (const std::string& word : names) {
        in_brackets = in_brackets || word.starts_with('[');
        optional += in_brackets ? 1 : 0;
        in_brackets = in_brackets && !word.ends_with(']');
    }
    return optional;
}

std::optional<std::string> check_argument_count(const CommandSpec& command, std::size_t count)
{
    const auto names = words(command.arguments);
    const std::size_t required = names.size() - optional_words(names);
    const bool open_ended = !names.empty() && is_repeated(names.back());
    if (count >= required && (count <= names.size() || open_ended)) {
        return std::nullopt;
    }
    if (names.empty()) {
        return std::string(command.name) + " takes no arguments";
    }
    return std::string(command.name) + " takes " + command.arguments;
}

// An option's values less a last optional one ("[MASK]").
std::size_t required_values(const OptionSpec& option)
{
    const auto names = words(option.values);
    return names.size() - optional_words(names);
}

// Whether a word reads as an integer, in range or not ("15", "0x0F",
// "0x1FF"; not "a.txt").
bool reads_as_number(const std::string& word)
{
    try {
        static_cast<void>(integer_from_text(word));
        return true;
    } catch (const ConversionError& error) {
        return error.too_large();
    }
}

// How many of the words that follow an option are its values: a last
// optional one (a MASK) is taken when the word there reads as a number, so
// that a file named after the option is not taken for it (a file named
// "15" is written "./15").
std::size_t values_taken(const OptionSpec& option, std::span<const std::string> following)
{
    const std::size_t all = words(option.values).size();
    const std::size_t required = required_values(option);
    const bool optional_given = following.size() > required && reads_as_number(following[required]);
    return std::min(required < all && !optional_given ? required : all, following.size());
}

std::string option_tag(const OptionSpec& option)
{
    return std::string(option.name) +
           (*option.values != '\0' ? std::string(" ") + option.values : "");
}

std::string synopsis(std::span<const OptionSpec> options, const CommandSpec& command)
{
    std::string text = command.name;
    if (*command.arguments != '\0') {
        text += std::string(" ") + command.arguments;
    }
    for (const OptionSpec& option : options) {
        if (option.commands != nullptr && goes_with(option, command)) {
            text += " [" + option_tag(option) + "]";
        }
    }
    return text;
}

void append_entry(std::string& text, const std::string& tag, const char* help)
{
    text += "  " + tag + "\n";
    std::istringstream lines(help);
    for (std::string line; std::getline(lines, line);) {
        text += "      " + line + "\n";
    }
}

}  // namespace

ParsedCommandLine parse_command_line(std::span<const OptionSpec> options,
                                     std::span<const CommandSpec> commands,
                                     const std::vector<std::string>& args)
{
    ParsedCommandLine parsed;
    const auto fail = [&parsed](std::string why) {
        parsed.error = std::move(why);
        return parsed;
    };
    std::vector<std::string> positionals;
    std::vector<std::pair<const OptionSpec*, std::span<const std::string>>> given;
    bool options_ended = false;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        if (options_ended || arg.size() < 2 || arg[0] != '-') {
            positionals.push_back(arg);
            continue;
        }
        if (arg == "--") {
            options_ended = true;
            continue;
        }
        if (arg == "--help" || arg == "-h") {
            parsed.help = true;
            return parsed;
        }
        if (arg == "--version") {
            parsed.version = true;
            return parsed;
        }
        const CommandSpec* command = find_command(commands, positionals);
        const OptionSpec* option = find_option(options, command, arg);
        if (option == nullptr) {
            return fail("unknown option " + arg);
        }
        if (command != nullptr && !goes_with(*option, *command)) {
            return fail(not_taken(*command, *option));
        }
        const auto values = std::span<const std::string>(args).subspan(i + 1).first(
            values_taken(*option, std::span<const std::string>(args).subspan(i + 1)));
        // A value never begins with "--": that is the next option, and the
        // value was left out. A folder or file named so is written ./--name.
        const auto option_word = std::find_if(
            values.begin(), values.end(), [](const auto& word) { return word.starts_with("--"); });
        if (values.size() < required_values(*option) || option_word != values.end()) {
            return fail(arg + " takes " + option->values +
                        (option_word != values.end() ? ", not the option " + *option_word : ""));
        }
        given.emplace_back(option, values);
        i += values.size();
    }
    if (positionals.empty()) {
        return fail("no command");
    }
    const CommandSpec* command = find_command(commands, positionals);
    if (command == nullptr) {
        return fail("unknown command " + positionals.front());
    }
    CommandLine line;
    line.command = command;
    line.arguments.assign(
        positionals.begin() + static_cast<std::ptrdiff_t>(words(command->name).size()),
        positionals.end());
    if (const auto wrong = check_argument_count(*command, line.arguments.size())) {
        return fail(*wrong);
    }
    for (std::size_t i = 0; i < line.arguments.size(); ++i) {
        if (line.arguments[i].empty()) {
            return fail(std::string(command->name) + " takes " + argument_name(*command, i) +
                        ", not an empty text");
        }
    }
    for (const auto& [option, values] : given) {
        if (!goes_with(*option, *command)) {
            return fail(not_taken(*command, *option));
        }
        if (std::any_of(values.begin(), values.end(), [](const auto& v) { return v.empty(); })) {
            return fail(std::string(option->name) + " takes " + option->values +
                        ", not an empty text");
        }
        if (const auto wrong = option->store(line.options, values)) {
            return fail(*wrong);
        }
    }
    if (line.options.usb && line.options.port) {
        return fail("--usb and --port exclude each other");
    }
    if (line.options.baud && !line.options.port) {
        return fail("--baud goes with --port");
    }
    if (line.options.count && !line.options.rearm) {
        return fail("--count goes with --rearm");
    }
    if (line.options.hook_timeout && !line.options.on_capture) {
        return fail("--hook-timeout goes with --on-capture");
    }
    if (line.options.json && (line.options.csv || line.options.count_records)) {
        return fail(std::string("--json and ") + (line.options.csv ? "--csv" : "--count") +
                    " exclude each other");
    }
    parsed.line = std::move(line);
    return parsed;
}

std::string help_text(std::span<const OptionSpec> options, std::span<const CommandSpec> commands)
{
    std::string text =
        "Usage: quillon-cli [CONNECTION] COMMAND [ARGUMENTS] [OPTIONS]\n"
        "Reads a servo amplifier's communication log, as Quillon does, from a script.\n"
        "\nCommands:\n";
    for (const CommandSpec& command : commands) {
        append_entry(text, synopsis(options, command), command.help);
    }
    text += "\nConnection (without one, the settings file of quillon decides):\n";
    for (const OptionSpec& option : options) {
        if (option.commands == nullptr) {
            append_entry(text, option_tag(option), option.help);
        }
    }
    text += "\nOptions of the commands:\n";
    for (const OptionSpec& option : options) {
        if (option.commands != nullptr) {
            append_entry(text, option_tag(option), option.help);
        }
    }
    append_entry(text, "--help", "shows this help");
    append_entry(text, "--version", "shows the program's version");
    return text;
}

}  // namespace quillon::cli
