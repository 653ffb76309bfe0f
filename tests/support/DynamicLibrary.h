// Loading a shared library and finding its entry points the way this
// platform does it: dlopen on Linux, LoadLibrary on Windows.
#pragma once

#include <string>

namespace testsupport {

// The library, or nullptr when it cannot be loaded.
void* open_library(const std::string& path);
// The entry point, or nullptr when the library has none by that name.
void* library_entry(void* library, const char* name);
// Why the last open_library or library_entry failed.
std::string library_error();

}  // namespace testsupport
