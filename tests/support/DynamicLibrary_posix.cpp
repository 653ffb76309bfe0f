#include "DynamicLibrary.h"

#include <dlfcn.h>

namespace testsupport {

void* open_library(const std::string& path)
{
    return ::dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
}

void* library_entry(void* library, const char* name)
{
    return ::dlsym(library, name);
}

std::string library_error()
{
    const char* error = ::dlerror();
    return error != nullptr ? error : "";
}

}  // namespace testsupport
