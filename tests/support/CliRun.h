// quillon-cli (or another program) run to its end as a script runs it: its
// status and what it printed, standard output and error together.
#pragma once

#include <chrono>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace testsupport {

struct CliRun {
    std::optional<int> status;  // none when it did not end by itself
    std::string output;         // standard output and error together
};

// Each line is waited for at most limit.
CliRun run_program(const std::string& program, const std::vector<std::string>& args,
                   std::chrono::milliseconds limit);

CliRun run_cli(const std::vector<std::string>& args,
               std::chrono::milliseconds limit = std::chrono::seconds(20));

// quillon-cli run in folder, so that the files' names it prints are as
// given.
CliRun run_cli_in(const std::filesystem::path& folder, const std::vector<std::string>& args,
                  std::chrono::milliseconds limit = std::chrono::seconds(20));

}  // namespace testsupport
