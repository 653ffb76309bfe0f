// quillon-cli service NAME: the capture series that the user service
// quillon-capture@NAME runs, as $XDG_CONFIG_HOME/quillon/capture/NAME.conf
// describes it. The settings are read here, not by a shell: each value is
// checked for its kind, so that no setting can carry an option of another
// or one twice, and a fault names the file and line.
#pragma once

#include "CommandLine.h"

#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace quillon::cli {

// The settings made into quillon-cli's arguments, or what is wrong with
// them and on which line (0: the file as a whole).
struct ServiceSettings {
    std::vector<std::string> args;
    std::optional<std::string> error;
    int line = 0;
};

// The text of a settings file: NAME=VALUE lines (WAY, STOP_ON, OUT,
// ON_CAPTURE, KEEP_IF, OPTIONS), comments (#, ;) and blank lines; a value may be in
// single or double quotes. The arguments are those of
//   WAY wait --rearm --reconnect --stop-on STOP_ON --out OUT
//   --on-capture ON_CAPTURE --keep-if KEEP_IF OPTIONS
// with each empty setting left out; ~ in OUT is home. The options and
// commands are quillon-cli's tables, against which each setting is read.
ServiceSettings parse_service_settings(std::string_view text, const std::string& home,
                                       std::span<const OptionSpec> options,
                                       std::span<const CommandSpec> commands);

// NAME's settings read and made into arguments; nothing when they cannot
// be (said on standard error, naming the file and line).
std::optional<std::vector<std::string>> service_arguments(const std::string& name,
                                                          std::span<const OptionSpec> options,
                                                          std::span<const CommandSpec> commands);

// The words as one line a POSIX shell reads back as them, each quoted
// where it needs to be.
std::string shell_line(const std::vector<std::string>& words);

}  // namespace quillon::cli
