#include "CliRun.h"

#include "ChildProcess.h"
#include "TestEnvironment.h"

namespace testsupport {

CliRun run_program(const std::string& program, const std::vector<std::string>& args,
                   std::chrono::milliseconds limit)
{
    ChildProcess child(program, args);
    CliRun run;
    while (const auto line = child.read_line(limit)) {
        run.output += *line + "\n";
    }
    run.status = child.wait_for_exit(std::chrono::seconds(5));
    return run;
}

CliRun run_cli(const std::vector<std::string>& args, std::chrono::milliseconds limit)
{
    return run_program(bin_dir() + "/quillon-cli", args, limit);
}

CliRun run_cli_in(const std::filesystem::path& folder, const std::vector<std::string>& args,
                  std::chrono::milliseconds limit)
{
    std::vector<std::string> shell{"-c", "cd \"$0\" && exec \"$1\" \"${@:2}\"", folder.string(),
                                   bin_dir() + "/quillon-cli"};
    shell.insert(shell.end(), args.begin(), args.end());
    return run_program("/bin/bash", shell, limit);
}

}  // namespace testsupport
