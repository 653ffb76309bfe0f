#include "CliOptions.h"

#include <cstddef>

namespace quillon::cli {

const char* const kUsageText =
    "Usage: quillon-cli [CONNECTION] [--bytes 16|32] COMMAND [ARGUMENTS]\n"
    "Reads a servo amplifier's communication log, as Quillon does, from a script.\n"
    "\n"
    "Commands:\n"
    "  status [--json]        the log status (IDLE, Logging, Cancel), the phase and\n"
    "                         the last command (RX) and response (TX) bytes\n"
    "  start [--stop-on recv|send BYTE MASK VALUE COUNT]\n"
    "                         starts logging, with a stop condition or without\n"
    "  stop                   stops logging\n"
    "  save FILE              writes the whole log to FILE (- for standard output)\n"
    "  wait [--timeout SECONDS] [--out DIR]\n"
    "                         polls the log status once a second; when the trigger\n"
    "                         has fired, saves the log as Autolog_yyyymmddhhnnss.txt\n"
    "                         in DIR (default: the automatic save folder) and\n"
    "                         prints the file's path\n"
    "  ports                  COM1..COM16 and the devices they lead to, then this\n"
    "                         machine's serial devices\n"
    "  ports link COMn DEVICE maps COMn to DEVICE (a terminal device)\n"
    "\n"
    "Connection (without one, the settings file of quillon decides):\n"
    "  --usb                  over USB\n"
    "  --port COMn [--baud N] over RS-232 (default 9600 bit/s)\n"
    "  --bytes 16|32          how many command and response bytes (default: the\n"
    "                         settings' log mode)\n"
    "\n"
    "Exit status: 0 done; 1 bad usage or a value out of range; 2 no connection\n"
    "(library missing, port or USB device not opened); 3 the amplifier did not\n"
    "answer; 4 the amplifier refused (no log function, now logging, cancelled);\n"
    "5 the file could not be written; 6 wait timed out; 130 interrupted (Ctrl-C).\n";

Parsed parse_options(const std::vector<std::string>& args)
{
    Options options;
    Parsed parsed;
    const auto fail = [&parsed](std::string why) {
        parsed.error = std::move(why);
        return parsed;
    };
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        const auto values = [&](std::size_t count) -> const std::string* {
            if (i + count >= args.size()) {
                return nullptr;
            }
            const std::string* first = &args[i + 1];
            i += count;
            return first;
        };
        const auto one_value = [&](std::optional<std::string>& slot) {
            const std::string* value = values(1);
            if (value != nullptr) {
                slot = *value;
            }
            return value != nullptr;
        };
        if (arg == "--help" || arg == "-h") {
            parsed.help = true;
            return parsed;
        } else if (arg == "--usb") {
            options.usb = true;
        } else if (arg == "--json") {
            options.json = true;
        } else if (arg == "--port" || arg == "--baud" || arg == "--timeout" || arg == "--out") {
            auto& slot = arg == "--port"      ? options.port
                         : arg == "--baud"    ? options.baud
                         : arg == "--timeout" ? options.timeout
                                              : options.out;
            if (!one_value(slot)) {
                return fail(arg + " needs a value");
            }
        } else if (arg == "--bytes") {
            std::optional<std::string> bytes;
            if (!one_value(bytes) || (*bytes != "16" && *bytes != "32")) {
                return fail("--bytes takes 16 or 32");
            }
            options.wide_mode = *bytes == "32";
        } else if (arg == "--stop-on") {
            const std::string* fields = values(5);
            if (fields == nullptr || (fields[0] != "recv" && fields[0] != "send")) {
                return fail("--stop-on takes recv|send BYTE MASK VALUE COUNT");
            }
            options.stop_on =
                StopConditionEntry{fields[0] == "send", fields[1], fields[2], fields[3], fields[4]};
        } else if (arg.size() > 1 && arg[0] == '-' && arg != "-") {
            return fail("unknown option " + arg);
        } else if (options.command.empty()) {
            options.command = arg;
        } else {
            options.arguments.push_back(arg);
        }
    }
    if (options.usb && options.port) {
        return fail("--usb and --port exclude each other");
    }
    if (options.baud && !options.port) {
        return fail("--baud goes with --port");
    }
    static const char* const commands[] = {"status", "start", "stop", "save", "wait", "ports"};
    bool known = false;
    for (const char* command : commands) {
        known = known || options.command == command;
    }
    if (!known) {
        return fail(options.command.empty() ? "no command" : "unknown command " + options.command);
    }
    parsed.options = std::move(options);
    return parsed;
}

}  // namespace quillon::cli
