// A library of ours loaded with dlopen for a test, as the program loads it;
// a missing library or entry point ends the test program at once, since
// nothing after it could mean anything.
#pragma once

#include <cstdio>
#include <cstdlib>
#include <dlfcn.h>
#include <string>

namespace testsupport {

class LoadedLibrary {
public:
    explicit LoadedLibrary(const std::string& path)
        : path_(path), handle_(::dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL))
    {
        if (handle_ == nullptr) {
            std::fprintf(stderr, "cannot load %s: %s\n", path.c_str(), ::dlerror());
            std::abort();
        }
    }

    template <typename Function>
    void bind(const char* name, Function& target) const
    {
        void* symbol = ::dlsym(handle_, name);
        if (symbol == nullptr) {
            std::fprintf(stderr, "%s lacks %s\n", path_.c_str(), name);
            std::abort();
        }
        target = reinterpret_cast<Function>(symbol);
    }

private:
    std::string path_;
    void* handle_;
};

}  // namespace testsupport
