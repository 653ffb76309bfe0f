#include "DynamicLibrary.h"

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>

namespace testsupport {

void* open_library(const std::string& path)
{
    return ::LoadLibraryA(path.c_str());
}

void* library_entry(void* library, const char* name)
{
    const FARPROC entry = ::GetProcAddress(static_cast<HMODULE>(library), name);
    return reinterpret_cast<void*>(entry);
}

std::string library_error()
{
    return "error " + std::to_string(::GetLastError());
}

}  // namespace testsupport
