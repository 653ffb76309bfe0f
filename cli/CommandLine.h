// quillon-cli's command line, made from two tables: the options (name, the
// values each takes, the commands it goes with, help) and the commands
// (name, arguments, handler, help). The parser, the dispatch and --help are
// all made from them, so a command cannot be known to one and not another.
#pragma once

#include "AmplifierProtocol.h"
#include "AmplifierQueries.h"
#include "ExitStatus.h"

#include <array>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace quillon::cli {

// What the command line says, beyond the command's own arguments.
struct Options {
    // The way in; neither given: the settings file of quillon decides.
    bool usb = false;
    std::optional<std::string> port;  // "COM3"
    std::optional<std::string> baud;  // as typed, converted like the dialog's
    std::optional<bool> wide_mode;    // --bytes 32 / 16
    bool json = false;

    std::optional<StopConditionEntry> stop_on;
    std::optional<std::int32_t> timeout;       // wait: seconds
    std::optional<std::string> out;            // wait: folder
    bool rearm = false;                        // wait: a series of logs
    std::optional<std::int32_t> count;         // wait --rearm: logs
    bool reconnect = false;                    // wait: a lost way in is opened again
    std::optional<std::string> on_capture;     // wait: a shell command after each capture
    std::optional<std::int32_t> hook_timeout;  // wait: seconds a capture's command may take

    bool csv = false;            // show
    bool decode = false;         // show
    bool count_records = false;  // find: a count per file
    bool fired = false;          // find: the fired records
    // diff: the bits of a byte not compared, as typed: recv|send BYTE MASK.
    std::vector<std::array<std::string, 3>> ignore;
    // diff: the only bits compared, as typed; the mask "0xFF" when left out.
    std::vector<std::array<std::string, 3>> only;
    bool by_number = false;                // diff: records paired by number, fired or not
    bool checksums_by_value = false;       // diff, series: checksums compared as other bytes
    std::optional<std::string> fields;     // show, find, diff, series, wait: a fields file
    std::vector<std::string> where;        // find: conditions, each as typed
    std::optional<std::string> keep_if;    // series, wait: the condition captures are kept by
    bool explain = false;                  // series: the likely causes
    std::optional<std::int32_t> window;    // series --explain: records before the trigger
    std::vector<std::string> baseline;     // series --explain: logs of the machine running well
    std::optional<std::string> reference;  // series: the capture the others are held against
    bool map = false;                      // series: the variation map
    std::vector<std::string> values;       // series: OPERAND@PLACE columns, each as typed
    std::optional<std::int32_t> context;   // report: records around each fired record
    std::optional<std::string> lang;       // report: "en" or "ja"
    std::optional<std::string> sqlite;     // series: the database written
    bool check = false;                    // service: the settings checked, nothing run

    std::optional<std::int32_t> record;      // note: the record noted (none: the log)
    std::vector<std::string> tags;           // note: the new note's; find: each must hold
    bool list_notes = false;                 // note --list
    std::optional<std::string> remove_note;  // note --remove: the note's id
    std::optional<std::string> note_word;    // find --note: a word of the text
};

struct OptionSpec {
    const char* name;    // "--timeout"
    const char* values;  // "SECONDS": one word a value; "" for none
    // The commands it goes with, by name; nullptr: every command that
    // talks to the amplifier.
    const char* commands;
    const char* help;
    // Stores the values; a text when they are no good.
    std::optional<std::string> (*store)(Options&, std::span<const std::string> values);
};

struct Invocation;
using Handler = Exit (*)(const Invocation&);

struct CommandSpec {
    const char* name;  // "save", or two words: "ports link"
    // "FILE": one word an argument, [WORD] optional, a last WORD... once or
    // more.
    const char* arguments;
    const char* help;
    bool talks_to_amplifier;
    Handler handler;
};

// A command line read against the tables.
struct CommandLine {
    const CommandSpec* command = nullptr;
    std::vector<std::string> arguments;
    Options options;
};

// What a handler gets: the command line, and for a command that talks to
// the amplifier the way to it and the byte count in use.
struct Invocation {
    const CommandLine& line;
    const AmplifierSend* send = nullptr;
    bool wide_mode = false;
    bool usb = false;  // the way in is USB
    // Opens the way in again after it was lost; false when it does not.
    std::function<bool()> reopen = nullptr;
    // False when the way in did not open, to be tried again (wait
    // --reconnect).
    bool connected = true;
};

struct ParsedCommandLine {
    std::optional<CommandLine> line;
    std::string error;  // what was wrong, when there is no line
    bool help = false;
    bool version = false;
};
ParsedCommandLine parse_command_line(std::span<const OptionSpec> options,
                                     std::span<const CommandSpec> commands,
                                     const std::vector<std::string>& args);

std::string help_text(std::span<const OptionSpec> options, std::span<const CommandSpec> commands);

}  // namespace quillon::cli
