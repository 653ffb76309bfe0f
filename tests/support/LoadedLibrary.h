// A library of ours loaded for a test, as the program loads it; a missing
// library or entry point ends the test program at once, since nothing after
// it could mean anything.
#pragma once

#include "DynamicLibrary.h"

#include <cstdio>
#include <cstdlib>
#include <string>

namespace testsupport {

class LoadedLibrary {
public:
    explicit LoadedLibrary(const std::string& path) : path_(path), handle_(open_library(path))
    {
        if (handle_ == nullptr) {
            std::fprintf(stderr, "cannot load %s: %s\n", path.c_str(), library_error().c_str());
            std::abort();
        }
    }

    template <typename Function>
    void bind(const char* name, Function& target) const
    {
        void* entry = library_entry(handle_, name);
        if (entry == nullptr) {
            std::fprintf(stderr, "%s lacks %s\n", path_.c_str(), name);
            std::abort();
        }
        target = reinterpret_cast<Function>(entry);
    }

private:
    std::string path_;
    void* handle_;
};

}  // namespace testsupport
