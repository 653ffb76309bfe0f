#include "TestEnvironment.h"

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>

namespace testsupport {

std::string bin_dir()
{
    char path[MAX_PATH] = {};
    const DWORD length = ::GetModuleFileNameA(nullptr, path, MAX_PATH);
    const std::string program(path, length);
    const auto slash = program.find_last_of("\\/");
    return slash == std::string::npos ? "." : program.substr(0, slash);
}

std::string built_library(const std::string& name)
{
    return bin_dir() + "\\" + name + ".dll";
}

std::string built_program(const std::string& name)
{
    return bin_dir() + "\\" + name + ".exe";
}

bool under_wine()
{
    const HMODULE ntdll = ::GetModuleHandleA("ntdll.dll");
    return ntdll != nullptr && ::GetProcAddress(ntdll, "wine_get_version") != nullptr;
}

}  // namespace testsupport
