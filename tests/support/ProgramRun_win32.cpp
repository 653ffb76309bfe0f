#include "ProgramRun.h"

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>

namespace testsupport {

namespace {

// Longer than any program run this way needs: one that takes longer is stuck.
constexpr DWORD kLongestRun = 20000;

std::string quoted(const std::string& word)
{
    return "\"" + word + "\"";
}

}  // namespace

int exit_code_of(const std::string& program, const std::vector<std::string>& args)
{
    std::string command = quoted(program);
    for (const auto& arg : args) {
        command += " " + quoted(arg);
    }
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    if (!::CreateProcessA(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                          &startup, &process)) {
        return -1;
    }
    DWORD code = 0;
    const bool ended = ::WaitForSingleObject(process.hProcess, kLongestRun) == WAIT_OBJECT_0 &&
                       ::GetExitCodeProcess(process.hProcess, &code);
    if (!ended) {
        ::TerminateProcess(process.hProcess, 99);
    }
    ::CloseHandle(process.hThread);
    ::CloseHandle(process.hProcess);
    return ended ? static_cast<int>(code) : -1;
}

}  // namespace testsupport
